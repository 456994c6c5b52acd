// Record files that reach the window from outside: the command line, a
// second start's hand-over (see instance_test.cpp for the processes) and
// drag and drop.
#include <gtest/gtest.h>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <fstream>
#include <functional>

#include "app/about_dialog.h"
#include "app/application.h"
#include "app/command_line.h"
#include "app/file_dialogs.h"
#include "app/file_names.h"
#include "app/main_window.h"
#include "app_test_support.h"
#include "records/record_file.h"
#include "records/sample_records.h"

using vark::test::Child;

namespace {

using vark::test::MessageRecorder;

const QString kOpenFailed = QStringLiteral("\n    Open file failed!    \n");
const QString kDataErr = QStringLiteral("\n    File data err!    \n");

vark::CommandLine Parse(QStringList args) {
    args.prepend(QStringLiteral("/usr/bin/VARK-u"));
    return vark::ParseCommandLine(args, QStringLiteral("VARK-u"), QStringLiteral("2.0"));
}

TEST(CommandLine, HelpAndVersionEndAtOnceWithStatusZero) {
    for (const QStringList& args :
         {QStringList{"--version"}, {"-v"}, {"some.vku", "--version"}, {"--bogus", "-v"}}) {
        const vark::CommandLine line = Parse(args);
        EXPECT_EQ(line.exitStatus, 0) << args.join(' ').toStdString();
        EXPECT_EQ(line.out, QStringLiteral("VARK-u 2.0\n"));
        EXPECT_TRUE(line.err.isEmpty());
    }
    for (const QStringList& args :
         {QStringList{"--help"}, {"-h"}, {"--help-all"}, {"a", "b", "-h"}}) {
        const vark::CommandLine line = Parse(args);
        EXPECT_EQ(line.exitStatus, 0) << args.join(' ').toStdString();
        EXPECT_TRUE(line.out.contains(QStringLiteral("[FILE]"))) << line.out.toStdString();
        EXPECT_TRUE(line.out.contains(QStringLiteral("--version")));
    }
}

TEST(CommandLine, WrongUsageIsStatusTwoWithAHintOnStandardError) {
    for (const QStringList& args :
         {QStringList{"--bogus"}, {"-x"}, {"one.vku", "two.vku"}, {""}, {"--", "a", "b"}}) {
        const vark::CommandLine line = Parse(args);
        EXPECT_EQ(line.exitStatus, vark::kExitUsage) << args.join(' ').toStdString();
        EXPECT_TRUE(line.out.isEmpty());
        EXPECT_TRUE(line.err.startsWith(QStringLiteral("VARK-u: "))) << line.err.toStdString();
        EXPECT_TRUE(line.err.contains(QStringLiteral("VARK-u --help")));
        EXPECT_TRUE(line.file.isEmpty());
    }
}

TEST(CommandLine, TheArchiveIsNamedOrTurnedOffButNotBoth) {
    const vark::CommandLine named = Parse({"--archive", "/srv/a.sqlite3", "rec.vku"});
    EXPECT_EQ(named.exitStatus, -1);
    EXPECT_EQ(named.archiveFile, QStringLiteral("/srv/a.sqlite3"));
    EXPECT_FALSE(named.noArchive);
    EXPECT_TRUE(named.file.endsWith(QStringLiteral("/rec.vku")));
    const vark::CommandLine off = Parse({"--no-archive"});
    EXPECT_EQ(off.exitStatus, -1);
    EXPECT_TRUE(off.noArchive);
    EXPECT_TRUE(off.archiveFile.isEmpty());
    for (const QStringList& args : {QStringList{"--archive", "a", "--no-archive"},
                                    {"--archive"},
                                    {"--archive", ""},
                                    {"--no-archive=1"}}) {
        const vark::CommandLine line = Parse(args);
        EXPECT_EQ(line.exitStatus, vark::kExitUsage) << args.join(' ').toStdString();
        EXPECT_TRUE(line.err.contains(QStringLiteral("VARK-u --help")));
    }
}

// An empty --server turns a configured server off: it is not the same as none.
TEST(CommandLine, TheServerIsNamedOrTurnedOffOrLeftToTheSettings) {
    struct Case {
        QStringList args;
        bool given;
        const char* server;
    };
    for (const Case& c :
         {Case{{"--server", "postgresql://db/factory", "rec.vku"}, true, "postgresql://db/factory"},
          Case{{"--server=host=db dbname=factory"}, true, "host=db dbname=factory"},
          Case{{"--server", ""}, true, ""}, Case{{"rec.vku"}, false, ""}}) {
        const vark::CommandLine line = Parse(c.args);
        EXPECT_EQ(line.exitStatus, -1) << c.args.join(' ').toStdString();
        EXPECT_EQ(line.serverGiven, c.given) << c.args.join(' ').toStdString();
        EXPECT_EQ(line.server, QString::fromUtf8(c.server));
    }
    EXPECT_EQ(Parse({"--server"}).exitStatus, vark::kExitUsage);
}

TEST(CommandLine, NoArgumentRunsAsAlwaysAndAFileBecomesAbsolute) {
    const vark::CommandLine none = Parse({});
    EXPECT_EQ(none.exitStatus, -1);
    EXPECT_TRUE(none.file.isEmpty());
    EXPECT_TRUE(none.out.isEmpty() && none.err.isEmpty());

    const vark::CommandLine relative = Parse({QStringLiteral("sub/rec.vku")});
    EXPECT_EQ(relative.exitStatus, -1);
    EXPECT_EQ(relative.file, QDir::current().absoluteFilePath(QStringLiteral("sub/rec.vku")));
    EXPECT_EQ(Parse({QStringLiteral("/data/x.vku")}).file, QStringLiteral("/data/x.vku"));
    // After "--" a name that looks like an option is a file.
    const vark::CommandLine dashed = Parse({QStringLiteral("--"), QStringLiteral("--help")});
    EXPECT_EQ(dashed.exitStatus, -1);
    EXPECT_EQ(dashed.file, QDir::current().absoluteFilePath(QStringLiteral("--help")));
}

TEST(FileNames, EveryNameComesBackByteForByteAndUtf8ReadsAsText) {
    // Valid UTF-8 is plain text, as the toolkit reads it.
    for (const char* text : {"/data/run 7.vku", "/data/Prüfung ✓.vku", "/d/\xf0\x9f\x98\x80.vku"}) {
        EXPECT_EQ(vark::FileNameFromBytes(text), QString::fromUtf8(text)) << text;
    }
    // Each byte of an ill-formed sequence stands for itself.
    EXPECT_EQ(vark::FileNameFromBytes("a\xff"), QStringLiteral("a") + QChar(0xDCFF));
    EXPECT_EQ(vark::FileNameFromBytes("\xe2\x82"), QString(QChar(0xDCE2)) + QChar(0xDC82));
    const QByteArray tricky[] = {
        "\xc0\xaf",          // overlong "/"
        "\xe0\x80\xaf",      // overlong, three bytes
        "\xed\xa0\x80",      // an encoded surrogate
        "\xed\xb3\xbf",      // an encoded U+DCFF, the escape of 0xFF itself
        "\xf4\x90\x80\x80",  // beyond U+10FFFF
        "\xf0\x9f\x98",      // cut short at the end
        "\x80\xbf x",        // stray continuation bytes
        "\xe9t\xe9.vku",     // Latin-1
    };
    for (const QByteArray& bytes : tricky) {
        const QString name = vark::FileNameFromBytes(bytes);
        EXPECT_EQ(vark::FileNameToBytes(name), bytes) << bytes.toHex().toStdString();
        EXPECT_EQ(vark::ToFsPath(name).native(), bytes.toStdString());
        EXPECT_EQ(vark::FromFsPath(vark::ToFsPath(name)), name);  // the path the window shows
    }
    // Every pair of bytes round-trips.
    QByteArray pair(2, '\0');
    for (int a = 1; a < 256; ++a) {
        for (int b = 1; b < 256; ++b) {
            pair[0] = static_cast<char>(a);
            pair[1] = static_cast<char>(b);
            ASSERT_EQ(vark::FileNameToBytes(vark::FileNameFromBytes(pair)), pair)
                << pair.toHex().toStdString();
        }
    }
}

TEST(CommandLine, AFileNameThatIsNotUtf8KeepsItsBytes) {
    const vark::CommandLine line = Parse({vark::FileNameFromBytes("/data/\xe9t\xe9/./a\xff.vku")});
    EXPECT_EQ(line.exitStatus, -1);
    EXPECT_EQ(vark::FileNameToBytes(line.file), "/data/\xe9t\xe9/a\xff.vku");
}

TEST(CommandLine, WhatIsAnsweredBeforeTheWindowSystemStarts) {
    const auto raw = [](QStringList args) {
        args.prepend(QStringLiteral("VARK-u"));
        return args;
    };
    EXPECT_TRUE(vark::AsksForHelpOrVersion(raw({"--version"})));
    EXPECT_TRUE(vark::AsksForHelpOrVersion(raw({"x.vku", "-h"})));
    EXPECT_FALSE(vark::AsksForHelpOrVersion(raw({"x.vku"})));
    EXPECT_FALSE(vark::AsksForHelpOrVersion(raw({"--", "--help"})));
    EXPECT_FALSE(vark::AsksForHelpOrVersion({QStringLiteral("--help")}));  // the program itself

    EXPECT_TRUE(vark::MayHoldToolkitOptions(raw({"-platform", "offscreen", "x.vku"})));
    EXPECT_TRUE(vark::MayHoldToolkitOptions(raw({"-style=fusion"})));
    EXPECT_TRUE(vark::MayHoldToolkitOptions(raw({"--platform", "offscreen", "x.vku"})));
    EXPECT_TRUE(vark::MayHoldToolkitOptions(raw({"--style=fusion"})));
    EXPECT_FALSE(vark::MayHoldToolkitOptions(raw({"--bogus", "-x", "a", "b"})));
    EXPECT_FALSE(vark::MayHoldToolkitOptions(raw({"--platforms"})));
    EXPECT_FALSE(vark::MayHoldToolkitOptions(raw({"--", "-platform"})));
}

// --- the running program -------------------------------------------------------

class OpenFromOutside : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Write(const char* name, const vark::RecordBlock& block) const {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_EQ(vark::WriteRecordFile(QFile::encodeName(path).toStdString(), block),
                  vark::FileStatus::Ok);
        return path;
    }

