#include "tests/support/new_process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <thread>

namespace vark::test {
namespace {

// How RunStep tells the new process what to do, and how it answers.
constexpr const char* kStepVar = "VARK_TEST_STEP";
constexpr const char* kWordsVar = "VARK_TEST_STEP_WORDS";
constexpr const char* kAnswerVar = "VARK_TEST_STEP_ANSWER";

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::map<std::string, StepFunction>& Steps() {
    static std::map<std::string, StepFunction> steps;
    return steps;
}

// Words travel in one environment variable: each word in hexadecimal, ended
// by a comma, so that any bytes (a name that is no UTF-8, an empty word) pass.
std::string EncodeWords(const std::vector<std::string>& words) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::string& w : words) {
        for (unsigned char ch : w) {
            out += kHex[ch >> 4];
            out += kHex[ch & 15];
        }
        out += ',';
    }
    return out;
}

std::vector<std::string> DecodeWords(std::string_view text) {
    auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ',') {
            words.push_back(std::move(word));
            word.clear();
        } else if (i + 1 < text.size()) {
            word += static_cast<char>(nibble(text[i]) << 4 | nibble(text[i + 1]));
            ++i;
        }
    }
    return words;
}

// Everything the new process needs, made before the fork: the child may not
// allocate.
struct Launch {
    int program = -1;  // the program, opened by the caller
    std::vector<std::string> args;
    std::vector<std::string> env;
    int out = -1;
    int err = -1;
    int keep = -1;  // a descriptor the program keeps (RunStep's answer)
};

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

// Our environment, less what belongs to this test program's own run.
std::vector<std::string> InheritedEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view v(*e);
        if (!v.starts_with("GTEST_OUTPUT=") && !v.starts_with(kStepVar)) {
            env.emplace_back(v);
        }
    }
    return env;
}

// In the child of fork(): the parent may have threads, so nothing but
// async-signal-safe calls (and plain system calls) from here to the exec, on
// memory made before the fork.
[[noreturn]] void BecomeProgram(const Conditions& c, const Launch& l, char* const* argv,
                                char* const* envp, pid_t parent) {
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // A group of its own, so that a stop after the time limit reaches what it started.
    ::setpgid(0, 0);
    if ((l.out >= 0 && ::dup2(l.out, STDOUT_FILENO) < 0) ||
        (l.err >= 0 && ::dup2(l.err, STDERR_FILENO) < 0) ||
        (l.keep >= 0 && ::fcntl(l.keep, F_SETFD, 0) != 0)) {
        ::_exit(125);
    }
    if (c.fileSizeLimit != 0) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        const rlimit lim{c.fileSizeLimit, c.fileSizeLimit};
        if (::sigaction(SIGXFSZ, &ignore, nullptr) != 0 || ::setrlimit(RLIMIT_FSIZE, &lim) != 0) {
            ::_exit(125);
        }
    }
    const bool newUser = c.uid != static_cast<uid_t>(-1);
    const bool newGroup = c.gid != static_cast<gid_t>(-1);
    if (((newUser || newGroup) && ::setgroups(0, nullptr) != 0) ||
        (newGroup && ::setgid(c.gid) != 0) || (newUser && ::setuid(c.uid) != 0)) {
        ::_exit(125);
    }
    // Ends with the test program (set after the change of user, which clears it).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(125);
    }
    ::fexecve(l.program, argv, envp);
    ::_exit(127);
}

int WaitFor(pid_t pid, int timeoutSeconds, const std::string& what) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    auto pause = std::chrono::milliseconds(1);
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            break;
        }
        if (r < 0 && errno != EINTR) {
            std::fprintf(stderr, "%s: waitpid: %s\n", what.c_str(), std::strerror(errno));
            return -1;
        }
        if (Clock::now() > deadline) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            std::fprintf(stderr, "%s did not end within %d s: stopped\n", what.c_str(),
                         timeoutSeconds);
            return -1;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    std::fprintf(stderr, "%s ended by signal %d\n", what.c_str(),
                 WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return -1;
}

