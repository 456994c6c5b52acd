#include "records/record_file.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

namespace vark {
namespace {

std::uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t ReadUpTo(std::ifstream& in, unsigned char* dst, std::size_t n) {
    in.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount());
}

std::filesystem::path TempPathBeside(const std::filesystem::path& target) {
    std::random_device rd;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(rd()));
    std::filesystem::path tmp = target;
    tmp += suffix;
    return tmp;
}

// Where the bytes must end up: through a symbolic link to the file it names,
// so that saving over a link updates the linked file and keeps the link.
std::filesystem::path ResolveTarget(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) {
            return resolved;
        }
    }
    return path;
}

}  // namespace

const char* FileStatusMessage(FileStatus status) {
    switch (status) {
        case FileStatus::Ok:
            return "";
        case FileStatus::OpenFailed:
            return "\n    Open file failed!    \n";
        case FileStatus::DataError:
            return "\n    File data err!    \n";
        case FileStatus::SaveFailed:
            return "\n    Save file failed!    \n";
    }
    return "";
}

FileStatus ReadRecordFile(const std::filesystem::path& path, RecordBlock& block) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return FileStatus::OpenFailed;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return FileStatus::OpenFailed;
    }
    unsigned char header[kRecordHeaderSize];
    if (ReadUpTo(in, header, sizeof kRecordMagic) != sizeof kRecordMagic ||
        std::memcmp(header, kRecordMagic, sizeof kRecordMagic) != 0) {
        return FileStatus::DataError;
    }
    if (ReadUpTo(in, header + 12, 4) != 4) {
        return FileStatus::DataError;
    }
    const std::uint32_t length = ReadLe32(header + 12);
    if (length > kBlockSize) {
        return FileStatus::DataError;
    }
    // Read into a scratch copy first, so a refused file changes nothing.
    std::array<unsigned char, kBlockSize> buffer;
    const std::size_t got = ReadUpTo(in, buffer.data(), length);
    if (in.bad()) {
        return FileStatus::OpenFailed;
    }
    if (got >= 1 && buffer[0] > kMaxRecords) {
        return FileStatus::DataError;
    }
    // A file that ends early supplies what it has; the rest of the block stays.
    std::memcpy(block.data(), buffer.data(), got);
    return FileStatus::Ok;
}

FileStatus WriteRecordFile(const std::filesystem::path& path, const RecordBlock& block) {
    const std::filesystem::path target = ResolveTarget(path);
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) {
        return FileStatus::SaveFailed;
    }
    const std::filesystem::path tmp = TempPathBeside(target);
    std::FILE* f = std::fopen(tmp.string().c_str(), "wbx");
    if (f == nullptr) {
        return FileStatus::SaveFailed;
    }
    const std::uint32_t length = StoredLength(block);
    const unsigned char len[4] = {static_cast<unsigned char>(length & 0xFF),
                                  static_cast<unsigned char>((length >> 8) & 0xFF),
                                  static_cast<unsigned char>((length >> 16) & 0xFF),
                                  static_cast<unsigned char>((length >> 24) & 0xFF)};
    bool ok = std::fwrite(kRecordMagic, 1, sizeof kRecordMagic, f) == sizeof kRecordMagic &&
              std::fwrite(len, 1, sizeof len, f) == sizeof len &&
              std::fwrite(block.data(), 1, length, f) == length && std::fflush(f) == 0;
    ok = (std::fclose(f) == 0) && ok;
    if (ok) {
        // Keep the permissions of the file being replaced.
        auto st = std::filesystem::status(target, ec);
        if (!ec && std::filesystem::exists(st)) {
            std::filesystem::permissions(tmp, st.permissions(), ec);
        }
        std::filesystem::rename(tmp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        std::filesystem::remove(tmp, ec);
        return FileStatus::SaveFailed;
    }
    return FileStatus::Ok;
}

std::string WithRecordExtension(std::string path) {
    static constexpr char kExt[] = ".vku";
    if (path.size() < 4 || path.compare(path.size() - 4, 4, kExt) != 0) {
        path += kExt;
    }
    return path;
}

std::string DefaultRecordFileName(const std::tm& localTime) {
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, "Kelvor_%Y%m%d_%H%M%S", &localTime);
    return std::string(buf, n) + ".vku";
}

}  // namespace vark
