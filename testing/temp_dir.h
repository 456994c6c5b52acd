// A fresh private folder (mode 0700, an unguessable name) under the system's
// temporary folder or under `base`, removed with its contents when the object
// goes.
#pragma once

#include <filesystem>

namespace vark::test {

class TempDir {
  public:
    TempDir();
    explicit TempDir(const std::filesystem::path& base);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Empty when the folder could not be made.
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace vark::test
