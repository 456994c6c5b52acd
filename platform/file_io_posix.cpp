#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
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

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows symbolic links to the name they end at (which may not exist yet),
// so that a save through a link writes the linked file and keeps the link.
std::error_code FollowLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            return errno == ENOENT ? std::error_code() : Errno();
        }
        if (!S_ISLNK(st.st_mode)) {
            return {};
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) {
            return Errno();
        }
        target.resize(static_cast<std::size_t>(n));
        path = target.starts_with('/') ? target : FolderOf(path) + "/" + target;
    }
    return Errno(ELOOP);
}

// A new file with a short random name in `folder` (the target's own name may
// already be as long as a name can be).
int CreateTemp(const std::string& folder, mode_t mode, std::string& name) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device rd;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/" + std::string(kTempFilePrefix);
        for (int i = 0; i < 6; ++i) {
            name += kChars[pick(rd)];
        }
        const int fd = OpenNoWait(name, O_WRONLY | O_CREAT | O_EXCL, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

std::error_code SyncFolder(const std::string& folder) {
    Fd dir(OpenNoWait(folder, O_RDONLY | O_DIRECTORY));
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

// Writes the bytes into a new file beside `target` and renames it over the
// target. Sets `useInPlace` (and fails) when the result could not keep the old
// file's owner and group or the folder cannot take a new file.
std::error_code WriteBeside(const std::string& target, const struct stat* old,
                            std::string_view bytes, bool& useInPlace) {
    const std::string folder = FolderOf(target);
    std::string tempName;
    Fd fd(CreateTemp(folder, old ? 0600 : 0666, tempName));
    if (!fd.valid()) {
        const int e = errno;
        useInPlace = old != nullptr && (e == EACCES || e == EPERM || e == EROFS);
        return Errno(e);
    }
    auto fail = [&](std::error_code ec) {
        fd.Close();
        ::unlink(tempName.c_str());
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
        ::unlink(tempName.c_str());
        return ec;
    }
    if (Did(FileOp::Rename, ::rename(tempName.c_str(), target.c_str()) == 0) != 0) {
        const auto ec = Errno();
        ::unlink(tempName.c_str());
        return ec;
    }
    return SyncFolder(folder);
}

std::error_code WriteIntoSpecial(const std::string& target, std::string_view bytes) {
    // Not waiting: a FIFO without a reader fails rather than hanging.
    Fd fd(OpenNoWait(target, O_WRONLY));
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
    std::string target = path;
    if (auto ec = FollowLinks(target)) {
        return ec;
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            return Errno();
        }
        bool unused = false;
        return WriteBeside(target, nullptr, bytes, unused);
    }
    if (S_ISDIR(st.st_mode)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    if (!S_ISREG(st.st_mode)) {
        return WriteIntoSpecial(target, bytes);
    }
    // Opening for writing is the permission check, exactly as the system
    // makes it; nothing is written when it fails.
    Fd fd(OpenNoWait(target, O_WRONLY));
    if (!fd.valid()) {
        return Errno();
    }
    if (::fstat(fd.get(), &st) != 0) {
        return Errno();
    }
    if (!S_ISREG(st.st_mode)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    bool inPlace = st.st_nlink > 1;
    if (!inPlace) {
        const auto ec = WriteBeside(target, &st, bytes, inPlace);
        if (!inPlace) {
            return ec;
        }
    }
    return WriteInPlace(fd, st, bytes);
}

}  // namespace vark::platform
