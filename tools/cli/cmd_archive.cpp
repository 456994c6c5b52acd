// archive: the runs every upload and import left in the station's archive,
// found, shown, exported, amended, voided, checked and copied.
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "archive/sha256.h"
#include "platform/file_io.h"
#include "records/record_file.h"
#include "tools/cli/archive_cli.h"
#include "tools/cli/formats.h"

#ifndef VARK_VERSION
#define VARK_VERSION "unknown"
#endif

namespace vark::cli {
namespace {

using archive::OpenOptions;

std::string Verdicts(const archive::RunSummary& r) {
    return r.same < 0 ? "-" : std::to_string(r.same) + "/" + std::to_string(r.differs);
}

std::string ListText(const std::vector<archive::RunSummary>& runs) {
    std::string out =
        "RUN\tSTARTED\tLOT\tPART\tOPERATOR\tSTATION\tTESTER\tRECORDS\tSAME/DIFFERS\tERRORS\tMARK\n";
    for (const auto& r : runs) {
        std::string mark = r.voided ? "voided" : "";
        if (!r.repeatOf.empty()) {
            mark += (mark.empty() ? "" : ",") + std::string("repeat of ") + r.repeatOf;
        }
        const std::string tester = r.source == archive::Source::Import
                                       ? "import " + r.fileName
                                       : (r.testerSerial.empty() ? r.port : r.testerSerial);
        out += r.uuid + '\t' + LocalTime(r.started) + '\t' + Field(r.lot) + '\t' + Field(r.part) +
               '\t' + Field(r.operatorName) + '\t' + Field(r.station) + '\t' + Field(tester) +
               '\t' + std::to_string(r.records) + '\t' + Verdicts(r) + '\t' +
               std::to_string(r.errors) + '\t' + mark + '\n';
    }
    return out;
}

std::string ListCsv(const std::vector<archive::RunSummary>& runs) {
    std::string out =
        "\"Run\",\"Started\",\"Ended\",\"Lot\",\"Part\",\"Operator\",\"Station\",\"Source\","
        "\"Port\",\"Tester\",\"File\",\"Records\",\"Empty\",\"Errors\",\"Same\",\"Differs\","
        "\"Voided\",\"Repeat of\",\"Note\"\r\n";
    auto num = [](int v) { return v < 0 ? std::string() : std::to_string(v); };
    for (const auto& r : runs) {
        const std::string fields[] = {r.uuid,
                                      UtcTime(r.started),
                                      UtcTime(r.ended),
                                      r.lot,
                                      r.part,
                                      r.operatorName,
                                      r.station,
                                      std::string(archive::SourceName(r.source)),
                                      r.port,
                                      r.testerSerial,
                                      r.fileName,
                                      std::to_string(r.records),
                                      std::to_string(r.empty),
                                      std::to_string(r.errors),
                                      num(r.same),
                                      num(r.differs),
                                      r.voided ? "yes" : "no",
                                      r.repeatOf,
                                      r.note};
        bool first = true;
        for (const auto& f : fields) {
            out += (first ? "" : ",") + CsvField(f);
            first = false;
        }
        out += "\r\n";
    }
    return out;
}

std::string JsonRun(const archive::RunSummary& r) {
    auto num = [](int v) { return v < 0 ? std::string("null") : std::to_string(v); };
    return "{\"run\": " + JsonString(r.uuid) + ", \"started\": " + JsonString(UtcTime(r.started)) +
           ", \"ended\": " + JsonString(UtcTime(r.ended)) + ", \"lot\": " + JsonString(r.lot) +
           ", \"part\": " + JsonString(r.part) + ", \"operator\": " + JsonString(r.operatorName) +
           ", \"station\": " + JsonString(r.station) + ", \"source\": \"" +
           std::string(archive::SourceName(r.source)) + "\", \"port\": " + JsonString(r.port) +
           ", \"tester\": " + JsonString(r.testerSerial) + ", \"file\": " + JsonString(r.fileName) +
           ", \"records\": " + std::to_string(r.records) +
           ", \"empty\": " + std::to_string(r.empty) + ", \"errors\": " + std::to_string(r.errors) +
           ", \"same\": " + num(r.same) + ", \"differs\": " + num(r.differs) +
           ", \"reference\": " + JsonString(r.referenceLabel) +
           ", \"golden\": " + (r.goldenUuid.empty() ? "null" : JsonString(r.goldenUuid)) +
           ", \"warning\": " + (r.warning.empty() ? "null" : JsonString(r.warning)) +
           ", \"voided\": " + (r.voided ? "true" : "false") +
           ", \"repeatOf\": " + (r.repeatOf.empty() ? "null" : JsonString(r.repeatOf)) +
           ", \"note\": " + JsonString(r.note) + "}";
}

std::string ListJson(const std::vector<archive::RunSummary>& runs) {
    std::string out = "[";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        out += (i ? ",\n  " : "\n  ") + JsonRun(runs[i]);
    }
    return out + (runs.empty() ? "]\n" : "\n]\n");
}

// The archive and the run a RUN argument names in it; nothing when either
// cannot be had (said on standard error).
struct NamedRun {
    std::unique_ptr<archive::SqliteArchive> store;
    std::string uuid;
};

std::optional<NamedRun> OpenRun(const archive::ArchiveConfig& config, OpenOptions::Mode mode,
                                const std::string& name) {
    NamedRun r{OpenArchive(config, mode), {}};
    if (!r.store) {
        return std::nullopt;
    }
    auto uuid = r.store->Resolve(name);
    if (!uuid) {
        std::cerr << uuid.error().message << '\n';
        return std::nullopt;
    }
    r.uuid = *uuid;
    return r;
}

// The reader (server or station) and the run a RUN argument names in it.
struct ReadRun {
    std::unique_ptr<archive::ArchiveReader> store;
    std::string uuid;
};

std::optional<ReadRun> OpenReadRun(const Arguments& a, const std::string& name) {
    ReadRun r{OpenReader(a, a.Has("--from-server")), {}};
    if (!r.store) {
        return std::nullopt;
    }
    auto uuid = r.store->Resolve(name);
    if (!uuid) {
        std::cerr << uuid.error().message << '\n';
        return std::nullopt;
    }
    r.uuid = *uuid;
    return r;
}

int List(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(ServerFlag(args),
                        {"--archive", "--lot", "--part", "--operator", "--station", "--tester",
                         "--since", "--until", "--limit", "--offset", "--format", "--text",
                         "--verdicts", "--sort", "--server"},
                        {"--voided", "--repeats", "--ascending", "--from-server"}, a) ||
        !a.names.empty()) {
        return ArchiveUsage();
    }
    archive::RunQuery q;
    if (!NarrowingOptions(a, q)) {
        return ArchiveUsage();
    }
    q.descending = !a.Has("--ascending");
    using V = archive::RunQuery::Verdicts;
    static const std::map<std::string, V, std::less<>> kVerdicts = {{"same", V::AllSame},
                                                                    {"differ", V::SomeDiffer},
                                                                    {"errors", V::SomeErrors},
                                                                    {"unjudged", V::NotJudged}};
    using K = archive::RunQuery::SortKey;
    static const std::map<std::string, K, std::less<>> kSorts = {
        {"started", K::Started},   {"lot", K::Lot},         {"part", K::Part},
        {"operator", K::Operator}, {"station", K::Station}, {"tester", K::Tester},
        {"records", K::Records},   {"same", K::Same},       {"differs", K::Differs},
        {"errors", K::Errors}};
    if (a.Has("--verdicts")) {
        const auto it = kVerdicts.find(a.Value("--verdicts"));
        if (it == kVerdicts.end()) {
            return ArchiveUsage();
        }
        q.verdicts = it->second;
    }
    if (a.Has("--sort")) {
        const auto it = kSorts.find(a.Value("--sort"));
        if (it == kSorts.end()) {
            return ArchiveUsage();
        }
        q.sort = it->second;
    }
    q.withVoided = a.Has("--voided");
    q.withRepeats = a.Has("--repeats");
    if (a.Has("--limit") && !(q.limit = Count(a.Value("--limit")))) {
        return ArchiveUsage();
    }
    if (a.Has("--offset")) {
        const auto offset = Count(a.Value("--offset"));
        if (!offset) {
            return ArchiveUsage();
        }
        q.offset = *offset;
    }
    const std::string format = a.Value("--format", "text");
    if (format != "text" && format != "csv" && format != "json") {
        return ArchiveUsage();
    }
    auto store = OpenReader(a, a.Has("--from-server"));
    if (!store) {
        return kExitFailed;
    }
    const auto runs = store->List(q);
    if (!runs) {
        return Fail(runs.error().message);
    }
    return WriteOutput(format == "csv"    ? ListCsv(*runs)
                       : format == "json" ? ListJson(*runs)
                                          : ListText(*runs));
}

