// A private folder for one test, removed with its contents when the test is
// done; standard C++ only, so tests that also run under Wine can use it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace vark::test {

class ScratchDir {
  public:
    explicit ScratchDir(const std::string& prefix = "vark-test-") {
        std::random_device r;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + std::to_string(r()) + std::to_string(r()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        // A test may have taken the folder's own rights away.
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadWhole(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteWhole(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

}  // namespace vark::test
