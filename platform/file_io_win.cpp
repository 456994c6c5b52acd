// Whole-file reads and replacements with the Win32 file calls: a temporary
// file beside the target, flushed to disk, then moved over the target in one
// step that is itself written through.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <utility>

#include "platform/file_io.h"

namespace vark::platform {
namespace {

std::error_code LastError() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

std::wstring WidePath(const std::string& path) {
    return std::filesystem::path(path).wstring();
}

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    void Reset(HANDLE h) {
        Close();
        h_ = h;
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        const bool ok = !valid() || ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

  private:
    HANDLE h_;
};

FileOpObserver& Observer() {
    static FileOpObserver observer;
    return observer;
}

// Whether one operation of a save succeeded, after the tests' observer had its
// say; a failure it makes up is left as the last error.
bool Did(FileOp op, bool ok) {
    if (Observer()) {
        const int error = Observer()(op, ok ? 0 : static_cast<int>(::GetLastError()));
        if (error != 0) {
            ::SetLastError(static_cast<DWORD>(error));
        }
        ok = error == 0;
    }
    return ok;
}

bool WriteAll(HANDLE h, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!Did(FileOp::Write, ::WriteFile(h, bytes.data() + done, chunk, &wrote, nullptr)) ||
            wrote == 0) {
            return false;
        }
        done += wrote;
    }
    return true;
}

}  // namespace

FileOpObserver SetFileOpObserver(FileOpObserver observer) {
    return std::exchange(Observer(), std::move(observer));
}

std::error_code ReadFileStart(const std::string& path, std::size_t maxBytes, std::string& out) {
    return ReadPathStart(std::filesystem::path(WidePath(path)), maxBytes, out);
}

std::error_code ReadPathStart(const std::filesystem::path& path, std::size_t maxBytes,
                              std::string& out) {
    out.clear();
    const std::wstring wide = path.wstring();
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::make_error_code(std::errc::is_a_directory);
    }
    Handle h(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) {
        return LastError();
    }
    if (::GetFileType(h.get()) != FILE_TYPE_DISK) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    out.resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(maxBytes - got, 1u << 20));
        DWORD n = 0;
        if (!::ReadFile(h.get(), out.data() + got, chunk, &n, nullptr)) {
            out.clear();
            return LastError();
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    out.resize(got);
    return {};
}

std::error_code ReplaceFileContents(const std::string& path, std::string_view bytes) {
    return ReplacePathContents(std::filesystem::path(WidePath(path)), bytes);
}

std::error_code ReplacePathContents(const std::filesystem::path& target, std::string_view bytes) {
    if (target.empty()) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    const std::wstring wideTarget = target.wstring();
    const DWORD attributes = ::GetFileAttributesW(wideTarget.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return std::make_error_code(std::errc::is_a_directory);
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            return std::make_error_code(std::errc::permission_denied);
        }
    }

    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device rd;
    std::wstring tmp;
    Handle h(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 16 && !h.valid(); ++attempt) {
        std::string name(kTempFilePrefix);
        for (int i = 0; i < 6; ++i) {
            name += kChars[rd() % (sizeof kChars - 1)];
        }
        tmp = (target.parent_path() / name).wstring();
        h.Reset(::CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.valid() && ::GetLastError() != ERROR_FILE_EXISTS) {
            return LastError();
        }
    }
    if (!h.valid()) {
        return LastError();
    }
    std::error_code ec;
    if (!WriteAll(h.get(), bytes) || !Did(FileOp::SyncFile, ::FlushFileBuffers(h.get()))) {
        ec = LastError();
    }
    if (!h.Close() && !ec) {
        ec = LastError();
    }
    // Written through: the move reaches the disk before it returns, so no
    // folder flush follows.
    if (!ec &&
        !Did(FileOp::Rename, ::MoveFileExW(tmp.c_str(), wideTarget.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
        ec = LastError();
    }
    if (ec) {
        ::DeleteFileW(tmp.c_str());
    }
    return ec;
}

}  // namespace vark::platform
