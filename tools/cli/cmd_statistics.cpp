// archive golden, yield and failures: a good cable per part number, and what
// share of the records passed, and why the others failed.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "archive/statistics.h"
#include "records/pin_map.h"
#include "tools/cli/archive_cli.h"
#include "tools/cli/formats.h"

namespace vark::cli {
namespace {

using archive::OpenOptions;

std::string Percent(double share) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f %%", share * 100);
    return buf;
}

// A share as a plain number for CSV and JSON.
std::string Ratio(double share) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.4f", share);
    return buf;
}

std::string Text(const std::string& s) {
    return s.empty() ? std::string("(none)") : Field(s);
}

bool ParseFormat(const Arguments& a, std::string& format) {
    format = a.Value("--format", "text");
    return format == "text" || format == "csv" || format == "json";
}

// --- golden -------------------------------------------------------------

std::string Described(const archive::Golden& g) {
    return "set " + LocalTime(g.made) + " by " + g.author + " at " + g.station;
}

int GoldenSet(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive", "--part", "--note", "--by"}, {}, a) ||
        a.names.size() != 1 || !a.Has("--part")) {
        return ArchiveUsage();
    }
    std::string file;
    int number = 1;
    if (!ParseFileAndTest(a.names[0], file, number)) {
        return ArchiveUsage();
    }
    RecordBlock block;
    int status = kExitOk;
    archive::NewGolden golden;
    if (!LoadBlock(file, block, status) ||
        !ReferenceRecord(block, file, number, "Test " + TestNumber(number - 1) + " of " + file,
                         golden.record, status)) {
        return status;
    }
    const archive::ArchiveConfig config = ArchiveConfigFor(a);
    auto store = OpenArchive(config, OpenOptions::Mode::Write);
    if (!store) {
        return kExitFailed;
    }
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(file, ec);
    golden.part = a.Value("--part");
    golden.source = "test " + TestNumber(number - 1) + " of " + (ec ? file : absolute.string());
    golden.note = a.Value("--note");
    golden.author = a.Value("--by", config.operatorName);
    golden.station = config.station;
    const auto before = store->CurrentGolden(golden.part);
    if (!before) {
        return Fail(before.error().message);
    }
    const auto made = store->SetGolden(golden);
    if (!made) {
        return Fail(made.error().message);
    }
    std::string out = "golden reference " + made->uuid + " of part " + made->part +
                      " set: " + made->source + " (" + std::to_string(made->record.PinCount()) +
                      " pins)\n  " + made->connections + "\n";
    if (*before) {
        out +=
            "it supersedes golden reference " + (*before)->uuid + ", " + Described(**before) + "\n";
    }
    return WriteOutput(out);
}

int GoldenShow(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive", "--part"}, {}, a) || !a.names.empty() ||
        !a.Has("--part")) {
        return ArchiveUsage();
    }
    auto store = ForReading(a);
    if (!store) {
        return kExitFailed;
    }
    const std::string part = a.Value("--part");
    const auto all = store->Goldens(part);
    if (!all) {
        return Fail(all.error().message);
    }
    if (all->empty()) {
        return Fail("part " + part + " has no golden reference");
    }
    const archive::Golden& g = all->front();
    std::string out = "part: " + g.part + "\ngolden: " + g.uuid + "\nset: " + LocalTime(g.made) +
                      " (" + UtcTime(g.made) + ") by " + g.author + " at " + g.station +
                      "\nsource: " + g.source + "\n";
    if (!g.note.empty()) {
        out += "note: " + g.note + "\n";
    }
    out +=
        "pins: " + std::to_string(g.record.PinCount()) + "\nconnections: " + g.connections + "\n";
    for (std::size_t i = 1; i < all->size(); ++i) {
        out += "supersedes: " + (*all)[i].uuid + ", " + Described((*all)[i]) + "\n";
    }
    return WriteOutput(out);
}

