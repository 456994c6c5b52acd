// compare, groups and save-sample-run: which records are not wired like a good
// cable, and how they differ.
#include <charconv>
#include <iostream>
#include <optional>
#include <string>

#include "records/compare.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "tools/cli/cli.h"
#include "tools/cli/formats.h"

namespace vark::cli {
namespace {

// Some record is not the same as the reference: a production line gates on it.
constexpr int kExitNotSame = 3;

// The value of `option`, when given.
std::optional<std::string> OptionValue(const Arguments& a, std::string_view option) {
    return a.Has(option) ? std::optional<std::string>(a.Value(option)) : std::nullopt;
}

std::string JsonConnections(const std::vector<Connection>& list) {
    std::string out = "[";
    for (std::size_t i = 0; i < list.size(); ++i) {
        out += (i ? ", " : "") + JsonString(ConnectionName(list[i]));
    }
    return out + "]";
}

std::string JsonTests(const std::vector<int>& slots) {
    std::string out = "[";
    for (std::size_t i = 0; i < slots.size(); ++i) {
        out += (i ? ", " : "") + JsonString(TestNumber(slots[i]));
    }
    return out + "]";
}

std::string TestList(const std::vector<int>& slots) {
    std::string out;
    for (int s : slots) {
        out += (out.empty() ? "" : " ") + TestNumber(s);
    }
    return out;
}

std::string SpacedNames(const std::vector<Connection>& list) {
    std::string out;
    for (const Connection& c : list) {
        out += (out.empty() ? "" : " ") + ConnectionName(c);
    }
    return out;
}

struct Reference {
    std::string file;
    int slot = 0;
    bool fromFile = false;  // taken from the compared file itself
    TestRecord record{};
};

// Picks test `number` of `block` as the reference, or says why it cannot be.
bool TakeReference(const RecordBlock& block, const std::string& file, int number, Reference& ref,
                   int& status) {
    ref.file = file;
    ref.slot = number - 1;
    return ReferenceRecord(block, file, number,
                           "Test " + TestNumber(ref.slot) + (ref.fromFile ? "" : " of " + file),
                           ref.record, status);
}

std::string CompareText(const BlockComparison& c, const Reference& ref,
                        const std::string& warning) {
    std::string out;
    for (std::size_t d = 0; d < c.records.size(); ++d) {
        out += TestNumber(static_cast<int>(d)) + ' ' + DescribeComparison(c.records[d]);
        if (ref.fromFile && static_cast<int>(d) == ref.slot) {
            out += " (reference)";
        }
        out += '\n';
    }
    out += SummaryText(c) + '\n';
    if (!warning.empty()) {
        out += warning + '\n';
    }
    return out;
}

std::string CompareCsv(const BlockComparison& c) {
    std::string out = "\"ID\",\"Verdict\",\"Missing\",\"Extra\"\r\n";
    for (std::size_t d = 0; d < c.records.size(); ++d) {
        const RecordComparison& r = c.records[d];
        out += CsvField(TestNumber(static_cast<int>(d))) + "," +
               CsvField(std::string(VerdictName(r.verdict))) + "," +
               CsvField(SpacedNames(r.missing)) + "," + CsvField(SpacedNames(r.extra)) + "\r\n";
    }
    return out;
}

std::string CompareJson(const BlockComparison& c, const Reference& ref,
                        const std::string& warning) {
    // A name that is no UTF-8 is shown with replacement characters, and its
    // bytes are given beside it, so a script can still find the file.
    const std::string fileBytes =
        IsUtf8(ref.file) ? std::string() : ", \"fileBytes\": \"" + HexBytes(ref.file) + "\"";
    std::string out = "{\n  \"reference\": {\"file\": " + JsonString(ref.file) + fileBytes +
                      ", \"id\": " + JsonString(TestNumber(ref.slot)) +
                      ", \"pinCount\": " + std::to_string(ref.record.PinCount()) +
                      "},\n  \"records\": [";
    for (std::size_t d = 0; d < c.records.size(); ++d) {
        const RecordComparison& r = c.records[d];
        out += d ? ",\n" : "\n";
        out += "    {\"id\": " + JsonString(TestNumber(static_cast<int>(d))) + ", \"verdict\": \"" +
               std::string(VerdictName(r.verdict)) +
               "\", \"pinCount\": " + std::to_string(r.recordPins) +
               ", \"missing\": " + JsonConnections(r.missing) +
               ", \"extra\": " + JsonConnections(r.extra) + "}";
    }
    out += c.records.empty() ? "],\n" : "\n  ],\n";
    out += "  \"summary\": {";
    for (int v = 0; v < kVerdictCount; ++v) {
        out += (v ? ", \"" : "\"") + std::string(VerdictName(static_cast<Verdict>(v))) +
               "\": " + std::to_string(c.counts[static_cast<std::size_t>(v)]);
    }
    out += "}";
    if (!warning.empty()) {
        out += ",\n  \"warning\": " + JsonString(warning);
    }
    return out + "\n}\n";
}

int CompareCommand(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--reference", "--golden", "--format"}, {}, a) ||
        a.names.size() != 1) {
        return Usage();
    }
    const std::optional<std::string> file = a.names[0];
    const std::optional<std::string> reference = OptionValue(a, "--reference");
    const std::optional<std::string> golden = OptionValue(a, "--golden");
    const std::string fmt = a.Value("--format", "text");
    if (reference.has_value() == golden.has_value() ||
        (fmt != "text" && fmt != "csv" && fmt != "json")) {
        return Usage();
    }

