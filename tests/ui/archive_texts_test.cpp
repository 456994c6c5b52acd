// The window's words for the archive and the Run details as typed.
#include <gtest/gtest.h>

#include "ui/archive_texts.h"

namespace vark {
namespace {

TEST(ArchiveTexts, CountsAreGroupedByThousands) {
    struct Case {
        std::int64_t n;
        const char* text;
    };
    for (const Case& c :
         {Case{0, "0"}, Case{7, "7"}, Case{999, "999"}, Case{1000, "1,000"}, Case{1204, "1,204"},
          Case{100000, "100,000"}, Case{1234567, "1,234,567"}, Case{-1204, "-1,204"}}) {
        EXPECT_EQ(GroupedCount(c.n), c.text) << c.n;
    }
}

TEST(ArchiveTexts, TheStatusSaysRunsOffOrUnreadableAndAFailedUpload) {
    using Kind = ArchiveState::Kind;
    struct Case {
        ArchiveState state;
        const char* text;
    };
    for (const Case& c : {
             Case{{Kind::Ready, 1204, "/a", "", ""}, "Archive: 1,204 runs"},
             Case{{Kind::Ready, 1, "/a", "", ""}, "Archive: 1 run"},
             Case{{Kind::Ready, 0, "/a", "", ""}, "Archive: 0 runs"},
             Case{{Kind::Off, 0, "/a", "", ""}, "Archive: off"},
             Case{{Kind::Unreadable, 0, "/a", "is damaged", ""}, "Archive: unreadable"},
             Case{{Kind::Ready, 3, "/a", "", "the disk is full"},
                  "Archive: 3 runs (last upload NOT archived)"},
         }) {
        EXPECT_EQ(ArchiveStatusText(c.state), c.text);
    }
    const ArchiveState failed{Kind::Unreadable, 0, "/srv/a.sqlite3", "is damaged (x)",
                              "the disk is full"};
    const std::string tip = ArchiveStatusTip(failed);
    for (const char* part : {"/srv/a.sqlite3", "is damaged (x)", "the disk is full"}) {
        EXPECT_NE(tip.find(part), std::string::npos) << part << " in " << tip;
    }
}

// The control with a factory server: what waits wins over the count; the
// count claims the server up to date only after a clean try with nothing
// new since.
TEST(ArchiveTexts, WithAServerTheStatusSaysWhatWaitsOrThatTheServerIsUpToDate) {
    using Kind = ArchiveState::Kind;
    const std::string waiting =
        "3 runs waiting for the server (last try 10:42: connection refused)";
    struct Case {
        Kind kind;
        bool known, sending;
        std::int64_t waiting, conflicts;
        const char* error;
        const char* notArchived;
        std::string text;
    };
    for (const Case& c : {
             Case{Kind::Ready, true, false, 3, 0, "refused", "", waiting},
             Case{Kind::Ready, true, false, 0, 1, "", "", waiting},
             Case{Kind::Ready, true, false, 3, 0, "refused", "full",
                  waiting + " (last upload NOT archived)"},
             Case{Kind::Ready, true, false, 0, 0, "", "",
                  "Archive: 1,204 runs (server up to date)"},
             Case{Kind::Ready, true, true, 0, 0, "", "", "Archive: 1,204 runs"},
             Case{Kind::Ready, false, false, 0, 0, "", "", "Archive: 1,204 runs"},
             Case{Kind::Ready, true, false, 0, 0, "no archive on the server", "",
                  "Archive: 1,204 runs"},
             Case{Kind::Counting, true, false, 0, 0, "", "", "Archive: ..."},
             Case{Kind::Unreadable, true, false, 0, 0, "", "", "Archive: unreadable"},
             Case{Kind::Off, true, false, 3, 0, "", "", "Archive: off"},
         }) {
        ArchiveState state;
        state.kind = c.kind;
        state.runs = 1204;
        state.notArchived = c.notArchived;
        state.server = {"postgresql://db/factory",
                        c.known,
                        c.sending,
                        c.waiting,
                        c.conflicts,
                        waiting,
                        c.error};
        EXPECT_EQ(ArchiveStatusText(state), c.text) << c.text;
    }
    ArchiveState none;
    none.kind = Kind::Ready;
    none.runs = 2;
    none.server.known = true;  // no server name: none configured
    EXPECT_EQ(ArchiveStatusText(none), "Archive: 2 runs");
    EXPECT_EQ(ArchiveStatusTip(none).find("Server"), std::string::npos);

    ArchiveState failing;
    failing.kind = Kind::Ready;
    failing.file = "/a";
    failing.server = {"postgresql://db/factory",
                      true,
                      false,
                      3,
                      0,
                      waiting,
                      "cannot reach the server postgresql://db/factory:\nconnection refused\n"};
    const std::string tip = ArchiveStatusTip(failing);
    for (const char* part : {"/a", "Server: postgresql://db/factory", waiting.c_str(),
                             "Last try failed: cannot reach the server postgresql://db/factory: "
                             "connection refused",
                             "Uploads go on"}) {
        EXPECT_NE(tip.find(part), std::string::npos) << part << " in " << tip;
    }
}

TEST(ArchiveTexts, TypedDetailsBecomeOneLineValuesWithTheStationsOperatorForNone) {
    struct Case {
        RunDetails typed;
        RunDetails clean;
    };
    for (const Case& c : {
             Case{{" L-1 ", "\tHX-1040\n", "bob"}, {"L-1", "HX-1040", "bob"}},
             Case{{"a\nb", "p\r\nq", " "}, {"a b", "p  q", "ann"}},
             Case{{"", "", ""}, {"", "", "ann"}},
             Case{{"W-17 / lot 3", "Ünïcode", "m.keller"}, {"W-17 / lot 3", "Ünïcode", "m.keller"}},
         }) {
        EXPECT_EQ(CleanRunDetails(c.typed, "ann"), c.clean) << c.typed.lot;
    }
}

TEST(ArchiveTexts, TheNotArchivedMessageKeepsTheReasonOnOneLine) {
    const std::string text = NotArchivedText("the archive /a is damaged\n(database disk image)");
    EXPECT_NE(text.find("NOT archived"), std::string::npos);
    EXPECT_NE(text.find("the archive /a is damaged (database disk image)"), std::string::npos)
        << text;
    EXPECT_EQ(text.front(), '\n');
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace vark