int GoldenList(const std::vector<std::string>& args) {
    Arguments a;
    std::string format;
    if (!ParseArguments(args, {"--archive", "--part", "--format"}, {}, a) || !a.names.empty() ||
        !ParseFormat(a, format)) {
        return ArchiveUsage();
    }
    auto store = ForReading(a);
    if (!store) {
        return kExitFailed;
    }
    const auto all = store->Goldens(a.Value("--part"));
    if (!all) {
        return Fail(all.error().message);
    }
    std::string out;
    if (format == "text") {
        out = "GOLDEN\tPART\tSET\tBY\tSTATION\tPINS\tSOURCE\tSTATE\n";
        for (const auto& g : *all) {
            out += g.uuid + '\t' + Field(g.part) + '\t' + LocalTime(g.made) + '\t' +
                   Field(g.author) + '\t' + Field(g.station) + '\t' +
                   std::to_string(g.record.PinCount()) + '\t' + Field(g.source) + '\t' +
                   (g.supersededBy.empty() ? "current" : "superseded by " + g.supersededBy) + '\n';
        }
    } else if (format == "csv") {
        out =
            "\"Golden\",\"Part\",\"Set\",\"By\",\"Station\",\"Pins\",\"Source\",\"Note\","
            "\"Superseded by\",\"Connections\"\r\n";
        for (const auto& g : *all) {
            const std::string fields[] = {g.uuid,          g.part,
                                          UtcTime(g.made), g.author,
                                          g.station,       std::to_string(g.record.PinCount()),
                                          g.source,        g.note,
                                          g.supersededBy,  g.connections};
            for (std::size_t i = 0; i < std::size(fields); ++i) {
                out += (i ? "," : "") + CsvField(fields[i]);
            }
            out += "\r\n";
        }
    } else {
        out = "[";
        for (std::size_t i = 0; i < all->size(); ++i) {
            const auto& g = (*all)[i];
            out += (i ? ",\n  " : "\n  ") + std::string("{\"golden\": ") + JsonString(g.uuid) +
                   ", \"part\": " + JsonString(g.part) +
                   ", \"set\": " + JsonString(UtcTime(g.made)) +
                   ", \"by\": " + JsonString(g.author) + ", \"station\": " + JsonString(g.station) +
                   ", \"pins\": " + std::to_string(g.record.PinCount()) +
                   ", \"source\": " + JsonString(g.source) + ", \"note\": " + JsonString(g.note) +
                   ", \"supersededBy\": " +
                   (g.supersededBy.empty() ? "null" : JsonString(g.supersededBy)) +
                   ", \"connections\": " + JsonString(g.connections) + "}";
        }
        out += all->empty() ? "]\n" : "\n]\n";
    }
    return WriteOutput(out);
}

int Golden(const std::vector<std::string>& args) {
    if (args.empty()) {
        return ArchiveUsage();
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "set") {
        return GoldenSet(rest);
    }
    if (args[0] == "show") {
        return GoldenShow(rest);
    }
    if (args[0] == "list") {
        return GoldenList(rest);
    }
    return ArchiveUsage();
}

// --- yield and failures -------------------------------------------------

// The options both take (yield also --by); the query they make, or false
// for wrong usage.
bool StatisticsQuery(const std::vector<std::string>& args, bool grouped, Arguments& a,
                     archive::RunQuery& q, std::string& format) {
    return ParseArguments(ServerFlag(args),
                          {"--archive", "--lot", "--part", "--operator", "--station", "--tester",
                           "--since", "--until", "--format", "--by", "--server"},
                          {"--from-server"}, a) &&
           a.names.empty() && (grouped || !a.Has("--by")) && NarrowingOptions(a, q) &&
           ParseFormat(a, format);
}

