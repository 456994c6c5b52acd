// Other users for the cases where who owns what is the point. The test
// programs run as root; each step of another user is a new program started
// through vark-run-as, which changes its ids before anything else runs.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vark::test {

// Two ordinary users with no entry in the user database: the system only
// looks at the numbers.
inline constexpr uid_t kUserA = 2001;  // plants links and files
inline constexpr uid_t kUserB = 2002;  // saves through them

// The vark-run-as program.
const std::string& RunAsPath();

// A shell command prefix that runs what follows as `uid` (group `uid` too).
std::string AsUser(uid_t uid);

// Runs `argv` as `uid` (group `uid`), without a shell; its exit status, or -1
// when it did not end normally.
int RunAs(uid_t uid, const std::vector<std::string>& argv);

// A name quoted for /bin/sh.
std::string ShellQuote(const std::string& s);

}  // namespace vark::test
