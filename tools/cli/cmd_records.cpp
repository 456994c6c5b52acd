// show, export and save-sample: the record file seen without a window.
#include <cstdio>
#include <iostream>
#include <string>

#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "tools/cli/cli.h"
#include "tools/cli/formats.h"

namespace vark::cli {
namespace {

int Show(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {}, {}, a) || a.names.size() != 1) {
        return Usage();
    }
    RecordBlock block;
    int status = kExitOk;
    if (!LoadBlock(a.names[0], block, status)) {
        return status;
    }
    std::string out;
    for (const auto& cells : PinMapTable(block)) {
        for (int c = 0; c < kListColumns; ++c) {
            if (c > 0) {
                out += '\t';
            }
            out += cells[c];
        }
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return FinishOutput();
}

std::string ExportCsv(const RecordBlock& block) {
    std::string out = "\"ID\",\"Pin\"";
    for (int i = 1; i <= kPinMapColumns; ++i) {
        out += ",\"Pin State " + std::to_string(i) + "\"";
    }
    out += "\r\n";
    for (const auto& cells : PinMapTable(block)) {
        for (int c = 0; c < kListColumns; ++c) {
            out += (c ? "," : "") + CsvField(cells[c]);
        }
        out += "\r\n";
    }
    return out;
}

std::string ExportJson(const RecordBlock& block) {
    std::string out = "{\n  \"count\": " + std::to_string(block.count) + ",\n  \"records\": [";
    const std::size_t used = UsedSlots(block);
    for (std::size_t d = 0; d < used; ++d) {
        const TestRecord& rec = block.slots[d];
        const auto cells = PinMapCells(BuildPinMapRow(rec, static_cast<int>(d)));
        const int n = rec.PinCount();
        const char* state = n == kPinCountEmpty         ? "empty"
                            : HasPinMap(rec.PinCount()) ? "ok"
                                                        : "error";
        out += d ? ",\n" : "\n";
        out += "    {\"slot\": " + std::to_string(d) + ", \"id\": " + JsonString(cells[0]) +
               ", \"pin\": " + JsonString(cells[1]) + ", \"pinCount\": " + std::to_string(n) +
               ", \"state\": \"" + state + "\",\n     \"cells\": [";
        for (int c = 2; c < kListColumns; ++c) {
            out += (c > 2 ? ", " : "") + JsonString(cells[c]);
        }
        out += "],\n     \"groups\": [";
        const auto groups = BuildPinGroups(rec);
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const PinGroup& grp = groups[g];
            out += g ? ",\n       " : "\n       ";
            out += "{\"aPins\": " + JsonInts(grp.aPins) +
                   ", \"aGround\": " + (grp.aGround ? "true" : "false") +
                   ", \"bPins\": " + JsonInts(grp.bPins) +
                   ", \"bGround\": " + (grp.bGround ? "true" : "false") + "}";
        }
        out += groups.empty() ? "]}" : "\n     ]}";
    }
    out += used ? "\n  ]\n}\n" : "]\n}\n";
    return out;
}

int Export(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--format"}, {}, a) || a.names.size() != 1) {
        return Usage();
    }
    const std::string format = a.Value("--format");
    const std::string& file = a.names[0];
    if (format != "csv" && format != "json") {
        return Usage();
    }
    RecordBlock block;
    int status = kExitOk;
    if (!LoadBlock(file, block, status)) {
        return status;
    }
    const std::string out = format == "csv" ? ExportCsv(block) : ExportJson(block);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return FinishOutput();
}

int SaveSample(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {}, {}, a) || a.names.size() != 1) {
        return Usage();
    }
    const RecordBlock block = SampleBlock();
    std::error_code reason;
    const FileStatus st = WriteRecordFile(WithRecordExtension(a.names[0]), block, &reason);
    return st == FileStatus::Ok ? kExitOk : FailWithReason(FileStatusMessage(st), reason);
}

const Register kShow{{"show", "FILE",
                      "print the pin-map list of a record file, one tab-separated row per record",
                      Show}};
const Register kExport{{"export", "--format csv|json FILE",
                        "the same rows for spreadsheets (csv) or scripts (json, with pin groups)",
                        Export}};
const Register kSample{{"save-sample", "FILE",
                        "write a record file of typical cables (\".vku\" is appended when missing)",
                        SaveSample}};

}  // namespace
}  // namespace vark::cli
