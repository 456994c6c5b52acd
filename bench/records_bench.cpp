#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench_blocks.h"
#include "records/pin_map.h"
#include "records/record_file.h"

namespace {

using vark::bench::FortyPinBlock;

void BM_PinMap100FortyPinRecords(benchmark::State& state) {
    const vark::RecordBlock block = FortyPinBlock();
    for (auto _ : state) {
        for (int d = 0; d < 100; ++d) {
            benchmark::DoNotOptimize(vark::BuildPinMapRow(block.slots[d], d));
        }
    }
}
BENCHMARK(BM_PinMap100FortyPinRecords)->Unit(benchmark::kMicrosecond);

void BM_RecordFileWrite100(benchmark::State& state) {
    const vark::RecordBlock block = FortyPinBlock();
    const auto path = std::filesystem::temp_directory_path() / "vark-bench-write.vku";
    for (auto _ : state) {
        benchmark::DoNotOptimize(vark::WriteRecordFile(path, block));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_RecordFileWrite100)->Unit(benchmark::kMicrosecond);

void BM_RecordFileRead100(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "vark-bench-read.vku";
    vark::WriteRecordFile(path, FortyPinBlock());
    vark::RecordBlock block;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vark::ReadRecordFile(path, block));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_RecordFileRead100)->Unit(benchmark::kMicrosecond);

}  // namespace