    QString WriteBytes(const char* name, const std::string& bytes) const {
        const QString path = dir.filePath(QString::fromLatin1(name));
        std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << bytes;
        return path;
    }

    // Runs the program in this process with `file` on its command line; once
    // `done` holds for the main window (or after 5 s), records what the window
    // shows and closes it.
    void RunWithStartFile(const QString& file, const std::function<bool(vark::MainWindow&)>& done) {
        vark::Application app(
            dir.filePath(QStringLiteral("VARK-u-open%1").arg(QCoreApplication::applicationPid())));
        app.SetStartFile(file);
        QElapsedTimer clock;
        clock.start();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            vark::MainWindow* dlg = app.Window();
            if (dlg && dlg->isVisible() && (done(*dlg) || clock.elapsed() > 5000)) {
                poll.stop();
                window = dlg;
                shownPath = Child<QLineEdit>(*dlg, "PathEdit")->text();
                rows = dlg->RowCount();
                dlg->Exit();
            }
        });
        poll.start(20);
        EXPECT_EQ(app.InitInstance(), 0);
    }

    QTemporaryDir dir;
    MessageRecorder messages;
    const QWidget* window = nullptr;  // compared only: gone after the run
    QString shownPath;
    int rows = -1;
};

TEST_F(OpenFromOutside, StartFileOpensAsOpenDoes) {
    const QString file = Write("start.vku", vark::SampleBlock());
    RunWithStartFile(file, [](vark::MainWindow& dlg) { return !dlg.Path().isEmpty(); });
    EXPECT_EQ(shownPath, file);
    EXPECT_EQ(rows, static_cast<int>(vark::UsedSlots(vark::SampleBlock())));
    EXPECT_TRUE(messages.Texts().isEmpty());
}

