#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <random>
#include <utility>

namespace vark::platform {
namespace {

std::error_code Errno(int e = errno) {
    return {e, std::generic_category()};
}

FileOpObserver& Observer() {
    static FileOpObserver observer;
    return observer;
}

// The outcome of one operation of a save (0 or an error number), after the
// tests' observer had its say; errno holds it too.
int Outcome(FileOp op, int error) {
    if (Observer()) {
        error = Observer()(op, error);
    }
    errno = error;
    return error;
}

// The same for a call that returned success as `ok` and its reason in errno.
int Did(FileOp op, bool ok) {
    return Outcome(op, ok ? 0 : errno);
}

// Closes on every path; Close() says whether the close itself succeeded, which
// matters after writes (some file systems report write errors only there).
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) {
                ::close(fd_);
            }
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }
    std::error_code Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) != 0 && errno != EINTR ? Errno() : std::error_code();
    }

  private:
    int fd_;
};

int OpenNoWait(const std::string& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::error_code WriteAll(int fd, std::string_view bytes, off_t offset, bool positioned) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = positioned ? ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                                offset + static_cast<off_t>(done))
                                     : ::write(fd, bytes.data() + done, bytes.size() - done);
        if (Did(FileOp::Write, n >= 0) != 0) {
            if (errno == EINTR) {
                continue;
            }
            return Errno();
        }
        if (n == 0) {
            return Errno(EIO);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

// Where a name leads: the folder that holds its last part, held open so that
// every later step is relative to that same folder, and what is there.
struct Place {
    Fd dir;  // the folder (opened only to look names up in it)
    struct stat dirSt {};
    std::string name;  // the last part, never a link
    bool exists = false;
    struct stat st {};         // the last part itself, when it exists
    bool throughLink = false;  // reached by following a link named as the last part
};

// Sticky and writable by everyone, such as /tmp: other users may put names
// there that the caller cannot remove.
bool IsSharedFolder(const struct stat& dir) {
    return (dir.st_mode & S_ISVTX) != 0 && (dir.st_mode & S_IWOTH) != 0;
}

// What in a shared folder the caller may rely on: its own entries and those
// of the folder's owner.
bool Trusted(const struct stat& dir, const struct stat& entry) {
    return !IsSharedFolder(dir) || entry.st_uid == ::geteuid() || entry.st_uid == dir.st_uid;
}

int OpenDir(int at, const char* name) {
    int fd;
    do {
        fd = ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void PushParts(std::deque<std::string>& parts, std::string_view path) {
    std::deque<std::string> front;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at) {
            front.emplace_back(path.substr(at, slash - at));
        }
        at = slash + 1;
    }
    // A name ending in a slash must be a folder, which no file is.
    if (!path.empty() && (path.back() == '/' || front.empty())) {
        front.emplace_back(".");
    }
    parts.insert(parts.begin(), front.begin(), front.end());
}

// Looks `path` up one part at a time, each relative to the folder before it,
// as the system would, but following a link in a shared folder only when the
// caller or the folder's owner made it, whatever the system's own settings.
std::error_code Locate(const std::string& path, Place& place) {
    std::deque<std::string> parts;
    PushParts(parts, path);
    Fd dir(OpenDir(AT_FDCWD, path.starts_with('/') ? "/" : "."));
    struct stat dirSt {};
    if (!dir.valid() || ::fstat(dir.get(), &dirSt) != 0) {
        return Errno();
    }
    bool throughLink = false;
    for (int links = 0; !parts.empty();) {
        const std::string name = std::move(parts.front());
        parts.pop_front();
        struct stat st {};
        if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT && parts.empty()) {
                place = {std::move(dir), dirSt, name, false, {}, throughLink};
                return {};
            }
            return Errno();
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > 40) {
                return Errno(ELOOP);
            }
            // The link itself is held, so the owner checked is that of the
            // link read.
            Fd link(::openat(dir.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
            if (!link.valid() || ::fstat(link.get(), &st) != 0) {
                return Errno();
            }
            if (!S_ISLNK(st.st_mode)) {
                parts.push_front(name);  // replaced meanwhile: look again
                continue;
            }
            if (!Trusted(dirSt, st)) {
                return NameRefusal::kForeignLink;
            }
            std::string target(static_cast<std::size_t>(PATH_MAX), '\0');
            const ssize_t n = ::readlinkat(link.get(), "", target.data(), target.size());
            if (n < 0) {
                return Errno();
            }
            if (n == 0 || static_cast<std::size_t>(n) >= target.size()) {
                return Errno(n == 0 ? ENOENT : ENAMETOOLONG);
            }
            target.resize(static_cast<std::size_t>(n));
            throughLink = throughLink || parts.empty();
            PushParts(parts, target);
            if (target.starts_with('/')) {
                dir = Fd(OpenDir(AT_FDCWD, "/"));
                if (!dir.valid() || ::fstat(dir.get(), &dirSt) != 0) {
                    return Errno();
                }
            }
            continue;
        }
        if (parts.empty()) {
            place = {std::move(dir), dirSt, name, true, st, throughLink};
            return {};
        }
        if (!S_ISDIR(st.st_mode)) {
            return Errno(ENOTDIR);
        }
        Fd next(OpenDir(dir.get(), name.c_str()));
        if (!next.valid() || ::fstat(next.get(), &dirSt) != 0) {
            return Errno();
        }
        dir = std::move(next);
    }
    return Errno(ENOENT);  // not reached: the parts end with a name
}

