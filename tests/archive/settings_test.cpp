// The settings file as QSettings writes it, and how the archive's place,
// station and operator are chosen from it, the environment and the command line.
#include <gtest/gtest.h>

#include <map>

#include "archive/settings.h"

namespace vark::archive {
namespace {

TEST(IniSettings, ReadsWhatQSettingsWritesForPlainStrings) {
    const IniSettings s = IniSettings::Parse(
        "[General]\n"
        "archive_file=/data/archive.sqlite3\n"
        "station=\"Line 2, bench 3\"\n"               // a comma is quoted
        "operator=\" Ann \"\n"                        // outer blanks are quoted
        "note=first\\nsecond\\t\\\"x\\\" \\\\ end\n"  // escapes
        "lot=\\x4e\\xe9\n"                            // code units
        "utf8=M\xc3\xbcller\n"                        // Qt 6 writes UTF-8 as is
        "at=@@home\n"                                 // a string starting with @
        "bytes=@ByteArray(\\0\\x1)\n"                 // not a plain string
        "size=@Variant(\\0\\0\\0\\x15\\0\\0\\0\\x1)\n"
        "list=a, b\n"  // a string list
        "empty=\n"
        "\r\n"
        "[archive]\n"
        "file=/other\r\n"
        "; a comment\n"
        "[General]\n"
        "archive_enabled=false\n");
    EXPECT_EQ(s.String("archive_file"), "/data/archive.sqlite3");
    EXPECT_EQ(s.String("station"), "Line 2, bench 3");
    EXPECT_EQ(s.String("operator"), " Ann ");
    EXPECT_EQ(s.String("note"), "first\nsecond\t\"x\" \\ end");
    EXPECT_EQ(s.String("lot"), "N\xc3\xa9");
    EXPECT_EQ(s.String("utf8"), "M\xc3\xbcller");
    EXPECT_EQ(s.String("at"), "@home");
    EXPECT_EQ(s.String("bytes"), std::nullopt);
    EXPECT_EQ(s.String("size"), std::nullopt);
    EXPECT_EQ(s.String("list"), std::nullopt);
    EXPECT_EQ(s.String("empty"), "");
    EXPECT_EQ(s.String("archive/file"), "/other");
    EXPECT_EQ(s.String("file"), std::nullopt);
    EXPECT_EQ(s.Bool("archive_enabled"), false);
    EXPECT_EQ(s.Bool("station"), std::nullopt);
    EXPECT_EQ(s.String("missing"), std::nullopt);
}

struct Resolve : ::testing::Test {
    std::map<std::string, std::string, std::less<>> env;
    Surroundings around{[this](std::string_view name) -> std::optional<std::string> {
                            const auto it = env.find(name);
                            return it == env.end() ? std::nullopt
                                                   : std::optional<std::string>(it->second);
                        },
                        "/home/ann/.local/share", "bench7", "ann"};
};

TEST_F(Resolve, DefaultsAreTheDataFolderTheHostAndTheLogin) {
    const ArchiveConfig c = ResolveArchiveConfig({}, around, {});
    EXPECT_TRUE(c.enabled);
#ifdef _WIN32
    EXPECT_EQ(c.file, "/home/ann/.local/share\\vark-u\\archive.sqlite3");
#else
    EXPECT_EQ(c.file, "/home/ann/.local/share/vark-u/archive.sqlite3");
#endif
    EXPECT_EQ(c.station, "bench7");
    EXPECT_EQ(c.operatorName, "ann");
    EXPECT_EQ(c.busyTimeoutMs, 5000);
}

TEST_F(Resolve, CommandLineBeatsEnvironmentBeatsSettings) {
    const IniSettings settings = IniSettings::Parse(
        "[General]\narchive_file=/s.sqlite3\nstation=S\noperator=O\narchive_wait_ms=250\n");
    ArchiveConfig c = ResolveArchiveConfig(settings, around, {});
    EXPECT_EQ(c.file, "/s.sqlite3");
    EXPECT_EQ(c.station, "S");
    EXPECT_EQ(c.operatorName, "O");
    EXPECT_EQ(c.busyTimeoutMs, 250);

    env["VARK_ARCHIVE"] = "/e.sqlite3";
    EXPECT_EQ(ResolveArchiveConfig(settings, around, {}).file, "/e.sqlite3");

    ArchiveOverrides o;
    o.file = "/c.sqlite3";
    o.operatorName = "bob";
    c = ResolveArchiveConfig(settings, around, o);
    EXPECT_EQ(c.file, "/c.sqlite3");
    EXPECT_EQ(c.operatorName, "bob");
    EXPECT_EQ(c.station, "S");
    // An empty variable names nothing.
    env["VARK_ARCHIVE"] = "";
    EXPECT_EQ(ResolveArchiveConfig(settings, around, {}).file, "/s.sqlite3");
}

TEST_F(Resolve, TheServerFromCommandLineEnvironmentOrSettingsAndEmptyMeansNone) {
    const IniSettings settings =
        IniSettings::Parse("[General]\nserver=\"postgresql://s@db/factory?sslmode=verify-full\"\n");
    EXPECT_EQ(ResolveArchiveConfig({}, around, {}).server, "");
    EXPECT_EQ(ResolveArchiveConfig(settings, around, {}).server,
              "postgresql://s@db/factory?sslmode=verify-full");
    env["VARK_ARCHIVE_SERVER"] = "service=factory";
    EXPECT_EQ(ResolveArchiveConfig(settings, around, {}).server, "service=factory");
    ArchiveOverrides o;
    o.server = "postgresql:///plant";
    EXPECT_EQ(ResolveArchiveConfig(settings, around, o).server, "postgresql:///plant");
    // Set but empty: this station forwards nowhere, whatever the settings say.
    env["VARK_ARCHIVE_SERVER"] = "";
    EXPECT_EQ(ResolveArchiveConfig(settings, around, {}).server, "");
}

TEST_F(Resolve, TurnedOffBySettingsOrCommandLineAndOnByNamingAFile) {
    const IniSettings off = IniSettings::Parse("[General]\narchive_enabled=false\n");
    EXPECT_FALSE(ResolveArchiveConfig(off, around, {}).enabled);
    ArchiveOverrides named;
    named.file = "/c.sqlite3";
    EXPECT_TRUE(ResolveArchiveConfig(off, around, named).enabled);
    env["VARK_ARCHIVE"] = "/e.sqlite3";
    EXPECT_TRUE(ResolveArchiveConfig(off, around, {}).enabled);
    ArchiveOverrides disabled;
    disabled.disabled = true;
    EXPECT_FALSE(ResolveArchiveConfig({}, around, disabled).enabled);
    // Empty names in the settings fall back to the machine's.
    const IniSettings blank = IniSettings::Parse("[General]\nstation=\noperator=\n");
    EXPECT_EQ(ResolveArchiveConfig(blank, around, {}).station, "bench7");
    EXPECT_EQ(ResolveArchiveConfig(blank, around, {}).operatorName, "ann");
}

}  // namespace
}  // namespace vark::archive
