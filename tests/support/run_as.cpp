// vark-run-as UID GID PROGRAM [ARG...]: runs PROGRAM as another user. A new
// program, so nothing has started a thread when the ids change; tests run as
// root and need ordinary users that root's privileges do not stand in for.
#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: vark-run-as UID GID PROGRAM [ARG...]\n");
        return 125;
    }
    char* end = nullptr;
    const unsigned long uid = std::strtoul(argv[1], &end, 10);
    const bool uidOk = *end == '\0';
    const unsigned long gid = std::strtoul(argv[2], &end, 10);
    if (!uidOk || *end != '\0') {
        std::fprintf(stderr, "vark-run-as: bad user or group id\n");
        return 125;
    }
    if (::setgroups(0, nullptr) != 0 || ::setgid(static_cast<gid_t>(gid)) != 0 ||
        ::setuid(static_cast<uid_t>(uid)) != 0 || ::geteuid() != uid || ::getegid() != gid) {
        std::fprintf(stderr, "vark-run-as: cannot become %lu:%lu: %s\n", uid, gid,
                     std::strerror(errno));
        return 125;
    }
    ::execvp(argv[3], argv + 3);
    std::fprintf(stderr, "vark-run-as: %s: %s\n", argv[3], std::strerror(errno));
    return 127;
}
