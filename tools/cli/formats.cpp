#include "tools/cli/formats.h"

#include <charconv>
#include <cstdio>

#include "records/compare.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "tools/cli/cli.h"

namespace vark::cli {

// Reads FILE as the window's Open does, into a freshly cleared block.
bool LoadBlock(const std::string& path, RecordBlock& block, int& status) {
    ClearBlock(block);
    const FileStatus st = ReadRecordFile(path, block);
    if (st != FileStatus::Ok) {
        status = Fail(FileStatusMessage(st));
        return false;
    }
    return true;
}

std::optional<int> ParseTestNumber(const std::string& s) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc{} || end != s.data() + s.size() || v < 1 ||
        v > static_cast<int>(kMaxRecords)) {
        return std::nullopt;
    }
    return v;
}

bool ParseFileAndTest(const std::string& given, std::string& file, int& number) {
    file = given;
    number = 1;
    const auto colon = given.rfind(':');
    if (colon != std::string::npos && colon + 1 < given.size() &&
        given.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
        const auto n = ParseTestNumber(given.substr(colon + 1));
        if (!n) {
            return false;
        }
        number = *n;
        file = given.substr(0, colon);
    }
    return !file.empty();
}

bool ReferenceRecord(const RecordBlock& block, const std::string& file, int number,
                     const std::string& name, TestRecord& out, int& status) {
    const int used = static_cast<int>(UsedSlots(block));
    if (number > used) {
        status = Fail("Test " + TestNumber(number - 1) + " is not in " + file + " (" +
                      std::to_string(used) + (used == 1 ? " record)." : " records)."));
        return false;
    }
    out = block.slots[static_cast<std::size_t>(number - 1)];
    if (const std::string problem = ReferenceProblem(out, name); !problem.empty()) {
        status = Fail(problem);
        return false;
    }
    return true;
}

std::string CsvField(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) {
        if (ch == '"') {
            out += '"';
        }
        out += ch;
    }
    return out + '"';
}

namespace {

// The length of the well-formed UTF-8 sequence at `at`, or, when there is
// none, minus the length of its longest start that could have begun one (so
// that one replacement character stands for it, as Unicode recommends).
int Utf8SequenceAt(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        return -1;
    }
    int got = 1;
    while (got < length && at + got < s.size()) {
        const unsigned char next = byte(at + got);
        if (got == 1 ? next < low || next > high : next < 0x80 || next > 0xBF) {
            break;
        }
        ++got;
    }
    return got == length ? length : -got;
}

}  // namespace

bool IsUtf8(std::string_view s) {
    for (std::size_t at = 0; at < s.size();) {
        const int n = Utf8SequenceAt(s, at);
        if (n < 0) {
            return false;
        }
        at += static_cast<std::size_t>(n);
    }
    return true;
}

std::string HexBytes(std::string_view s) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char ch : s) {
        out += kDigits[ch >> 4];
        out += kDigits[ch & 0x0F];
    }
    return out;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (std::size_t at = 0; at < s.size();) {
        const int n = Utf8SequenceAt(s, at);
        if (n < 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
            at += static_cast<std::size_t>(-n);
            continue;
        }
        const unsigned char ch = static_cast<unsigned char>(s[at]);
        if (ch == '"') {
            out += "\\\"";
        } else if (ch == '\\') {
            out += "\\\\";
        } else if (ch < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", ch);
            out += buf;
        } else {
            out.append(s, at, static_cast<std::size_t>(n));
        }
        at += static_cast<std::size_t>(n);
    }
    return out + '"';
}

std::string JsonInts(const std::vector<int>& v) {
    std::string out = "[";
    for (std::size_t i = 0; i < v.size(); ++i) {
        out += (i ? "," : "") + std::to_string(v[i]);
    }
    return out + "]";
}

int WriteOutput(const std::string& out) {
    std::fwrite(out.data(), 1, out.size(), stdout);
    return FinishOutput();
}

}  // namespace vark::cli
