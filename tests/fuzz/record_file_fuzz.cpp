// The record file reader on arbitrary file contents: a refused file leaves the
// block byte for byte as it was, a read one never sets a count above 100, and
// bytes the file does not cover keep their values.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "fuzz_support.h"
#include "records/record_file.h"

namespace {

// In a folder of this process's own (mode 0700, unguessable name): a fixed
// name in the shared temporary folder could be planted as a link by anyone.
// Never destroyed, so the clean-up at exit still has it.
const std::filesystem::path& ScratchFile() {
    static const auto* path = [] {
        std::string folder = (std::filesystem::temp_directory_path() / "vark-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(folder.data()) != nullptr);
        return new std::filesystem::path(std::filesystem::path(folder) / "record.vku");
    }();
    static const int cleanUp = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(ScratchFile().parent_path(), ec);
    });
    (void)cleanUp;
    return *path;
}

void WriteFile(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(ScratchFile().c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    // An empty input may come without a buffer.
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vark;
    WriteFile(data, size);

    // A block that already holds something, with a count the model allows.
    RecordBlock before;
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        before.data()[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    before.count = 7;
    RecordBlock block = before;

    const FileStatus status = ReadRecordFile(ScratchFile(), block);

    // What the file holds, read here from the format alone.
    const bool magic = size >= 12 && std::memcmp(data, kRecordMagic, 12) == 0;
    const bool lengthField = size >= kRecordHeaderSize;
    std::uint32_t length = 0;
    if (lengthField) {
        for (int i = 3; i >= 0; --i) {
            length = (length << 8) | data[12 + i];
        }
    }
    const std::size_t supplied =
        lengthField ? std::min<std::size_t>(length, size - kRecordHeaderSize) : 0;
    const bool countTooHigh = supplied >= 1 && data[kRecordHeaderSize] > kMaxRecords;
    const bool acceptable = magic && lengthField && length <= kBlockSize && !countTooHigh;

    FUZZ_CHECK(status == FileStatus::Ok || status == FileStatus::DataError);
    FUZZ_CHECK((status == FileStatus::Ok) == acceptable);
    if (status != FileStatus::Ok) {
        FUZZ_CHECK(std::memcmp(&block, &before, kBlockSize) == 0);
        return 0;
    }
    FUZZ_CHECK(block.count <= kMaxRecords);
    FUZZ_CHECK(std::memcmp(block.data(), data + kRecordHeaderSize, supplied) == 0);
    FUZZ_CHECK(
        std::memcmp(block.data() + supplied, before.data() + supplied, kBlockSize - supplied) == 0);
    return 0;
}
