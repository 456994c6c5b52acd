#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "app/instance_folder.h"
#include "platform/system.h"

namespace vark {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

std::string Octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Why an open folder will not do; empty when it will. It must be this
// user's, and either `alone` (no access for anyone else: the folder that
// holds the names) or not writable by everyone (a folder to make one in,
// which a shared folder such as /tmp is not).
std::string FolderProblem(int fd, bool alone) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::strerror(errno);
    }
    if (st.st_uid != ::geteuid()) {
        return "owned by uid " + std::to_string(st.st_uid);
    }
    if (alone && (st.st_mode & 077) != 0) {
        return "mode " + Octal(st.st_mode) + ", not 0700";
    }
    if (!alone && (st.st_mode & S_IWOTH) != 0) {
        return "writable by everyone";
    }
    return {};
}

// Why `name` in `dir` could not be opened as a folder without following a link.
std::string OpenProblem(int dir, const char* name) {
    const int error = errno;
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        return "a symbolic link";
    }
    return std::strerror(error);
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        Fd gone(std::exchange(fd_, o.release()));
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

// `name` in `parent`: made with mode 0700 when missing, opened without
// following a link.
Fd MakeAndOpen(int parent, const char* name) {
    if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST) {
        return Fd();
    }
    return Fd(::openat(parent, name, kDirFlags | O_NOFOLLOW));
}

std::string SafeHostName(const std::string& host) {
    std::string out;
    for (char c : host) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        out += plain ? c : '_';
    }
    return out.empty() || out == "." || out == ".." ? "localhost" : out;
}

}  // namespace

InstancePlaces InstancePlaces::FromEnvironment() {
    InstancePlaces p;
    p.runtime = platform::EnvironmentValue("XDG_RUNTIME_DIR").value_or("");
    p.cache = platform::EnvironmentValue("XDG_CACHE_HOME").value_or("");
    p.home = platform::EnvironmentValue("HOME").value_or("");
    if (p.home.empty()) {
        // As the other folders of the user's are found without $HOME.
        std::vector<char> buf(16384);
        passwd pw{};
        passwd* found = nullptr;
        if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found &&
            found->pw_dir) {
            p.home = found->pw_dir;
        }
    }
    p.host = platform::HostName();
    return p;
}

InstanceFolder InstanceFolder::Find(const InstancePlaces& places) {
    InstanceFolder f;
    const auto take = [&f](Fd fd, std::string path) {
        f.fd_ = fd.release();
        f.path_ = std::move(path);
        // Through the open folder, so that no rename of a folder above it
        // can swap it for another; this also keeps socket names short.
        const std::string reach = "/proc/self/fd/" + std::to_string(f.fd_);
        struct stat viaProc {};
        struct stat held {};
        const bool same = ::stat(reach.c_str(), &viaProc) == 0 && ::fstat(f.fd_, &held) == 0 &&
                          viaProc.st_dev == held.st_dev && viaProc.st_ino == held.st_ino;
        f.reach_ = same ? reach : f.path_;
        return std::move(f);
    };

    if (places.runtime.empty()) {
        f.notes_.push_back("$XDG_RUNTIME_DIR is not set");
    } else if (places.runtime[0] != '/') {
        f.notes_.push_back("$XDG_RUNTIME_DIR (" + places.runtime + ") is not an absolute path");
    } else {
        Fd fd(::open(places.runtime.c_str(), kDirFlags | O_NOFOLLOW));
        const std::string problem = fd.get() < 0 ? OpenProblem(AT_FDCWD, places.runtime.c_str())
                                                 : FolderProblem(fd.get(), true);
        if (problem.empty()) {
            return take(std::move(fd), places.runtime);
        }
        f.notes_.push_back("$XDG_RUNTIME_DIR (" + places.runtime + ") not used: " + problem);
    }

    std::string base;
    if (!places.cache.empty() && places.cache[0] == '/') {
        base = places.cache;
    } else if (!places.home.empty() && places.home[0] == '/') {
        base = places.home + (places.home.ends_with('/') ? ".cache" : "/.cache");
    } else {
        f.notes_.push_back(
            "no cache folder: neither $XDG_CACHE_HOME nor $HOME is an absolute path");
        return f;
    }
    // The cache folder itself may be a link (kept on another disk); what
    // counts is whose it is.
    Fd baseFd(::open(base.c_str(), kDirFlags));
    if (baseFd.get() < 0 && errno == ENOENT) {
        const std::size_t slash = base.find_last_of('/', base.size() - 2);
        const std::string parent = slash == 0 ? "/" : base.substr(0, slash);
        const std::string leaf = base.substr(slash + 1);
        Fd parentFd(::open(parent.c_str(), kDirFlags));
        const std::string problem = parentFd.get() < 0 ? std::string(std::strerror(errno))
                                                       : FolderProblem(parentFd.get(), false);
        if (!problem.empty()) {
            f.notes_.push_back(base + " is missing and not made in " + parent + ": " + problem);
            return f;
        }
        baseFd = MakeAndOpen(parentFd.get(), leaf.c_str());
    }
    if (baseFd.get() < 0) {
        f.notes_.push_back(base + " not used: " + std::strerror(errno));
        return f;
    }
    if (const std::string problem = FolderProblem(baseFd.get(), false); !problem.empty()) {
        f.notes_.push_back(base + " not used: " + problem);
        return f;
    }
    Fd programFd = MakeAndOpen(baseFd.get(), "vark-u");
    const std::string programPath = base + "/vark-u";
    std::string problem = programFd.get() < 0 ? OpenProblem(baseFd.get(), "vark-u")
                                              : FolderProblem(programFd.get(), false);
    if (!problem.empty()) {
        f.notes_.push_back(programPath + " not used: " + problem);
        return f;
    }
    const std::string leaf = "instance-" + SafeHostName(places.host);
    Fd fd = MakeAndOpen(programFd.get(), leaf.c_str());
    problem =
        fd.get() < 0 ? OpenProblem(programFd.get(), leaf.c_str()) : FolderProblem(fd.get(), true);
    if (!problem.empty()) {
        f.notes_.push_back(programPath + "/" + leaf + " not used: " + problem);
        return f;
    }
    return take(std::move(fd), programPath + "/" + leaf);
}

InstanceFolder::InstanceFolder(InstanceFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      reach_(std::move(other.reach_)),
      notes_(std::move(other.notes_)) {}

InstanceFolder& InstanceFolder::operator=(InstanceFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        reach_ = std::move(other.reach_);
        notes_ = std::move(other.notes_);
    }
    return *this;
}

InstanceFolder::~InstanceFolder() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string InstanceFolder::PathOf(const std::string& name) const {
    return ok() ? reach_ + "/" + name : std::string();
}

InstanceFolder::Kind InstanceFolder::Check(const std::string& name, bool socket) const {
    struct stat st {};
    if (!ok()) {
        return Kind::Foreign;
    }
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? Kind::Missing : Kind::Foreign;
    }
    const bool rightKind = socket ? S_ISSOCK(st.st_mode) : S_ISREG(st.st_mode);
    return rightKind && st.st_uid == ::geteuid() ? Kind::Ours : Kind::Foreign;
}

std::optional<unsigned> PeerUser(long long socketDescriptor) {
    ucred peer{};
    socklen_t length = sizeof peer;
    if (socketDescriptor < 0 || ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET,
                                             SO_PEERCRED, &peer, &length) != 0) {
        return std::nullopt;
    }
    return peer.uid;
}

unsigned ThisUser() {
    return ::geteuid();
}

}  // namespace vark