int Show(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(ServerFlag(args), {"--archive", "--server"}, {"--from-server"}, a) ||
        a.names.size() != 1) {
        return ArchiveUsage();
    }
    const auto named = OpenReadRun(a, a.names[0]);
    if (!named) {
        return kExitFailed;
    }
    const auto d = named->store->Show(named->uuid);
    if (!d) {
        return Fail(d.error().message);
    }
    const archive::RunSummary& r = d->run;
    std::string out;
    auto line = [&](const char* key, const std::string& value) {
        out += std::string(key) + ": " + value + "\n";
    };
    line("run", r.uuid);
    line("started", LocalTime(r.started) + " (" + UtcTime(r.started) + ")");
    line("ended", LocalTime(r.ended) + " (" + UtcTime(r.ended) + ")");
    line("station", r.station);
    line("operator", r.operatorName);
    if (r.source == archive::Source::Upload) {
        line("source", "upload from " + r.port +
                           (r.testerSerial.empty() ? "" : ", tester " + r.testerSerial));
    } else {
        line("source", "import of " + r.fileName + " (SHA-256 " + d->fileSha256 + ")");
    }
    line("lot", r.lot);
    line("part", r.part);
    line("note", r.note);
    line("records", std::to_string(r.records) + " (" + std::to_string(r.empty) + " empty, " +
                        std::to_string(r.errors) + " in error)");
    if (d->reference) {
        line("reference", r.referenceLabel + ": " + std::to_string(r.same) + " same, " +
                              std::to_string(r.differs) + " differ");
    }
    if (!r.goldenUuid.empty()) {
        line("golden", r.goldenUuid);
    }
    if (!r.warning.empty()) {
        line("warning", r.warning);
    }
    if (r.voided) {
        line("voided", "yes");
    }
    if (!r.repeatOf.empty()) {
        line("repeat of", r.repeatOf);
    }
    line("fingerprint", "SHA-256 " + d->contentSha256);
    line("archived by", d->program);
    for (const auto& rec : d->records) {
        out += "  " + std::to_string(rec.slot + 1 + 1000).substr(1) + '\t' + rec.state +
               (rec.checksumOk ? "" : " (checksum wrong)") + '\t' + std::to_string(rec.pinCount) +
               " pins\t" + rec.connections;
        if (!rec.verdict.empty()) {
            out += '\t' + rec.verdict;
            if (!rec.missing.empty()) {
                out += " missing " + rec.missing;
            }
            if (!rec.extra.empty()) {
                out += " extra " + rec.extra;
            }
        }
        out += '\n';
    }
    for (const auto& m : d->amendments) {
        out += "amended " + LocalTime(m.made) + " by " + m.author + " at " + m.station + ": " +
               m.field + " \"" + m.oldValue + "\" -> \"" + m.newValue + "\" because " + m.why +
               "\n";
    }
    return WriteOutput(out);
}

