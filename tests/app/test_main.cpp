#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <optional>

#include "testing/temp_dir.h"

int main(int argc, char** argv) {
    // Headless unless the caller chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The window programs of this run, in this process and those it starts,
    // keep their instance lock and socket in a runtime folder of the run's
    // own: none meets a window the user has open, none leaves files behind.
    // (A step in a new process keeps what it was given.)
    // So do their archive and settings: no test reaches the user's.
    std::optional<vark::test::TempDir> runtime;
    std::optional<vark::test::TempDir> home;
    if (qEnvironmentVariableIsEmpty("VARK_TEST_STEP")) {
        runtime.emplace();
        if (!runtime->path().empty()) {
            qputenv("XDG_RUNTIME_DIR", QByteArray(runtime->path().c_str()));
        }
        home.emplace();
        if (!home->path().empty()) {
            qputenv("XDG_DATA_HOME", QByteArray((home->path() / "data").c_str()));
            qputenv("XDG_CONFIG_HOME", QByteArray((home->path() / "config").c_str()));
        }
        qunsetenv("VARK_ARCHIVE");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
