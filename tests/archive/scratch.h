// What the archive's tests share: a private folder that goes with the test,
// blocks of records to archive, and runs made from them.
#pragma once

#include <filesystem>
#include <string>

#include "archive/run.h"
#include "records/record_block.h"
#include "records/sample_records.h"
#include "testing/scratch_dir.h"

namespace vark::archive::test {

class Scratch : public vark::test::ScratchDir {
  public:
    Scratch() : ScratchDir("vark-archive-test-") {}
};

inline std::string Slurp(const std::filesystem::path& p) {
    return vark::test::ReadWhole(p);
}

// A block of `count` straight cables of `pins` pins; `variant` wires the
// first record otherwise, so that blocks of one shape differ in their bytes.
inline RecordBlock StraightBlock(int count, int pins = 10, int variant = 0) {
    RecordBlock b{};
    b.count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        RecordBuilder r(pins);
        r.Straight().Grounds();
        if (i == 0 && variant != 0) {
            r.Reserved(static_cast<std::uint8_t>(variant));
        }
        b.slots[i] = r.Build();
    }
    return b;
}

inline NewRun UploadRun(const RecordBlock& block, const std::string& serial = "SN1",
                        const std::string& lot = "") {
    NewRun run;
    run.started = NowMs();
    run.ended = run.started + 1700;
    run.station = "station-1";
    run.operatorName = "ann";
    run.source = Source::Upload;
    run.port = "/dev/ttyUSB0";
    run.testerSerial = serial;
    run.lot = lot;
    run.program = "test";
    run.block = block;
    return run;
}

}  // namespace vark::archive::test
