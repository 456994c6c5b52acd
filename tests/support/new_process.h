// Steps of a test that need a process of their own: another user, a limit on
// file sizes. The process is always a new program (the test program started
// again, or the program under test), with its conditions set between fork and
// exec: a forked copy of a test program that may have started threads (Qt
// has) must not go on running its code, since only the forking thread exists
// in the copy and whatever the others held stays held.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vark::test {

inline constexpr uid_t kNobody = 65534;

// What a new process is given before its program starts.
struct Conditions {
    uid_t uid = static_cast<uid_t>(-1);  // -1: the caller's (groups are dropped otherwise)
    gid_t gid = static_cast<gid_t>(-1);  // -1: the caller's
    // Files may not grow past this many bytes (0: no limit); such a write
    // fails with EFBIG instead of killing the program.
    rlim_t fileSizeLimit = 0;
};

inline Conditions AsUser(uid_t uid, gid_t gid) {
    return {uid, gid, 0};
}
inline Conditions Nobody() {
    return AsUser(kNobody, kNobody);
}

// Where a new program's standard output and error go: files made or emptied
// by the caller (empty: the caller's own streams).
struct Streams {
    std::string out;
    std::string err;
};

// Runs the program at `argv[0]` with the rest as its arguments under
// `conditions` and waits for it, at most `timeoutSeconds` (then it and what it
// started are killed). The program is opened by the caller, so another user
// runs it even from a folder that user cannot enter. Returns its exit status,
// or -1 when it did not exit normally or was killed (said on standard error);
// 125 when the conditions could not be set, 127 when it could not be started.
int RunProgram(const std::vector<std::string>& argv, const Conditions& conditions,
               const Streams& streams = {}, int timeoutSeconds = 40);

// A program started by StartProgram, running beside the test; it and what it
// started are killed when the object ends, unless it has ended by then.
class StartedProgram {
  public:
    explicit StartedProgram(pid_t pid) : pid_(pid) {}
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    pid_t pid() const { return pid_; }
    // Its exit status once it has ended (-1 when a signal ended it), waiting
    // at most `timeoutMs`; nothing while it still runs.
    std::optional<int> Wait(int timeoutMs);
    // Kills it and what it started, unless it has ended.
    void Stop();

  private:
    pid_t pid_;
    bool ended_ = false;
    int status_ = -1;
};

// Starts the program at `argv[0]` as RunProgram does and returns at once.
// `environment` changes what it inherits: "NAME=value" sets NAME, "NAME"
// alone removes it. Null (the reason on standard error) when it could not be
// started.
std::unique_ptr<StartedProgram> StartProgram(const std::vector<std::string>& argv,
                                             const Conditions& conditions,
                                             const Streams& streams = {},
                                             const std::vector<std::string>& environment = {});

using StepFunction = int (*)(const std::vector<std::string>& words);

// Runs the step registered as `name` (VARK_TEST_STEP) with `words`, in a new
// process under `conditions`: the test program is started again for the
// running test and serves the step before any test would run there, then ends
// with the step's result. Returns that result. A step that did not give one
// (unknown, killed, stopped after `timeoutSeconds`, a failed assertion in it)
// fails the running test and returns -1.
int RunStep(const std::string& name, const std::vector<std::string>& words,
            const Conditions& conditions = {}, int timeoutSeconds = 40);

// Makes a step known to RunStep; VARK_TEST_STEP declares one.
struct StepRegistration {
    StepRegistration(const char* name, StepFunction step);
};

}  // namespace vark::test

// VARK_TEST_STEP(Name) { ...; return result; } defines a step that RunStep
// can start in a new process. Its body sees `words` (what RunStep was given)
// and builds everything else it needs itself: nothing of the test that asked
// for it exists in the new process.
#define VARK_TEST_STEP(name)                                                      \
    static int VarkTestStep_##name(const std::vector<std::string>& words);        \
    static const ::vark::test::StepRegistration kVarkTestStepRegistration_##name( \
        #name, &VarkTestStep_##name);                                             \
    static int VarkTestStep_##name([[maybe_unused]] const std::vector<std::string>& words)
