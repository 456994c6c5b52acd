// The ".vku" record file: the 12-byte magic "KelvorVARK-u", a little-endian
// 32-bit length L, then the first L bytes of the record block.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>

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
// beyond the block, a record count above 100) leave `block` untouched.
FileStatus ReadRecordFile(const std::filesystem::path& path, RecordBlock& block);

// Writes StoredLength(block) bytes. The file is written beside the target and
// renamed over it, so a failed save never leaves an existing file damaged.
FileStatus WriteRecordFile(const std::filesystem::path& path, const RecordBlock& block);

// Appends ".vku" unless the last four characters are exactly ".vku" (case matters).
std::string WithRecordExtension(std::string path);

// "Kelvor_%Y%m%d_%H%M%S.vku" for the given local time.
std::string DefaultRecordFileName(const std::tm& localTime);

}  // namespace vark
