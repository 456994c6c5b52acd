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
    std::optional<vark::test::TempDir> runtime;
    if (qEnvironmentVariableIsEmpty("VARK_TEST_STEP")) {
        runtime.emplace();
        if (!runtime->path().empty()) {
            qputenv("XDG_RUNTIME_DIR", QByteArray(runtime->path().c_str()));
            // Settings the window programs remember go there too, never to
            // the user's own settings file.
            qputenv("XDG_CONFIG_HOME", QByteArray((runtime->path() / "config").c_str()));
        }
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
