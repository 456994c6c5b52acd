# Cross-build for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# variant, which has std::thread). Programs are linked statically, so they run
# without the compiler's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARK_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VARK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VARK_MINGW_TRIPLE}-windres)
find_program(CMAKE_DLLTOOL ${VARK_MINGW_TRIPLE}-dlltool REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VARK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Tests run under Wine.
find_program(VARK_WINE wine)
if(VARK_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VARK_WINE})
endif()