int OpenStream(const std::string& path) {
    return path.empty() ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

// Starts the program opened from `programPath`; its process id, or -1 (said
// on standard error) with `failure` the status to report.
pid_t Fork(const std::string& programPath, Launch l, const Conditions& c, const Streams& s,
           int* failure) {
    const std::string what = l.args.empty() ? programPath : l.args[0];
    *failure = -1;
    l.program = ::open(programPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (l.program < 0) {
        std::fprintf(stderr, "%s: %s\n", programPath.c_str(), std::strerror(errno));
        *failure = 127;
        return -1;
    }
    l.out = OpenStream(s.out);
    l.err = OpenStream(s.err);
    pid_t pid = -1;
    if ((s.out.empty() || l.out >= 0) && (s.err.empty() || l.err >= 0)) {
        std::vector<char*> argv = Pointers(l.args);
        std::vector<char*> envp = Pointers(l.env);
        const pid_t parent = ::getpid();
        pid = ::fork();
        if (pid == 0) {
            BecomeProgram(c, l, argv.data(), envp.data(), parent);
        }
        if (pid < 0) {
            std::fprintf(stderr, "%s: fork: %s\n", what.c_str(), std::strerror(errno));
        }
    } else {
        std::fprintf(stderr, "%s: cannot open its output files: %s\n", what.c_str(),
                     std::strerror(errno));
    }
    for (int fd : {l.program, l.out, l.err}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return pid;
}

// Starts the program opened from `programPath` and waits for it.
int Spawn(const std::string& programPath, Launch l, const Conditions& c, const Streams& s,
          int timeoutSeconds) {
    const std::string what = l.args.empty() ? programPath : l.args[0];
    int failure = -1;
    const pid_t pid = Fork(programPath, std::move(l), c, s, &failure);
    return pid > 0 ? WaitFor(pid, timeoutSeconds, what) : failure;
}

// Serves the step a new process was started for, before any test runs in it.
class StepServer : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* name = std::getenv(kStepVar);
        if (name == nullptr) {
            return;
        }
        const std::string step = name;
        const std::vector<std::string> words = DecodeWords(Variable(kWordsVar));
        const std::string answerFd = Variable(kAnswerVar);
        const int answer = answerFd.empty() ? -1 : std::atoi(answerFd.c_str());
        // What the step starts does not inherit the variables or the answer.
        ::unsetenv(kStepVar);
        ::unsetenv(kWordsVar);
        ::unsetenv(kAnswerVar);
        ::fcntl(answer, F_SETFD, FD_CLOEXEC);
        const auto it = Steps().find(step);
        if (it == Steps().end()) {
            std::fprintf(stderr, "no step named %s in this program\n", step.c_str());
            std::fflush(nullptr);
            std::_Exit(1);
        }
        const int result = it->second(words);
        const std::string text =
            (::testing::Test::HasFailure() ? "failed " : "ran ") + std::to_string(result) + "\n";
        std::fflush(nullptr);
        if (::write(answer, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            std::_Exit(1);
        }
        // Nothing of the test program's own run follows: no test, no clean-up
        // of objects the step did not make.
        std::_Exit(0);
    }
};

[[maybe_unused]] ::testing::Environment* const kServer =
    ::testing::AddGlobalTestEnvironment(new StepServer);

}  // namespace

StepRegistration::StepRegistration(const char* name, StepFunction step) {
    Steps()[name] = step;
}

int RunProgram(const std::vector<std::string>& argv, const Conditions& conditions,
               const Streams& streams, int timeoutSeconds) {
    Launch l;
    l.args = argv;
    l.env = InheritedEnvironment();
    return Spawn(argv.at(0), std::move(l), conditions, streams, timeoutSeconds);
}

StartedProgram::~StartedProgram() {
    Stop();
}

std::optional<int> StartedProgram::Wait(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ended_) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            ended_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if ((r < 0 && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

void StartedProgram::Stop() {
    if (!ended_) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        ended_ = true;
        status_ = -1;
    }
}

std::unique_ptr<StartedProgram> StartProgram(const std::vector<std::string>& argv,
                                             const Conditions& conditions, const Streams& streams,
                                             const std::vector<std::string>& environment) {
    Launch l;
    l.args = argv;
    l.env = InheritedEnvironment();
    for (const std::string& change : environment) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(l.env, [&](const std::string& e) { return e.starts_with(name + "="); });
        if (change.find('=') != std::string::npos) {
            l.env.push_back(change);
        }
    }
    int failure = -1;
    const pid_t pid = Fork(argv.at(0), std::move(l), conditions, streams, &failure);
    return pid > 0 ? std::unique_ptr<StartedProgram>(new StartedProgram(pid)) : nullptr;
}

int RunStep(const std::string& name, const std::vector<std::string>& words,
            const Conditions& conditions, int timeoutSeconds) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test == nullptr) {
        ADD_FAILURE() << "RunStep(" << name << ") outside a test";
        return -1;
    }
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    int pipeFds[2];
    if (n <= 0 || ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        ADD_FAILURE() << "step " << name << ": " << std::strerror(errno);
        return -1;
    }
    Launch l;
    // The same test selected, so that the log shows what the process is for.
    l.args = {std::string(self, static_cast<std::size_t>(n)),
              std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()};
    l.env = InheritedEnvironment();
    l.env.push_back(std::string(kStepVar) + "=" + name);
    l.env.push_back(std::string(kWordsVar) + "=" + EncodeWords(words));
    l.env.push_back(std::string(kAnswerVar) + "=" + std::to_string(pipeFds[1]));
    l.keep = pipeFds[1];
    // /proc/self/exe stays this program even when its file was replaced meanwhile.
    const int status = Spawn("/proc/self/exe", std::move(l), conditions, {}, timeoutSeconds);
    ::close(pipeFds[1]);
    std::string answer;
    char buf[64];
    ssize_t got;
    while ((got = ::read(pipeFds[0], buf, sizeof buf)) > 0) {
        answer.append(buf, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);

    int result = -1;
    if (std::sscanf(answer.c_str(), "ran %d", &result) == 1 && status == 0) {
        return result;
    }
    if (answer.starts_with("failed")) {
        ADD_FAILURE() << "step " << name << " failed an assertion (its output is above)";
    } else if (status == 125) {
        ADD_FAILURE() << "step " << name << ": the conditions could not be set";
    } else {
        ADD_FAILURE() << "step " << name << " gave no result (exit status " << status << ")";
    }
    return -1;
}

}  // namespace vark::test
