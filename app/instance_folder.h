// Where the window program keeps the names by which a second start finds the
// running one (its lock file and its local socket): a folder that only this
// user can enter, never a folder others can write to, where they could take
// or block the names or listen in place of the window.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vark {

// What the folder is chosen from: the environment, as the caller read it.
struct InstancePlaces {
    std::string runtime;  // $XDG_RUNTIME_DIR
    std::string cache;    // $XDG_CACHE_HOME
    std::string home;     // $HOME, else the user's home in the user database
    std::string host;     // this machine's name (a home may be shared by machines)

    static InstancePlaces FromEnvironment();
};

// The folder, held open from the moment it was checked: every name in it is
// reached through the open folder, so the folder checked is the folder used.
class InstanceFolder {
  public:
    // The runtime folder when it is a folder of this user's with no access
    // for anyone else, not a link; otherwise "vark-u/instance-HOST" in the
    // user's cache folder, made with mode 0700 where missing and checked the
    // same way. Folders are made only inside folders of this user's that
    // others cannot write to. None when neither will do.
    static InstanceFolder Find(const InstancePlaces& places);

    InstanceFolder() = default;
    InstanceFolder(InstanceFolder&& other) noexcept;
    InstanceFolder& operator=(InstanceFolder&& other) noexcept;
    InstanceFolder(const InstanceFolder&) = delete;
    InstanceFolder& operator=(const InstanceFolder&) = delete;
    ~InstanceFolder();

    bool ok() const { return fd_ >= 0; }
    // The folder as named in the file system, for messages.
    const std::string& path() const { return path_; }
    // Why a place was passed over, or why there is no folder at all.
    const std::vector<std::string>& notes() const { return notes_; }

    // The path by which `name` in the folder is reached; empty without one.
    std::string PathOf(const std::string& name) const;

    enum class Kind { Missing, Ours, Foreign };
    // Whether `name` in the folder is a regular file (or, with `socket`, a
    // socket) of this user's; any other thing there is not to be trusted.
    Kind Check(const std::string& name, bool socket) const;

  private:
    int fd_ = -1;
    std::string path_;
    std::string reach_;  // the folder as PathOf starts names
    std::vector<std::string> notes_;
};

// The user at the other end of a connected local socket.
std::optional<unsigned> PeerUser(long long socketDescriptor);

// The user id running this program (the one the checks compare with).
unsigned ThisUser();

}  // namespace vark
