// vark-save-probe replace|append PATH TEXT: one save of the file layer as a
// separate program, so that tests can run it as another user. Prints "ok" or
// the failure as "CATEGORY VALUE"; exit status 0 or 1.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/file_io.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vark-save-probe replace|append PATH TEXT\n");
        return 2;
    }
    const std::string mode = argv[1];
    const std::string text = argv[3];
    std::error_code ec;
    if (mode == "replace") {
        ec = vark::platform::ReplaceFileContents(argv[2], text);
    } else if (mode == "append") {
        int fd = -1;
        ec = vark::platform::OpenForAppending(argv[2], fd);
        if (!ec && (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
                    ::close(fd) != 0)) {
            ec = {errno, std::generic_category()};
        }
    } else {
        return 2;
    }
    if (ec) {
        std::printf("%s %d\n", ec.category().name(), ec.value());
        return 1;
    }
    std::printf("ok\n");
    return 0;
}
