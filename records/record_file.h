// The ".vku" record file: the 12-byte magic "KelvorVARK-u", a little-endian
// 32-bit length L, then the first L bytes of the record block.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "records/record_block.h"

namespace vark {

inline constexpr char kRecordMagic[12] = {'K', 'e', 'l', 'v', 'o', 'r',
                                          'V', 'A', 'R', 'K', '-', 'u'};
inline constexpr std::size_t kRecordHeaderSize = 16;

enum class FileStatus { Ok, OpenFailed, DataError, SaveFailed };

// The user-facing text of a failure, framed exactly as the window shows it.
const char* FileStatusMessage(FileStatus status);

// Reads a record file into `block` in place: bytes the file does not cover keep
// their values. Refused files (bad magic, truncated length field, a length
// beyond the block, a record count above 100) leave `block` untouched. Anything
// that is not a regular file (a FIFO, a device, a directory) fails to open at
// once rather than being waited on.
FileStatus ReadRecordFile(const std::filesystem::path& path, RecordBlock& block);
// The same for a record file's bytes already in memory (an archived run's).
FileStatus ReadRecordBytes(std::string_view bytes, RecordBlock& block);

// Writes StoredLength(block) bytes as the whole file, through the safe replace
// of the platform helper: a failed save leaves the existing file as it was,
// a file the user may not write is refused, owner, group, mode and links are
// kept. `reason`, when given, receives the system's reason for a failure.
FileStatus WriteRecordFile(const std::filesystem::path& path, const RecordBlock& block,
                           std::error_code* reason = nullptr);

// Whether `bytes` (the start of a file) begin with the record file's magic.
bool StartsWithRecordMagic(std::string_view bytes);

// Appends ".vku" unless the last four characters are exactly ".vku" (case matters).
std::string WithRecordExtension(std::string path);

// "Kelvor_%Y%m%d_%H%M%S.vku" for the given local time.
std::string DefaultRecordFileName(const std::tm& localTime);

}  // namespace vark
