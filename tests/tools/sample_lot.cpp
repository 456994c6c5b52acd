// Makes an archive holding one production lot, for the lot report's picture
// in the documentation: twelve uploads of 100 records of a 10-pin harness on
// two stations over a shift, compared with the part's golden reference, with
// the faults a line meets (an open pin far more often than the rest), one
// run voided and one repeated.
// Usage: sample-lot ARCHIVE.sqlite3   (a new file)
#include <cstdio>
#include <filesystem>
#include <random>

#include "archive/sqlite_archive.h"
#include "records/sample_records.h"

namespace {

using vark::RecordBuilder;
using vark::TestRecord;

TestRecord Harness(int open = 0, int shortA = 0, int shortB = 0, bool grounds = true) {
    RecordBuilder b(10);
    for (int i = 1; i <= 10; ++i) {
        if (i != open) {
            b.Connect(i, i);
        }
    }
    if (shortA != 0) {
        b.Connect(shortA, shortB);
    }
    if (grounds) {
        b.Grounds();
    }
    return b.Build();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::filesystem::exists(argv[1])) {
        std::fputs("usage: sample-lot NEW-ARCHIVE.sqlite3\n", stderr);
        return 2;
    }
    auto opened = vark::archive::SqliteArchive::Open(argv[1]);
    if (!opened) {
        std::fprintf(stderr, "%s\n", opened.error().message.c_str());
        return 1;
    }
    auto& archive = *opened.value();
    vark::archive::NewGolden golden;
    golden.made = 1709541000000;  // the day before, 08:30 UTC
    golden.part = "HX-1040";
    golden.record = Harness();
    golden.source = "test 001 of /srv/golden/HX-1040.vku";
    golden.author = "m.keller";
    golden.station = "QA bench";
    if (const auto g = archive.SetGolden(golden); !g) {
        std::fprintf(stderr, "%s\n", g.error().message.c_str());
        return 1;
    }
    // The faults and how often a line meets them.
    const std::vector<std::pair<TestRecord, int>> faults = {
        {Harness(3), 30},
        {Harness(7), 9},
        {Harness(0, 6, 7), 8},
        {Harness(0, 0, 0, false), 6},
        {Harness(9), 4},
        {Harness(0, 2, 3), 3},
        {RecordBuilder(12).Straight().Grounds().Build(), 2}};
    std::vector<int> weights;
    for (const auto& f : faults) {
        weights.push_back(f.second);
    }
    std::mt19937 random(20240305);
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    const vark::archive::TimeMs shift = 1709622000000;  // 2024-03-05 07:00 UTC
    for (int n = 0; n < 12; ++n) {
        vark::RecordBlock block{};
        block.count = 100;
        for (int i = 0; i < 100; ++i) {
            block.slots[i] = Harness();
            block.slots[i].bytes[vark::kReservedOffset] = static_cast<std::uint8_t>(n);
        }
        const int failing = 2 + static_cast<int>(random() % 7);
        for (int k = 0; k < failing; ++k) {
            block.slots[random() % 100] = faults[static_cast<std::size_t>(pick(random))].first;
        }
        if (n == 4) {
            block.slots[60].bytes[0] = vark::kPinCountError;
        }
        vark::archive::NewRun run;
        run.started = shift + n * 40 * 60000LL;
        run.ended = run.started + 6500;
        run.station = n % 2 ? "Line 2 bench 3" : "Line 2 bench 1";
        run.operatorName = n < 6 ? (n % 2 ? "ann" : "bob") : "carol";
        run.source = vark::archive::Source::Upload;
        run.port = "/dev/ttyUSB0";
        run.testerSerial = n % 2 ? "VK-20417" : "VK-20388";
        run.lot = "24-0305-A";
        run.part = "HX-1040";
        run.program = "sample-lot";
        run.block = block;
        const auto done = archive.Commit(run);
        if (!done) {
            std::fprintf(stderr, "%s\n", done.error().message.c_str());
            return 1;
        }
        if (n == 7) {
            // The same memory uploaded again: kept as a repeat, not counted.
            run.started += 60000;
            archive.Commit(run);
        }
        if (n == 9) {
            archive.Amend(done->uuid, {{"void", "1"}}, "cables of another lot", "carol",
                          run.station);
        }
    }
    std::printf("lot 24-0305-A archived in %s\n", argv[1]);
    return 0;
}