std::string YieldText(const archive::YieldTable& t) {
    std::string heading(archive::GroupingName(t.by));
    for (char& c : heading) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string out = heading + "\tFIRST\tLAST\tRUNS\tCOUNTED\tPASSED\tFAILED\tNOT JUDGED\tYIELD\n";
    auto row = [](const std::string& key, const archive::YieldRow& r) {
        const auto y = r.Yield();
        return key + '\t' + (r.runs ? LocalTime(r.first) : "-") + '\t' +
               (r.runs ? LocalTime(r.last) : "-") + '\t' + std::to_string(r.runs) + '\t' +
               std::to_string(r.Counted()) + '\t' + std::to_string(r.passed) + '\t' +
               std::to_string(r.failed) + '\t' + std::to_string(r.notJudged) + '\t' +
               (y ? Percent(*y) : "-") + '\n';
    };
    for (const auto& r : t.rows) {
        out += row(Text(r.key), r);
    }
    return out + row("all", t.total);
}

std::string YieldCsv(const archive::YieldTable& t) {
    std::string heading(archive::GroupingName(t.by));
    heading[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(heading[0])));
    std::string out = "\"" + heading +
                      "\",\"First\",\"Last\",\"Runs\",\"Counted\",\"Passed\",\"Failed\",\"Not "
                      "judged\",\"Yield\"\r\n";
    for (const auto& r : t.rows) {
        const auto y = r.Yield();
        const std::string fields[] = {r.key,
                                      UtcTime(r.first),
                                      UtcTime(r.last),
                                      std::to_string(r.runs),
                                      std::to_string(r.Counted()),
                                      std::to_string(r.passed),
                                      std::to_string(r.failed),
                                      std::to_string(r.notJudged),
                                      y ? Ratio(*y) : std::string()};
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            out += (i ? "," : "") + CsvField(fields[i]);
        }
        out += "\r\n";
    }
    return out;
}

std::string YieldJsonRow(const archive::YieldRow& r, bool withKey) {
    const auto y = r.Yield();
    return std::string("{") + (withKey ? "\"key\": " + JsonString(r.key) + ", " : "") +
           "\"first\": " + (r.runs ? JsonString(UtcTime(r.first)) : "null") +
           ", \"last\": " + (r.runs ? JsonString(UtcTime(r.last)) : "null") +
           ", \"runs\": " + std::to_string(r.runs) +
           ", \"counted\": " + std::to_string(r.Counted()) +
           ", \"passed\": " + std::to_string(r.passed) +
           ", \"failed\": " + std::to_string(r.failed) +
           ", \"notJudged\": " + std::to_string(r.notJudged) +
           ", \"yield\": " + (y ? Ratio(*y) : "null") + "}";
}

std::string YieldJson(const archive::YieldTable& t) {
    std::string out =
        "{\n  \"by\": \"" + std::string(archive::GroupingName(t.by)) + "\",\n  \"groups\": [";
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
        out += (i ? ",\n    " : "\n    ") + YieldJsonRow(t.rows[i], true);
    }
    out += t.rows.empty() ? "],\n" : "\n  ],\n";
    return out + "  \"total\": " + YieldJsonRow(t.total, false) + "\n}\n";
}

int Yield(const std::vector<std::string>& args) {
    Arguments a;
    archive::RunQuery q;
    std::string format;
    if (!StatisticsQuery(args, true, a, q, format)) {
        return ArchiveUsage();
    }
    const auto by = archive::GroupingNamed(a.Value("--by", "lot"));
    if (!by) {
        return ArchiveUsage();
    }
    const StatisticsReader store = OpenStatistics(a, a.Has("--from-server"));
    if (!store) {
        return kExitFailed;
    }
    const auto runs = store.source->CountedRuns(q);
    if (!runs) {
        return Fail(runs.error().message);
    }
    const archive::YieldTable t = archive::Yields(*runs, *by);
    return WriteOutput(format == "csv"    ? YieldCsv(t)
                       : format == "json" ? YieldJson(t)
                                          : YieldText(t));
}

