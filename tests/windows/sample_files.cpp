// Writes the seven sample blocks the window tests open, as record files in
// the folder given: a block of typical cables, a production run, 1, 5 and 6
// cables, 100 40-pin harnesses, and a count byte of 150 over 100 slots.
// Usage: vark-sample-files DIR
#include <cstdio>
#include <filesystem>

#include "records/record_file.h"
#include "records/sample_records.h"

namespace {

vark::RecordBlock Cables(int count, int slots, int pins) {
    vark::RecordBlock block;
    vark::ClearBlock(block);
    block.count = static_cast<std::uint8_t>(count);
    for (int i = 0; i < slots; ++i) {
        block.slots[static_cast<std::size_t>(i)] =
            vark::RecordBuilder(pins ? pins : i % vark::kMaxPins + 1).Straight().Grounds().Build();
    }
    return block;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vark-sample-files DIR\n", stderr);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    const struct {
        const char* name;
        vark::RecordBlock block;
    } samples[] = {
        {"sample", vark::SampleBlock()},
        {"production-run", vark::ProductionRunBlock()},
        {"one", Cables(1, 1, 8)},
        {"five", Cables(5, 5, 0)},
        {"six", Cables(6, 6, 0)},
        {"hundred-40-pin", Cables(100, 100, 40)},
        {"count-byte-150", Cables(150, 100, 0)},
    };
    for (const auto& s : samples) {
        const auto file = dir / (std::string(s.name) + ".vku");
        if (vark::WriteRecordFile(file, s.block) != vark::FileStatus::Ok) {
            std::fprintf(stderr, "cannot write %s\n", file.string().c_str());
            return 1;
        }
        std::printf("%s\n", s.name);
    }
    return 0;
}
