#include "tools/cli/formats.h"

#include <cstdio>

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

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char ch : s) {
        switch (ch) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (ch < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", ch);
                    out += buf;
                } else {
                    out += static_cast<char>(ch);
                }
        }
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