TEST_F(OpenFromOutside, BadStartFileShowsOpensMessageOverAnEmptyWindow) {
    const struct {
        QString file;
        QString message;
    } cases[] = {
        {dir.filePath(QStringLiteral("missing.vku")), kOpenFailed},
        {WriteBytes("short.vku", "Kelvor"), kDataErr},
        {WriteBytes("other-case.vku", std::string("kelvorVARK-u\x01\0\0\0\0", 17)), kDataErr},
    };
    for (const auto& c : cases) {
        messages.messages.clear();
        RunWithStartFile(c.file, [this](vark::MainWindow&) { return !messages.messages.empty(); });
        ASSERT_EQ(messages.Texts(), QStringList{c.message}) << c.file.toStdString();
        // Over the window, which was already up, and it stays empty.
        EXPECT_EQ(messages.messages[0].parent, window);
        EXPECT_TRUE(shownPath.isEmpty());
        EXPECT_EQ(rows, 0);
    }
}

TEST_F(OpenFromOutside, HandedOverFileWaitsWhileADialogOfTheWindowIsUp) {
    const QString first = Write("first.vku", vark::SampleBlock());
    vark::RecordBlock one;
    vark::ClearBlock(one);
    one.count = 1;
    one.slots[0] = vark::RecordBuilder(2).Straight().Build();
    const QString handed = Write("handed.vku", one);

    vark::Application app(
        dir.filePath(QStringLiteral("VARK-u-wait%1").arg(QCoreApplication::applicationPid())));
    app.SetStartFile(first);
    QString pathWhileAboutUp;
    QString pathAfter;
    QTimer::singleShot(0, [&] {
        // Once the start file is in, the About box goes up, and a file is
        // handed over while it is.
        QTRY_VERIFY_WITH_TIMEOUT(app.Window() && !app.Window()->Path().isEmpty(), 5000);
        vark::MainWindow* dlg = app.Window();
        vark::test::WhenModal<vark::AboutDialog>([&](vark::AboutDialog* about) {
            ASSERT_TRUE(about);
            app.QueueOpen(handed);
            QTest::qWait(500);
            pathWhileAboutUp = dlg->Path();
            about->accept();
        });
        dlg->About();
        QTRY_COMPARE_WITH_TIMEOUT(dlg->Path(), handed, 5000);
        pathAfter = dlg->Path();
        EXPECT_EQ(dlg->RowCount(), 1);
        dlg->Exit();
    });
    EXPECT_EQ(app.InitInstance(), 0);
    EXPECT_EQ(pathWhileAboutUp, first);
    EXPECT_EQ(pathAfter, handed);
}

