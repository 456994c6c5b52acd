// The new processes that permission and full-disk cases rely on: they must
// really run as the other user with the limit, pass every word through, and
// turn a hang or a failed assertion into a failure rather than a pass.
#include "tests/support/new_process.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "testing/temp_dir.h"

namespace vark::test {
namespace {

namespace fs = std::filesystem;

// What the process is: user, group, supplementary groups, file-size limit and
// whether an oversize write is survived.
VARK_TEST_STEP(DescribeProcess) {
    rlimit lim{};
    ::getrlimit(RLIMIT_FSIZE, &lim);
    struct sigaction now {};
    ::sigaction(SIGXFSZ, nullptr, &now);
    const std::string text =
        std::to_string(::getuid()) + ":" + std::to_string(::getgid()) + " groups " +
        std::to_string(::getgroups(0, nullptr)) + " limit " +
        (lim.rlim_cur == RLIM_INFINITY ? "none" : std::to_string(lim.rlim_cur)) +
        (now.sa_handler == SIG_IGN ? " xfsz ignored" : "");
    std::ofstream(words.at(0)) << text;
    return 7;
}

// Gives back how many words came and whether they are the ones expected.
VARK_TEST_STEP(CheckWords) {
    const std::vector<std::string> expected{"", "a,b", std::string("\xff\x01 \n", 4), "=x"};
    return static_cast<int>(words.size()) * 10 + (words == expected ? 1 : 0);
}

VARK_TEST_STEP(Hang) {
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}

VARK_TEST_STEP(FailAnAssertion) {
    EXPECT_EQ(words.size(), 99u);
    return 0;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(NewProcess, StepsRunAsTheUserAndWithTheLimitAsked) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::all);
    const fs::path out = dir.path() / "who";
    EXPECT_EQ(RunStep("DescribeProcess", {out}), 7);
    EXPECT_EQ(Slurp(out), std::to_string(::getuid()) + ":" + std::to_string(::getgid()) +
                              " groups " + std::to_string(::getgroups(0, nullptr)) + " limit none");

    Conditions c = Nobody();
    c.fileSizeLimit = 4096;
    const fs::path nobodys = dir.path() / "nobody";
    EXPECT_EQ(RunStep("DescribeProcess", {nobodys}, c), 7);
    EXPECT_EQ(Slurp(nobodys), "65534:65534 groups 0 limit 4096 xfsz ignored");
    struct stat st {};
    ASSERT_EQ(::stat(nobodys.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
}

TEST(NewProcess, WordsOfAnyBytesArriveUnchanged) {
    EXPECT_EQ(RunStep("CheckWords", {"", "a,b", std::string("\xff\x01 \n", 4), "=x"}), 41);
    EXPECT_EQ(RunStep("CheckWords", {}), 0);
}

// gtest-spi's checks may not refer to local variables.
int RunHang() {
    return RunStep("Hang", {}, {}, 1);
}
int RunFailing() {
    return RunStep("FailAnAssertion", {});
}
int RunUnknown() {
    return RunStep("NoSuchStep", {});
}

TEST(NewProcess, AHangAFailedAssertionOrAnUnknownStepFailsTheTest) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(RunHang(), -1), "gave no result");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(RunFailing(), -1), "failed an assertion");
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(RunUnknown(), -1), "gave no result");
}

TEST(NewProcess, ProgramsRunFromFoldersTheUserCannotEnterWithTheirStreams) {
    TempDir dir;
    fs::permissions(dir.path(), fs::perms::owner_all);
    const fs::path program = dir.path() / "sh";
    fs::copy_file("/bin/sh", program);
    fs::permissions(program, fs::perms::all);
    TempDir open;
    fs::permissions(open.path(), fs::perms::all);
    const fs::path out = open.path() / "out";
    const fs::path err = open.path() / "err";
    EXPECT_EQ(RunProgram({program, "-c", "id -u; echo oops >&2; exit 3"}, Nobody(), {out, err}), 3);
    EXPECT_EQ(Slurp(out), "65534\n");
    EXPECT_EQ(Slurp(err), "oops\n");

    EXPECT_EQ(RunProgram({"/bin/sh", "-c", "kill -9 $$"}, {}), -1);
    EXPECT_EQ(RunProgram({(dir.path() / "missing").string()}, {}), 127);
}

}  // namespace
}  // namespace vark::test
