// Which folder holds the instance lock and socket, and which names in it are
// trusted. Root runs these, so other users' folders are made by giving them
// away (chown); nothing here depends on permissions being enforced.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/instance_folder.h"
#include "testing/temp_dir.h"

namespace vark {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOther = 2001;

bool Has(const std::vector<std::string>& notes, const std::string& text) {
    for (const std::string& n : notes) {
        if (n.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string Notes(const InstanceFolder& f) {
    std::string all;
    for (const std::string& n : f.notes()) {
        all += n + "\n";
    }
    return all;
}

class InstanceFolderChoice : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::geteuid(), 0u) << "the test program must run as root";
        base_ = dir_.path();
        fs::permissions(base_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
    }

    fs::path Folder(const char* name, mode_t mode, uid_t owner = 0) const {
        const fs::path p = base_ / name;
        fs::create_directories(p);
        EXPECT_EQ(::chmod(p.c_str(), mode), 0);
        EXPECT_EQ(::chown(p.c_str(), owner, owner), 0);
        return p;
    }

    // Places with only a home (no runtime folder, no cache variable).
    InstancePlaces HomeOnly(const fs::path& home) const {
        InstancePlaces p;
        p.home = home;
        p.host = "bench-7";
        return p;
    }

    test::TempDir dir_;
    fs::path base_;
};

TEST_F(InstanceFolderChoice, TheRuntimeFolderServesOnlyWhenItIsTheUsersAlone) {
    const fs::path good = Folder("run-good", 0700);
    InstancePlaces places = HomeOnly(Folder("home", 0755));
    places.runtime = good;
    InstanceFolder found = InstanceFolder::Find(places);
    ASSERT_TRUE(found.ok()) << Notes(found);
    EXPECT_EQ(found.path(), good.string());
    EXPECT_FALSE(fs::exists(base_ / "home/.cache"));

    const fs::path fallback = base_ / "home/.cache/vark-u/instance-bench-7";
    const fs::path link = base_ / "run-link";
    fs::create_directory_symlink(good, link);
    const struct {
        std::string runtime;
        std::string why;
    } passedOver[] = {
        {Folder("run-open", 0755), "mode 0755, not 0700"},
        {Folder("run-group", 0770), "mode 0770, not 0700"},
        {Folder("run-others", 0700, kOther), "owned by uid 2001"},
        {link, "a symbolic link"},
        {"run-good", "is not an absolute path"},
        {base_ / "run-missing", "No such file or directory"},
        {"", "$XDG_RUNTIME_DIR is not set"},
    };
    for (const auto& c : passedOver) {
        places.runtime = c.runtime;
        found = InstanceFolder::Find(places);
        ASSERT_TRUE(found.ok()) << c.runtime << "\n" << Notes(found);
        EXPECT_EQ(found.path(), fallback.string()) << c.runtime;
        EXPECT_TRUE(Has(found.notes(), c.why)) << c.runtime << "\n" << Notes(found);
    }
}

TEST_F(InstanceFolderChoice, TheCacheFolderIsMadePrivateAndNothingElseWillDo) {
    const fs::path home = Folder("home", 0755);
    InstanceFolder found = InstanceFolder::Find(HomeOnly(home));
    ASSERT_TRUE(found.ok()) << Notes(found);
    const fs::path made = home / ".cache/vark-u/instance-bench-7";
    EXPECT_EQ(found.path(), made.string());
    for (const fs::path& p : {home / ".cache", home / ".cache/vark-u", made}) {
        struct stat st {};
        ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << p;
    }
    // Found again as it is; another machine sharing the home gets its own.
    EXPECT_EQ(InstanceFolder::Find(HomeOnly(home)).path(), made.string());
    InstancePlaces other = HomeOnly(home);
    other.host = "bench/8";
    EXPECT_EQ(InstanceFolder::Find(other).path(),
              (home / ".cache/vark-u/instance-bench_8").string());
    // $XDG_CACHE_HOME wins when it is an absolute path, and is made too.
    InstancePlaces cache = HomeOnly(home);
    cache.cache = base_ / "xdg-cache";
    EXPECT_EQ(InstanceFolder::Find(cache).path(),
              (base_ / "xdg-cache/vark-u/instance-bench-7").string());
    cache.cache = "relative/cache";
    EXPECT_EQ(InstanceFolder::Find(cache).path(), made.string());

    // The folder itself opened to others, given away or swapped for a link.
    ASSERT_EQ(::chmod(made.c_str(), 0711), 0);
    found = InstanceFolder::Find(HomeOnly(home));
    EXPECT_FALSE(found.ok());
    EXPECT_TRUE(Has(found.notes(), "mode 0711, not 0700")) << Notes(found);
    ASSERT_EQ(::chmod(made.c_str(), 0700), 0);
    ASSERT_EQ(::chown(made.c_str(), kOther, kOther), 0);
    EXPECT_TRUE(Has(InstanceFolder::Find(HomeOnly(home)).notes(), "owned by uid 2001"));
    fs::rename(made, home / "elsewhere");
    fs::create_directory_symlink(Folder("private", 0700), made);
    found = InstanceFolder::Find(HomeOnly(home));
    EXPECT_FALSE(found.ok());
    EXPECT_TRUE(Has(found.notes(), "a symbolic link")) << Notes(found);

    // Folders are not made where others write or in another user's folder.
    const fs::path shared = Folder("shared", 01777);
    found = InstanceFolder::Find(HomeOnly(shared));
    EXPECT_FALSE(found.ok());
    EXPECT_TRUE(Has(found.notes(), "writable by everyone")) << Notes(found);
    EXPECT_FALSE(fs::exists(shared / ".cache"));
    const fs::path othersHome = Folder("home-a", 0755, kOther);
    found = InstanceFolder::Find(HomeOnly(othersHome));
    EXPECT_FALSE(found.ok());
    EXPECT_TRUE(Has(found.notes(), "owned by uid 2001")) << Notes(found);
    EXPECT_FALSE(fs::exists(othersHome / ".cache"));
    // A cache folder of another user's, or one everyone may write to.
    const fs::path givenAway = Folder("home-c", 0755);
    Folder("home-c/.cache", 0700, kOther);
    EXPECT_FALSE(InstanceFolder::Find(HomeOnly(givenAway)).ok());
    const fs::path openCache = Folder("home-d", 0755);
    Folder("home-d/.cache", 0777);
    EXPECT_FALSE(InstanceFolder::Find(HomeOnly(openCache)).ok());
    EXPECT_FALSE(fs::exists(openCache / ".cache/vark-u"));

    InstancePlaces none;
    found = InstanceFolder::Find(none);
    EXPECT_FALSE(found.ok());
    EXPECT_TRUE(Has(found.notes(), "no cache folder")) << Notes(found);
    EXPECT_EQ(found.PathOf("x"), "");
}

TEST_F(InstanceFolderChoice, NamesInItAreTrustedOnlyWhenTheyAreTheUsersOwn) {
    InstancePlaces places;
    places.runtime = Folder("run", 0700);
    const InstanceFolder folder = InstanceFolder::Find(places);
    ASSERT_TRUE(folder.ok()) << Notes(folder);
    using Kind = InstanceFolder::Kind;
    const fs::path run = base_ / "run";

    EXPECT_EQ(folder.Check("lock", false), Kind::Missing);
    std::ofstream(run / "lock") << "1\n";
    EXPECT_EQ(folder.Check("lock", false), Kind::Ours);
    EXPECT_EQ(folder.Check("lock", true), Kind::Foreign);  // not a socket
    std::ofstream(run / "given") << "1\n";
    ASSERT_EQ(::chown((run / "given").c_str(), kOther, kOther), 0);
    EXPECT_EQ(folder.Check("given", false), Kind::Foreign);
    fs::create_symlink(run / "lock", run / "link");
    EXPECT_EQ(folder.Check("link", false), Kind::Foreign);
    ASSERT_EQ(::mkfifo((run / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(folder.Check("fifo", false), Kind::Foreign);

    // A socket made through the folder's path, which stays short however
    // deep the folder is.
    const std::string socketPath = folder.PathOf("socket");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(s);
    EXPECT_TRUE(fs::is_socket(run / "socket"));
    EXPECT_EQ(folder.Check("socket", true), Kind::Ours);
    ASSERT_EQ(::lchown((run / "socket").c_str(), kOther, kOther), 0);
    EXPECT_EQ(folder.Check("socket", true), Kind::Foreign);

    // The folder that was checked is the one used, even after a swap.
    fs::rename(run, base_ / "moved");
    Folder("run", 0777);
    std::ofstream(folder.PathOf("after-the-swap")) << "x";
    EXPECT_TRUE(fs::exists(base_ / "moved/after-the-swap"));
    EXPECT_FALSE(fs::exists(base_ / "run/after-the-swap"));
}

}  // namespace
}  // namespace vark