// --- drag and drop -------------------------------------------------------------

class Drops : public OpenFromOutside {
  protected:
    void SetUp() override {
        OpenFromOutside::SetUp();
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    }

    static std::unique_ptr<QMimeData> Files(const QStringList& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const QString& p : paths) {
            urls << (p.contains(QStringLiteral("://")) ? QUrl(p) : QUrl::fromLocalFile(p));
        }
        data->setUrls(urls);
        return data;
    }

    // Drags `data` over the list and drops it there; true when the window
    // took the drag.
    bool DragAndDrop(const QMimeData* data) {
        const QPointF at = Child<QTableView>(dlg, "PinList")->geometry().center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&dlg, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&dlg, &drop);
        QCoreApplication::processEvents();
        return drop.isAccepted();
    }

    vark::MainWindow dlg;
};

TEST_F(Drops, OneDroppedFileOpensLikeOpen) {
    EXPECT_TRUE(dlg.acceptDrops());
    const QString file = Write("dropped.vku", vark::SampleBlock());
    const auto data = Files({file});
    ASSERT_TRUE(DragAndDrop(data.get()));
    EXPECT_EQ(dlg.Path(), file);
    EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), file);
    EXPECT_EQ(dlg.RowCount(), static_cast<int>(vark::UsedSlots(vark::SampleBlock())));
    EXPECT_TRUE(messages.Texts().isEmpty());

    // The content decides, not the name.
    const QString renamed = dir.filePath(QStringLiteral("renamed.txt"));
    ASSERT_TRUE(QFile::copy(file, renamed));
    const auto again = Files({renamed});
    ASSERT_TRUE(DragAndDrop(again.get()));
    EXPECT_EQ(dlg.Path(), renamed);
}

TEST_F(Drops, RefusedDropKeepsWhatTheWindowShowed) {
    const QString good = Write("good.vku", vark::SampleBlock());
    const auto goodData = Files({good});
    ASSERT_TRUE(DragAndDrop(goodData.get()));
    const int shownRows = dlg.RowCount();

    const auto bad = Files({WriteBytes("bad.vku", "not a record file")});
    ASSERT_TRUE(DragAndDrop(bad.get()));
    EXPECT_EQ(messages.Texts(), QStringList{kDataErr});
    EXPECT_EQ(dlg.Path(), good);
    EXPECT_EQ(dlg.RowCount(), shownRows);
}

TEST_F(Drops, OnlyASingleLocalFileIsTaken) {
    const QString a = Write("a.vku", vark::SampleBlock());
    const QString b = Write("b.vku", vark::SampleBlock());
    const auto two = Files({a, b});
    const auto remote = Files({QStringLiteral("https://example.org/a.vku")});
    auto text = std::make_unique<QMimeData>();
    text->setText(a);
    EXPECT_FALSE(DragAndDrop(two.get()));
    EXPECT_FALSE(DragAndDrop(remote.get()));
    EXPECT_FALSE(DragAndDrop(text.get()));
    EXPECT_TRUE(dlg.Path().isEmpty());
    EXPECT_EQ(dlg.RowCount(), 0);
    EXPECT_TRUE(messages.Texts().isEmpty());
}

}  // namespace
