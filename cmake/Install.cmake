# Installing the programs as desktop software (cmake --install, GNUInstallDirs)
# and the Debian package made from that installation (scripts/package.sh).
include(GNUInstallDirs)

set(VARK_PACKAGE_NAME vark-u)
# VARK_DESKTOP_ID, the name of the desktop entry, AppStream component and
# icon, comes from the top level with the version (vark_version.h).
set(VARK_MIME_TYPE application/x-vark-u)
# Bumped with the version; fixed so that two builds of one version are alike.
set(VARK_RELEASE_DATE 2026-12-08)
set(VARK_RELEASE_DATE_RFC2822 "Tue, 08 Dec 2026 00:00:00 +0000")
set(VARK_HOMEPAGE_URL "https://vark-u.example.org" CACHE STRING
    "Home page named by the package and the AppStream data (screenshots below it, in docs/)")
set(VARK_MAINTAINER "VARK-u developers <vark-u@example.org>" CACHE STRING
    "Maintainer of the Debian package")
# udev reads rules under either prefix, /usr/lib and /usr/local/lib; not
# CMAKE_INSTALL_LIBDIR, which on Debian has the architecture in it.
set(VARK_UDEV_RULES_DIR lib/udev/rules.d)
set(VARK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${VARK_PACKAGE_NAME})

# --- generated files: manual pages and the changelog, gzip-compressed --------
set(VARK_GEN_DIR ${CMAKE_BINARY_DIR}/install-files)
set(VARK_MAN_PAGES vark-cli vark-tester-sim)
if(TARGET VARK-u)
    list(PREPEND VARK_MAN_PAGES VARK-u)
endif()
set(VARK_COMPRESSED)
function(vark_gzip source output)
    # -n: no name or time stamp inside, so the package is the same every build.
    add_custom_command(OUTPUT ${output}
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${source} ${output}
        DEPENDS ${source} VERBATIM)
endfunction()
foreach(page ${VARK_MAN_PAGES})
    configure_file(${CMAKE_SOURCE_DIR}/res/man/${page}.1 ${VARK_GEN_DIR}/${page}.1 @ONLY)
    vark_gzip(${VARK_GEN_DIR}/${page}.1 ${VARK_GEN_DIR}/${page}.1.gz)
    list(APPEND VARK_COMPRESSED ${VARK_GEN_DIR}/${page}.1.gz)
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/res/debian/changelog.in ${VARK_GEN_DIR}/changelog @ONLY)
vark_gzip(${VARK_GEN_DIR}/changelog ${VARK_GEN_DIR}/changelog.gz)
list(APPEND VARK_COMPRESSED ${VARK_GEN_DIR}/changelog.gz)
add_custom_target(vark-install-files ALL DEPENDS ${VARK_COMPRESSED})

# --- what is installed -------------------------------------------------------
install(TARGETS vark-cli vark-tester-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(page ${VARK_MAN_PAGES})
    install(FILES ${VARK_GEN_DIR}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/res/udev/60-vark-u.rules DESTINATION ${VARK_UDEV_RULES_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/res/debian/copyright ${VARK_GEN_DIR}/changelog.gz
    DESTINATION ${VARK_DOC_DIR})

if(TARGET VARK-u)
    install(TARGETS VARK-u RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    configure_file(${CMAKE_SOURCE_DIR}/res/desktop/${VARK_DESKTOP_ID}.metainfo.xml.in
        ${VARK_GEN_DIR}/${VARK_DESKTOP_ID}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_SOURCE_DIR}/res/desktop/${VARK_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${VARK_GEN_DIR}/${VARK_DESKTOP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${CMAKE_SOURCE_DIR}/res/desktop/vark-u-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${VARK_PACKAGE_NAME}.xml)
    install(FILES ${CMAKE_SOURCE_DIR}/res/icons/app.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${VARK_DESKTOP_ID}.svg)
endif()

# --- the Debian package ------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VARK_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Kelvor)
set(CPACK_PACKAGE_CONTACT ${VARK_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program of the VARK-u cable tester")
set(CPACK_PACKAGE_DESCRIPTION
    "Finds the Kelvor VARK-u cable tester on its USB serial port, uploads the\n"
    "test results stored in it and shows each one as a pin-map row: its test\n"
    "number, its pin count and the groups of connected contacts. Results are\n"
    "saved as .vku record files and printed as a test report.\n"
    "\n"
    "The package holds the window program VARK-u, the command-line companion\n"
    "vark-cli (show, export as CSV or JSON, PDF report, upload), the simulator\n"
    "vark-tester-sim for trying both without a tester, and a udev rule that\n"
    "gives the tester's port to the dialout group and keeps ModemManager off it.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VARK_HOMEPAGE_URL})
# Libraries from the binaries (dpkg-shlibdeps); the report's and the window's
# text face is Arial, which fontconfig maps to Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/res/debian/postinst ${CMAKE_SOURCE_DIR}/res/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
