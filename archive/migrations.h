// The numbered schema migrations of each engine, kept as SQL files beside the
// code (sql/ENGINE/NNN_name.sql) and built into the program.
#pragma once

#include <string_view>
#include <vector>

namespace vark::archive {

struct Migration {
    std::string_view engine;  // "sqlite", later "postgresql"
    int version = 0;          // 1, 2, ... without gaps
    std::string_view name;    // the file's name
    std::string_view sql;
};

// The migrations of `engine`, by ascending version.
std::vector<Migration> MigrationsFor(std::string_view engine);

// The newest schema version this program knows for `engine`.
int LatestVersion(std::string_view engine);

}  // namespace vark::archive
