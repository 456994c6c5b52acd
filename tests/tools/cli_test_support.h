// Running vark-cli as a user does: a real process in a private directory,
// its output streams and exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vark {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class CliFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vark-cli-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    CliRun Cli(const std::string& args) {
        const std::string cmd = std::string(VARK_CLI_PATH) + " " + args + " >" +
                                (dir_ / "out").string() + " 2>" + (dir_ / "err").string();
        const int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp(dir_ / "out"), Slurp(dir_ / "err")};
    }

    std::filesystem::path dir_;
};

}  // namespace vark
