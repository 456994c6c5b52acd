#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "bench_blocks.h"
#include "records/compare.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "testing/temp_dir.h"

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

// Saves go to a private folder in the working folder (run from build/, which
// is on disk): a temporary folder is often in memory, where flushing to disk
// costs nothing.
std::filesystem::path BenchFile(const vark::test::TempDir& dir, const char* name) {
    return dir.path() / name;
}

// The program's save: new file beside the target, flushed to disk, renamed
// over it, folder flushed.
void BM_RecordFileWrite100(benchmark::State& state) {
    const vark::RecordBlock block = FortyPinBlock();
    const vark::test::TempDir dir(std::filesystem::current_path());
    const auto path = BenchFile(dir, "write.vku");
    for (auto _ : state) {
        benchmark::DoNotOptimize(vark::WriteRecordFile(path, block));
    }
}
BENCHMARK(BM_RecordFileWrite100)->Unit(benchmark::kMicrosecond);

// The save of a file with two names: written in place, space reserved first.
void BM_RecordFileWrite100InPlace(benchmark::State& state) {
    const vark::RecordBlock block = FortyPinBlock();
    const vark::test::TempDir dir(std::filesystem::current_path());
    const auto path = BenchFile(dir, "inplace.vku");
    vark::WriteRecordFile(path, block);
    std::filesystem::create_hard_link(path, BenchFile(dir, "inplace-2.vku"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(vark::WriteRecordFile(path, block));
    }
}
BENCHMARK(BM_RecordFileWrite100InPlace)->Unit(benchmark::kMicrosecond);

// Baseline: the same bytes written beside and renamed without flushing to
// disk; the difference to BM_RecordFileWrite100 is the cost of durability.
void BM_RecordFileWrite100NoSync(benchmark::State& state) {
    const vark::RecordBlock block = FortyPinBlock();
    const vark::test::TempDir dir(std::filesystem::current_path());
    const auto path = BenchFile(dir, "nosync.vku");
    const auto tmp = BenchFile(dir, "nosync.tmp");
    const std::uint32_t length = vark::StoredLength(block);
    std::string bytes(vark::kRecordMagic, sizeof vark::kRecordMagic);
    bytes.append(reinterpret_cast<const char*>(&length), 4);
    bytes.append(reinterpret_cast<const char*>(block.data()), length);
    for (auto _ : state) {
        std::ofstream(tmp, std::ios::binary | std::ios::trunc) << bytes;
        std::filesystem::rename(tmp, path);
    }
}
BENCHMARK(BM_RecordFileWrite100NoSync)->Unit(benchmark::kMicrosecond);

void BM_RecordFileRead100(benchmark::State& state) {
    const vark::test::TempDir dir;
    const auto path = dir.path() / "read.vku";
    vark::WriteRecordFile(path, FortyPinBlock());
    vark::RecordBlock block;
    for (auto _ : state) {
        benchmark::DoNotOptimize(vark::ReadRecordFile(path, block));
    }
}
BENCHMARK(BM_RecordFileRead100)->Unit(benchmark::kMicrosecond);

// Target: under 50 microseconds for 100 forty-pin records, each.
void BM_Compare100FortyPinWithReference(benchmark::State& state) {
    const vark::RecordBlock block = FortyPinBlock();
    for (auto _ : state) {
        const vark::Wiring reference = vark::ReadWiring(block.slots[0]);
        benchmark::DoNotOptimize(vark::CompareBlock(block, reference));
    }
}
BENCHMARK(BM_Compare100FortyPinWithReference)->Unit(benchmark::kMicrosecond);

void BM_Group100FortyPin(benchmark::State& state) {
    const vark::RecordBlock block = FortyPinBlock();
    for (auto _ : state) {
        benchmark::DoNotOptimize(vark::GroupBlock(block));
    }
}
BENCHMARK(BM_Group100FortyPin)->Unit(benchmark::kMicrosecond);

// The worst case for grouping: every record wired differently.
void BM_Group100FortyPinAllDifferent(benchmark::State& state) {
    vark::RecordBlock block = FortyPinBlock();
    for (int d = 0; d < 100; ++d) {
        vark::RecordBuilder b(40);
        b.Straight().Grounds().Connect(1 + d % 40, 1 + (d / 40 + d + 1) % 40);
        block.slots[d] = b.Build();
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(vark::GroupBlock(block));
    }
}
BENCHMARK(BM_Group100FortyPinAllDifferent)->Unit(benchmark::kMicrosecond);

}  // namespace