int Export(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(ServerFlag(args), {"--archive", "-o", "--output", "--server"},
                        {"--from-server"}, a) ||
        a.names.size() != 1 || a.Has("-o") == a.Has("--output")) {
        return ArchiveUsage();
    }
    const auto named = OpenReadRun(a, a.names[0]);
    if (!named) {
        return kExitFailed;
    }
    const std::string& uuid = named->uuid;
    const auto bytes = named->store->ExportBytes(uuid);
    if (!bytes) {
        return Fail(bytes.error().message);
    }
    const std::string path = WithRecordExtension(a.Value("-o", a.Value("--output")));
    if (const std::error_code ec = platform::ReplaceFileContents(path, *bytes)) {
        return FailWithReason(FileStatusMessage(FileStatus::SaveFailed), ec);
    }
    std::printf("run %s exported to %s\n", uuid.c_str(), path.c_str());
    return FinishOutput();
}

int Amend(const std::vector<std::string>& args, bool voiding) {
    Arguments a;
    const bool parsed =
        voiding
            ? ParseArguments(args, {"--archive", "--why", "--by"}, {}, a)
            : ParseArguments(
                  args, {"--archive", "--why", "--by", "--lot", "--part", "--operator", "--note"},
                  {}, a);
    if (!parsed || a.names.size() != 1 || !a.Has("--why")) {
        return ArchiveUsage();
    }
    std::vector<archive::SqliteArchive::Change> changes;
    if (voiding) {
        changes.emplace_back("void", "1");
    } else {
        for (const char* field : {"lot", "part", "operator", "note"}) {
            const std::string option = std::string("--") + field;
            if (a.Has(option)) {
                changes.emplace_back(field, a.Value(option));
            }
        }
        if (changes.empty()) {
            return ArchiveUsage();
        }
    }
    // The author is who corrects, not the operator being corrected.
    Arguments who = a;
    who.options.erase("--operator");
    const archive::ArchiveConfig config = ArchiveConfigFor(who);
    const auto named = OpenRun(config, OpenOptions::Mode::Write, a.names[0]);
    if (!named) {
        return kExitFailed;
    }
    const std::string& uuid = named->uuid;
    const auto made = named->store->Amend(uuid, changes, a.Value("--why"),
                                          a.Value("--by", config.operatorName), config.station);
    if (!made) {
        return Fail(made.error().message);
    }
    for (const auto& m : *made) {
        if (m.field == "void") {
            std::printf("run %s voided\n", uuid.c_str());
        } else {
            std::printf("run %s: %s \"%s\" -> \"%s\"\n", uuid.c_str(), m.field.c_str(),
                        m.oldValue.c_str(), m.newValue.c_str());
        }
    }
    return FinishOutput();
}