// What may be written at an existing place, decided before anything there is
// opened for writing.
std::error_code CheckExisting(const Place& place) {
    if (S_ISDIR(place.st.st_mode)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    if (!Trusted(place.dirSt, place.st)) {
        return NameRefusal::kForeignFile;
    }
    if (S_ISBLK(place.st.st_mode)) {
        return NameRefusal::kBlockDevice;
    }
    if (!S_ISREG(place.st.st_mode) && place.throughLink) {
        return NameRefusal::kDeviceThroughLink;
    }
    return {};
}

// Opens the checked name for writing; the file opened must be the file
// checked (a name swapped meanwhile fails rather than being written).
int OpenChecked(const Place& place, int flags, struct stat& st) {
    int fd;
    do {
        fd = ::openat(place.dir.get(), place.name.c_str(),
                      flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    if (st.st_dev != place.st.st_dev || st.st_ino != place.st.st_ino ||
        (st.st_mode & S_IFMT) != (place.st.st_mode & S_IFMT)) {
        ::close(fd);
        errno = EAGAIN;
        return -1;
    }
    return fd;
}

// A new file with a short random name in the folder (the target's own name
// may already be as long as a name can be).
int CreateTemp(int dir, mode_t mode, std::string& name) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device rd;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = std::string(kTempFilePrefix);
        for (int i = 0; i < 6; ++i) {
            name += kChars[pick(rd)];
        }
        int fd;
        do {
            fd = ::openat(dir, name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

std::error_code SyncFolder(int dirFd) {
    Fd dir(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) {
        return Errno();
    }
    // Some file systems cannot flush a folder; that is no failure of the save.
    const int e = Did(FileOp::SyncFolder, ::fsync(dir.get()) == 0);
    if (e != 0 && e != EINVAL && e != EROFS) {
        return Errno(e);
    }
    return {};
}

// Writes over the open file itself: every name and link keeps pointing at it,
// and its owner, group and mode stay. The space is reserved before any old
// byte changes, so a full disk fails with the old content intact.
std::error_code WriteInPlace(Fd& fd, const struct stat& st, std::string_view bytes) {
    const auto size = static_cast<off_t>(bytes.size());
    if (size > 0) {
        const int e = Outcome(FileOp::Reserve, ::posix_fallocate(fd.get(), 0, size));
        if (e != 0) {
            // A reservation that failed part-way may have grown the file.
            struct stat now {};
            if (::fstat(fd.get(), &now) == 0 && now.st_size != st.st_size) {
                (void)Did(FileOp::Truncate, ::ftruncate(fd.get(), st.st_size) == 0);
            }
            return Errno(e);
        }
    }
    if (auto ec = WriteAll(fd.get(), bytes, 0, true)) {
        return ec;
    }
    if (Did(FileOp::Truncate, ::ftruncate(fd.get(), size) == 0) != 0 ||
        Did(FileOp::SyncFile, ::fsync(fd.get()) == 0) != 0) {
        return Errno();
    }
    return fd.Close();
}

// Writes the bytes into a new file beside the place's name and renames it
// over that name, both in the folder that was looked up. Sets `useInPlace`
// (and fails) when the result could not keep the old file's owner and group
// or the folder cannot take a new file.
std::error_code WriteBeside(const Place& place, const struct stat* old, std::string_view bytes,
                            bool& useInPlace) {
    const int dir = place.dir.get();
    std::string tempName;
    Fd fd(CreateTemp(dir, old ? 0600 : 0666, tempName));
    if (!fd.valid()) {
        const int e = errno;
        useInPlace = old != nullptr && (e == EACCES || e == EPERM || e == EROFS);
        return Errno(e);
    }
    auto fail = [&](std::error_code ec) {
        fd.Close();
        ::unlinkat(dir, tempName.c_str(), 0);
        return ec;
    };
    if (auto ec = WriteAll(fd.get(), bytes, 0, false)) {
        return fail(ec);
    }
    if (old != nullptr) {
        if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
            ::fchown(fd.get(), old->st_uid, old->st_gid) != 0) {
            useInPlace = true;
            return fail(Errno());
        }
        // After the owner: changing it clears set-id bits.
        if (::fchmod(fd.get(), old->st_mode & 07777) != 0) {
            return fail(Errno());
        }
    }
    if (Did(FileOp::SyncFile, ::fsync(fd.get()) == 0) != 0) {
        return fail(Errno());
    }
    if (auto ec = fd.Close()) {
        ::unlinkat(dir, tempName.c_str(), 0);
        return ec;
    }
    if (Did(FileOp::Rename, ::renameat(dir, tempName.c_str(), dir, place.name.c_str()) == 0) != 0) {
        const auto ec = Errno();
        ::unlinkat(dir, tempName.c_str(), 0);
        return ec;
    }
    return SyncFolder(dir);
}

std::error_code WriteIntoSpecial(const Place& place, std::string_view bytes) {
    // Not waiting: a FIFO without a reader fails rather than hanging.
    struct stat st {};
    Fd fd(OpenChecked(place, O_WRONLY, st));
    if (!fd.valid()) {
        return Errno();
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        (void)::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    if (auto ec = WriteAll(fd.get(), bytes, 0, false)) {
        return ec;
    }
    const int e = Did(FileOp::SyncFile, ::fsync(fd.get()) == 0);
    if (e != 0 && e != EINVAL && e != EROFS && e != ENOTSUP) {
        return Errno(e);
    }
    return fd.Close();
}

}  // namespace

FileOpObserver SetFileOpObserver(FileOpObserver observer) {
    return std::exchange(Observer(), std::move(observer));
}

std::error_code ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& out) {
    out.clear();
    // Looked at before opening, so a device is never opened (a serial port
    // would see its control lines move); checked again on the open file.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return Errno();
    }
    auto kind = [](const struct stat& s) -> std::error_code {
        if (S_ISDIR(s.st_mode)) {
            return std::make_error_code(std::errc::is_a_directory);
        }
        return S_ISREG(s.st_mode) ? std::error_code()
                                  : std::make_error_code(std::errc::invalid_argument);
    };
    if (auto ec = kind(st)) {
        return ec;
    }
    Fd fd(OpenNoWait(path, O_RDONLY));
    if (!fd.valid()) {
        return Errno();
    }
    if (::fstat(fd.get(), &st) != 0) {
        return Errno();
    }
    if (auto ec = kind(st)) {
        return ec;
    }
    out.resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd.get(), out.data() + got, maxBytes - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const auto ec = Errno();
            out.clear();
            return ec;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return {};
}

std::error_code ReplaceFileContents(const std::string& path, std::string_view bytes) {
    if (path.empty()) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    Place place;
    if (auto ec = Locate(path, place)) {
        return ec;
    }
    if (!place.exists) {
        bool unused = false;
        return WriteBeside(place, nullptr, bytes, unused);
    }
    if (auto ec = CheckExisting(place)) {
        return ec;
    }
    if (!S_ISREG(place.st.st_mode)) {
        return WriteIntoSpecial(place, bytes);
    }
    // Opening for writing is the permission check, exactly as the system
    // makes it; nothing is written when it fails.
    struct stat st {};
    Fd fd(OpenChecked(place, O_WRONLY, st));
    if (!fd.valid()) {
        return Errno();
    }
    bool inPlace = st.st_nlink > 1;
    if (!inPlace) {
        const auto ec = WriteBeside(place, &st, bytes, inPlace);
        if (!inPlace) {
            return ec;
        }
    }
    return WriteInPlace(fd, st, bytes);
}

std::error_code OpenForAppending(const std::string& path, int& fd) {
    fd = -1;
    if (path.empty()) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    // A name that appears between the look-up and the exclusive create is
    // looked up again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        Place place;
        if (auto ec = Locate(path, place)) {
            return ec;
        }
        if (!place.exists) {
            do {
                fd = ::openat(
                    place.dir.get(), place.name.c_str(),
                    O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                    0666);
            } while (fd < 0 && errno == EINTR);
            if (fd >= 0) {
                return {};
            }
            if (errno == EEXIST) {
                continue;
            }
            return Errno();
        }
        if (auto ec = CheckExisting(place)) {
            return ec;
        }
        struct stat st {};
        Fd opened(OpenChecked(place, O_WRONLY | O_APPEND, st));
        if (!opened.valid()) {
            return Errno();
        }
        // Writes to a FIFO wait for its reader, as a log's should.
        const int flags = ::fcntl(opened.get(), F_GETFL);
        if (flags < 0 || ::fcntl(opened.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
            return Errno();
        }
        fd = opened.Release();
        return {};
    }
    return Errno(EEXIST);
}

std::error_code ReadPathStart(const std::filesystem::path& path, std::size_t maxBytes,
                              std::string& out) {
    return ReadFileStart(path.native(), maxBytes, out);
}

std::error_code ReplacePathContents(const std::filesystem::path& path, std::string_view bytes) {
    return ReplaceFileContents(path.native(), bytes);
}

}  // namespace vark::platform
