// The block the benchmarks measure with: 100 forty-pin straight cables with
// grounds, every third with a crossed pair so that some groups are shared.
#pragma once

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

}  // namespace vark::bench
