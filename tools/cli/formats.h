// Pieces the record commands share: reading a record file as the window does,
// and quoting for CSV and JSON output.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/record_block.h"

namespace vark::cli {

// Reads FILE as the window's Open does, into a freshly cleared block. On
// failure the message is on standard error and `status` is the exit status.
bool LoadBlock(const std::string& path, RecordBlock& block, int& status);

// A test number 1..100, nothing else.
std::optional<int> ParseTestNumber(const std::string& s);

// FILE.vku[:N]: the part after the last colon is the test number (1..100)
// when it is all digits; otherwise the whole argument is the file name, and
// the test number is 1. False for a number out of range or no file name.
bool ParseFileAndTest(const std::string& given, std::string& file, int& number);

// Test `number` of `block`, read from `file`, when it can serve as a
// reference; otherwise the reason (naming the record `name`) is on standard
// error and `status` is the exit status.
bool ReferenceRecord(const RecordBlock& block, const std::string& file, int number,
                     const std::string& name, TestRecord& out, int& status);

// One RFC 4180 field, always quoted.
std::string CsvField(const std::string& s);

// A JSON string literal, always valid UTF-8: control characters escaped, each
// ill-formed UTF-8 sequence (file names are bytes) replaced by U+FFFD.
std::string JsonString(const std::string& s);

// Whether `s` is well-formed UTF-8, which JsonString keeps unchanged.
bool IsUtf8(std::string_view s);

// The bytes of `s` as lowercase hexadecimal digits, two for each byte.
std::string HexBytes(std::string_view s);

// A JSON array of numbers.
std::string JsonInts(const std::vector<int>& v);

// Writes `out` to standard output and flushes it (see FinishOutput).
int WriteOutput(const std::string& out);

}  // namespace vark::cli
