// The block the benchmarks measure with: 100 forty-pin straight cables with
// grounds, every third with a crossed pair so that some groups are shared.
#pragma once

#include <string>

#include "records/record_block.h"
#include "records/sample_records.h"

namespace vark::bench {

inline RecordBlock FortyPinBlock() {
    RecordBlock block;
    ClearBlock(block);
    block.count = 100;
    for (int i = 0; i < 100; ++i) {
        RecordBuilder b(40);
        b.Straight().Grounds();
        if (i % 3 == 1) {
            b.Connect(2, 3).Connect(3, 2);
        }
        block.slots[i] = b.Build();
    }
    return block;
}

// The archive of 10,000 runs of 100 records (1,000,000 records, 5 % failing)
// that the archive benchmarks and the window's statistics measure,
// made once per run of the benchmark program; empty, with
// the reason in `error`, when it could not be made.
std::string BigArchivePath(std::string* error = nullptr);

}  // namespace vark::bench
