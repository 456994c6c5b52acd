#include "records/record_file.h"

#include <algorithm>
#include <cstring>

#include "platform/file_io.h"

namespace vark {
namespace {

std::uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
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
    std::string bytes;
    if (platform::ReadPathStart(path, kRecordHeaderSize + kBlockSize, bytes)) {
        return FileStatus::OpenFailed;
    }
    return ReadRecordBytes(bytes, block);
}

FileStatus ReadRecordBytes(std::string_view bytes, RecordBlock& block) {
    bytes = bytes.substr(0, kRecordHeaderSize + kBlockSize);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (!StartsWithRecordMagic(bytes) || bytes.size() < kRecordHeaderSize) {
        return FileStatus::DataError;
    }
    const std::uint32_t length = ReadLe32(p + sizeof kRecordMagic);
    if (length > kBlockSize) {
        return FileStatus::DataError;
    }
    // A file that ends early supplies what it has; the rest of the block stays.
    const std::size_t got = std::min<std::size_t>(length, bytes.size() - kRecordHeaderSize);
    if (got >= 1 && p[kRecordHeaderSize] > kMaxRecords) {
        return FileStatus::DataError;
    }
    std::memcpy(block.data(), p + kRecordHeaderSize, got);
    return FileStatus::Ok;
}

FileStatus WriteRecordFile(const std::filesystem::path& path, const RecordBlock& block,
                           std::error_code* reason) {
    const std::uint32_t length = StoredLength(block);
    std::string bytes(kRecordMagic, sizeof kRecordMagic);
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>((length >> (8 * i)) & 0xFF);
    }
    bytes.append(reinterpret_cast<const char*>(block.data()), length);
    const std::error_code ec = platform::ReplacePathContents(path, bytes);
    if (reason != nullptr) {
        *reason = ec;
    }
    return ec ? FileStatus::SaveFailed : FileStatus::Ok;
}

bool StartsWithRecordMagic(std::string_view bytes) {
    return bytes.size() >= sizeof kRecordMagic &&
           bytes.compare(0, sizeof kRecordMagic,
                         std::string_view(kRecordMagic, sizeof kRecordMagic)) == 0;
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