std::string FailuresText(const archive::Pareto& p) {
    std::string out = "CAUSE\tCOUNT\tSHARE\tCUMULATIVE\n";
    for (const auto& r : p.rows) {
        out += r.cause + '\t' + std::to_string(r.count) + '\t' + Percent(r.share) + '\t' +
               Percent(r.cumulative) + '\n';
    }
    return out + std::to_string(p.causes) + " causes in " + std::to_string(p.failedRecords) +
           " failed records\n";
}

std::string FailuresCsv(const archive::Pareto& p) {
    std::string out = "\"Cause\",\"Kind\",\"Count\",\"Share\",\"Cumulative\"\r\n";
    for (const auto& r : p.rows) {
        out += CsvField(r.cause) + "," + CsvField(std::string(archive::CauseKindName(r.kind))) +
               "," + CsvField(std::to_string(r.count)) + "," + CsvField(Ratio(r.share)) + "," +
               CsvField(Ratio(r.cumulative)) + "\r\n";
    }
    return out;
}

std::string FailuresJson(const archive::Pareto& p) {
    std::string out = "{\n  \"failedRecords\": " + std::to_string(p.failedRecords) +
                      ",\n  \"causes\": " + std::to_string(p.causes) + ",\n  \"rows\": [";
    for (std::size_t i = 0; i < p.rows.size(); ++i) {
        const auto& r = p.rows[i];
        out += (i ? ",\n    " : "\n    ") + std::string("{\"cause\": ") + JsonString(r.cause) +
               ", \"kind\": \"" + std::string(archive::CauseKindName(r.kind)) +
               "\", \"count\": " + std::to_string(r.count) + ", \"share\": " + Ratio(r.share) +
               ", \"cumulative\": " + Ratio(r.cumulative) + "}";
    }
    return out + (p.rows.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

int Failures(const std::vector<std::string>& args) {
    Arguments a;
    archive::RunQuery q;
    std::string format;
    if (!StatisticsQuery(args, false, a, q, format)) {
        return ArchiveUsage();
    }
    const StatisticsReader store = OpenStatistics(a, a.Has("--from-server"));
    if (!store) {
        return kExitFailed;
    }
    const auto failed = store.source->FailedRecords(q);
    if (!failed) {
        return Fail(failed.error().message);
    }
    const archive::Pareto p = archive::FailurePareto(*failed);
    return WriteOutput(format == "csv"    ? FailuresCsv(p)
                       : format == "json" ? FailuresJson(p)
                                          : FailuresText(p));
}

const RegisterArchive kGolden{
    {"golden",
     "  golden set --part P FILE.vku[:N] [--note TEXT] [--by NAME]\n"
     "  golden show --part P\n"
     "  golden list [--part P] [--format text|csv|json]\n"
     "      the known-good cable of a part number (test N of FILE, 1 unless told); a new\n"
     "      one supersedes the old, and uploads and imports of the part are compared with it\n",
     Golden}};
const RegisterArchive kYield{
    {"yield",
     "  yield [--by lot|part|station|operator|day|run] [--lot L] [--part P] [--operator O]\n"
     "        [--station S] [--tester SERIAL] [--since DATE] [--until DATE]\n"
     "        [--format text|csv|json] [--server[=URL]]\n"
     "      counted, passed, failed and not judged records and the first-pass yield per\n"
     "      group; voided runs, repeats and empty slots do not count; --server: every\n"
     "      station's runs on the factory server\n",
     Yield}};
const RegisterArchive kFailures{
    {"failures",
     "  failures [--lot L] [--part P] [--operator O] [--station S] [--tester SERIAL]\n"
     "           [--since DATE] [--until DATE] [--format text|csv|json]\n"
     "           [--server[=URL]]\n"
     "      the causes of the failed records, largest first, with their shares\n",
     Failures}};

}  // namespace
}  // namespace vark::cli