    int number = 1;
    std::string goldenFile;
    if (reference) {
        const auto n = ParseTestNumber(*reference);
        if (!n) {
            return Usage();
        }
        number = *n;
    } else if (!ParseFileAndTest(*golden, goldenFile, number)) {
        return Usage();
    }

    RecordBlock block;
    int status = kExitOk;
    if (!LoadBlock(*file, block, status)) {
        return status;
    }
    Reference ref;
    if (reference) {
        ref.fromFile = true;
        if (!TakeReference(block, *file, number, ref, status)) {
            return status;
        }
    } else {
        RecordBlock goldenBlock;
        if (!LoadBlock(goldenFile, goldenBlock, status) ||
            !TakeReference(goldenBlock, goldenFile, number, ref, status)) {
            return status;
        }
    }

    const Wiring wiring = ReadWiring(ref.record);
    const BlockComparison c = CompareBlock(block, wiring);
    const std::string warning = MajorityWarning(block, GroupBlock(block), wiring);
    std::string out;
    if (fmt == "json") {
        out = CompareJson(c, ref, warning);
    } else if (fmt == "csv") {
        out = CompareCsv(c);
        if (!warning.empty()) {
            std::cerr << warning << '\n';  // the table itself has no place for it
        }
    } else {
        out = CompareText(c, ref, warning);
    }
    const int written = WriteOutput(out);
    if (written != kExitOk) {
        return written;
    }
    return c.AllSame() ? kExitOk : kExitNotSame;
}

std::string GroupsText(const RecordBlock& block, const BlockGroups& g) {
    std::string out;
    const Wiring first =
        g.groups.empty() ? Wiring{} : ReadWiring(block.slots[g.groups.front().front()]);
    for (std::size_t i = 0; i < g.groups.size(); ++i) {
        const std::vector<int>& grp = g.groups[i];
        const TestRecord& head = block.slots[grp.front()];
        out += "group " + std::to_string(i + 1) + (i ? ", outlier: " : ": ") +
               std::to_string(grp.size()) + (grp.size() == 1 ? " record" : " records") + ", " +
               std::to_string(head.PinCount()) + " pins: " + TestList(grp) + '\n';
        if (i > 0) {
            out +=
                "  against group 1: " + DescribeComparison(Compare(first, ReadWiring(head))) + '\n';
        }
    }
    if (!g.errors.empty()) {
        out += "error, outlier: " + TestList(g.errors) + '\n';
    }
    if (!g.empties.empty()) {
        out += "empty, outlier: " + TestList(g.empties) + '\n';
    }
    out +=
        std::to_string(g.Outliers()) + " outliers of " + std::to_string(g.records) + " records\n";
    return out;
}

std::string GroupsJson(const RecordBlock& block, const BlockGroups& g) {
    std::string out = "{\n  \"records\": " + std::to_string(g.records) +
                      ",\n  \"outliers\": " + std::to_string(g.Outliers()) + ",\n  \"groups\": [";
    const Wiring first =
        g.groups.empty() ? Wiring{} : ReadWiring(block.slots[g.groups.front().front()]);
    for (std::size_t i = 0; i < g.groups.size(); ++i) {
        const std::vector<int>& grp = g.groups[i];
        const TestRecord& head = block.slots[grp.front()];
        out += i ? ",\n" : "\n";
        out += "    {\"tests\": " + JsonTests(grp) +
               ", \"pinCount\": " + std::to_string(head.PinCount()) +
               ", \"outlier\": " + (i ? "true" : "false");
        if (i > 0) {
            // How the group differs from the largest one.
            const RecordComparison c = Compare(first, ReadWiring(head));
            out += ", \"verdict\": \"" + std::string(VerdictName(c.verdict)) +
                   "\", \"missing\": " + JsonConnections(c.missing) +
                   ", \"extra\": " + JsonConnections(c.extra);
        }
        out += "}";
    }
    out += g.groups.empty() ? "],\n" : "\n  ],\n";
    out += "  \"errors\": " + JsonTests(g.errors) + ",\n  \"empty\": " + JsonTests(g.empties) +
           "\n}\n";
    return out;
}

int GroupsCommand(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--format"}, {}, a) || a.names.size() != 1) {
        return Usage();
    }
    const std::optional<std::string> file = a.names[0];
    const std::string fmt = a.Value("--format", "text");
    if (fmt != "text" && fmt != "json") {
        return Usage();
    }
    RecordBlock block;
    int status = kExitOk;
    if (!LoadBlock(*file, block, status)) {
        return status;
    }
    const BlockGroups g = GroupBlock(block);
    return WriteOutput(fmt == "json" ? GroupsJson(block, g) : GroupsText(block, g));
}

int SaveSampleRun(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {}, {}, a) || a.names.size() != 1) {
        return Usage();
    }
    std::error_code reason;
    const FileStatus st =
        WriteRecordFile(WithRecordExtension(a.names[0]), ProductionRunBlock(), &reason);
    return st == FileStatus::Ok ? kExitOk : FailWithReason(FileStatusMessage(st), reason);
}

const Register kCompare{
    {"compare", "FILE (--reference N | --golden GOLDEN.vku[:N]) [--format text|csv|json]",
     "compare every record with test N of FILE or of GOLDEN (N defaults to 1); status 3 when any "
     "record is not the same",
     CompareCommand}};
const Register kGroups{{"groups", "FILE [--format text|json]",
                        "group the records by identical wiring, largest group first, outliers "
                        "marked",
                        GroupsCommand}};
const Register kSampleRun{{"save-sample-run", "FILE",
                           "write a record file of a production run: 20 records of one 10-pin "
                           "harness, a few of them faulty",
                           SaveSampleRun}};

}  // namespace
}  // namespace vark::cli
