#include "archive/migrations.h"

namespace vark::archive {

extern const Migration kEmbeddedMigrations[];
extern const int kEmbeddedMigrationCount;

std::vector<Migration> MigrationsFor(std::string_view engine) {
    std::vector<Migration> out;
    for (int i = 0; i < kEmbeddedMigrationCount; ++i) {
        if (kEmbeddedMigrations[i].engine == engine) {
            out.push_back(kEmbeddedMigrations[i]);
        }
    }
    return out;  // the files are embedded in name order, so by version
}

int LatestVersion(std::string_view engine) {
    const auto all = MigrationsFor(engine);
    return all.empty() ? 0 : all.back().version;
}

}  // namespace vark::archive