int Import(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive", "--lot", "--part", "--operator", "--note"}, {}, a) ||
        a.names.empty()) {
        return ArchiveUsage();
    }
    const archive::ArchiveConfig config = ArchiveConfigFor(a);
    auto store = OpenArchive(config, OpenOptions::Mode::Write);
    if (!store) {
        return kExitFailed;
    }
    int status = kExitOk;
    for (const std::string& file : a.names) {
        archive::NewRun run;
        ClearBlock(run.block);
        const FileStatus st = ReadRecordFile(file, run.block);
        if (st != FileStatus::Ok) {
            std::cerr << file << ": " << Unframed(FileStatusMessage(st)) << '\n';
            status = kExitFailed;
            continue;
        }
        std::string bytes;
        platform::ReadFileStart(file, kRecordHeaderSize + kBlockSize + 1, bytes);
        run.started = run.ended = archive::NowMs();
        run.station = config.station;
        run.operatorName = config.operatorName;
        run.source = archive::Source::Import;
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(file, ec);
        run.fileName = ec ? file : absolute.string();
        run.fileSha256 = archive::ToHex(archive::Sha256Of(bytes));
        run.lot = a.Value("--lot");
        run.part = a.Value("--part");
        run.note = a.Value("--note");
        run.program = "vark-cli " VARK_VERSION;
        const auto done = store->Commit(run);
        if (!done) {
            std::cerr << file << ": not archived: " << done.error().message << '\n';
            status = kExitFailed;
            continue;
        }
        std::printf("%s: %s run %s\n%s", file.c_str(),
                    done->alreadyArchived ? "already archived as" : "archived as",
                    done->uuid.c_str(), ComparedLines(*done).c_str());
    }
    const int out = FinishOutput();
    return status != kExitOk ? status : out;
}

int Check(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive"}, {}, a) || !a.names.empty()) {
        return ArchiveUsage();
    }
    auto store = ForReading(a);
    if (!store) {
        return kExitFailed;
    }
    const auto report = store->Check();
    if (!report) {
        return Fail(report.error().message);
    }
    const auto& c = report->counts;
    std::printf(
        "%s: schema %d, %lld runs (%lld voided, %lld repeats), %lld records, %lld "
        "amendments\n",
        store->Path().c_str(), report->schemaVersion, static_cast<long long>(c.runs),
        static_cast<long long>(c.voided), static_cast<long long>(c.repeats),
        static_cast<long long>(c.records), static_cast<long long>(c.amendments));
    for (const auto& p : report->problems) {
        std::printf("problem: %s\n", p.c_str());
    }
    const int out = FinishOutput();
    if (!report->ok()) {
        std::fprintf(stderr, "the archive has %zu problems\n", report->problems.size());
        return kExitFailed;
    }
    std::printf("ok\n");
    return out != kExitOk ? out : FinishOutput();
}

int Backup(const std::vector<std::string>& args) {
    Arguments a;
    if (!ParseArguments(args, {"--archive"}, {}, a) || a.names.size() != 1) {
        return ArchiveUsage();
    }
    auto store = ForReading(a);
    if (!store) {
        return kExitFailed;
    }
    if (const auto st = store->BackupTo(a.names[0]); !st) {
        return Fail(st.error().message);
    }
    std::printf("archive %s copied to %s\n", store->Path().c_str(), a.names[0].c_str());
    return FinishOutput();
}

int Archive(const std::vector<std::string>& args) {
    if (args.empty()) {
        return ArchiveUsage();
    }
    const std::string& sub = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (sub == "--help" || sub == "-h" || sub == "help") {
        std::fputs(ArchiveUsageText().c_str(), stdout);
        return FinishOutput();
    }
    if (sub == "list") {
        return List(rest);
    }
    if (sub == "show") {
        return Show(rest);
    }
    if (sub == "export") {
        return Export(rest);
    }
    if (sub == "amend") {
        return Amend(rest, false);
    }
    if (sub == "void") {
        return Amend(rest, true);
    }
    if (sub == "import") {
        return Import(rest);
    }
    if (sub == "check") {
        return Check(rest);
    }
    if (sub == "backup") {
        return Backup(rest);
    }
    for (const ArchiveSubcommand& c : ArchiveSubcommands()) {
        if (c.name == sub) {
            return c.run(rest);
        }
    }
    return ArchiveUsage();
}

const Register kArchive{
    {"archive",
     "import|list|show|export|amend|void|check|backup|golden|yield|failures|report ... "
     "[--archive FILE]",
     "the runs kept by every upload and import (vark-cli archive --help)", Archive}};

}  // namespace
}  // namespace vark::cli
