// vark-cli archives every upload into the user's data folder and reads the
// user's settings: the commands these tests run get a private home of their
// own, so that no test reaches the files of the user running it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "testing/temp_dir.h"

namespace vark::test {
namespace {

class PrivateHome : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        ::setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
        ::unsetenv("VARK_ARCHIVE");
    }

  private:
    TempDir dir_;
};

const auto* const kHome = ::testing::AddGlobalTestEnvironment(new PrivateHome);

}  // namespace
}  // namespace vark::test
