#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/about_dialog.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app_test_support.h"
#include "records/record_file.h"
#include "records/sample_records.h"

namespace {

TEST(StartUp, ApplicationNameIsTheFileNameWithoutDirectoryAndExtension) {
    EXPECT_EQ(vark::Application::AppNameFromPath(QStringLiteral("/usr/local/bin/VARK-u")),
              QStringLiteral("VARK-u"));
    EXPECT_EQ(vark::Application::AppNameFromPath(QStringLiteral("/opt/kelvor/VARK-u.bin")),
              QStringLiteral("VARK-u"));
    EXPECT_EQ(vark::Application::AppNameFromPath(QStringLiteral("relative/vark.test.exe")),
              QStringLiteral("vark.test"));
    // Lock and socket are named after the application and the user.
    const vark::Application app(QStringLiteral("/x/Tester-7"));
    const QString uid = QString::number(::getuid());
    EXPECT_TRUE(QFileInfo(app.LockFilePath()).fileName().startsWith("Tester-7-" + uid));
    EXPECT_TRUE(QFileInfo(app.ServerName()).fileName().startsWith("Tester-7-" + uid));
    EXPECT_NE(vark::Application(QStringLiteral("/x/Other")).ServerName(), app.ServerName());
    // Both live where no other user can take or block them.
    const QFileInfo where(QFileInfo(app.LockFilePath()).absolutePath());
    EXPECT_TRUE(where.isDir());
    EXPECT_FALSE(where.permissions() & (QFileDevice::WriteOther | QFileDevice::WriteGroup));
    EXPECT_EQ(QFileInfo(app.ServerName()).absolutePath(), where.absoluteFilePath());
}

TEST(StartUp, BringToFrontRestoresTheWindowAndRaisesItsModalDialog) {
    EXPECT_EQ(vark::Application::BringToFront(nullptr), nullptr);

    vark::MainWindow dlg;
    dlg.showMinimized();
    ASSERT_TRUE(dlg.isMinimized());
    EXPECT_EQ(vark::Application::BringToFront(&dlg), &dlg);
    EXPECT_FALSE(dlg.isMinimized());
    EXPECT_TRUE(dlg.isVisible());

    bool aboutInFront = false;
    vark::test::WhenModal<vark::AboutDialog>([&](vark::AboutDialog* about) {
        dlg.showMinimized();
        aboutInFront = about && vark::Application::BringToFront(&dlg) == about;
        if (about) {
            about->accept();
        }
    });
    dlg.About();
    EXPECT_TRUE(aboutInFront);
    EXPECT_FALSE(dlg.isMinimized());
}

// --- two real processes ----------------------------------------------------

// One run of the program under a name of this test's own, so that it meets
// no other instance on the machine.
class Program {
  public:
    explicit Program(const QString& executable, const QStringList& arguments = {},
                     const QString& workingDirectory = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vark.instance.info=true"));
        process_.setProcessEnvironment(env);
        process_.setProgram(executable);
        process_.setArguments(arguments);
        process_.setWorkingDirectory(workingDirectory);
        process_.start();
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    // Waits until standard error holds `text` at least `times` times.
    bool WaitFor(const QString& text, int timeoutMs = 10000, int times = 1) {
        const QDeadlineTimer deadline(timeoutMs);
        while (Log().count(text) < times) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
                return Log().count(text) >= times;
            }
            process_.waitForReadyRead(50);
        }
        return true;
    }

    QString Log() {
        log_ += QString::fromLocal8Bit(process_.readAllStandardError());
        return log_;
    }

    QProcess& process() { return process_; }

  private:
    QProcess process_;
    QString log_;
};

class TwoInstances : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        name_ = QStringLiteral("VARK-u-test%1").arg(QCoreApplication::applicationPid());
        exe_ = Copy(name_);
    }
    void TearDown() override {
        for (const QString& name : names_) {
            const vark::Application app(dir_.filePath(name));
            QFile::remove(app.LockFilePath());
            QLocalServer::removeServer(app.ServerName());
        }
    }

    QString Copy(const QString& name) {
        const QString path = dir_.filePath(name);
        EXPECT_TRUE(QFile::copy(QStringLiteral(VARK_APP_BINARY), path));
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        names_ << name;
        return path;
    }

    QTemporaryDir dir_;
    QString name_;
    QString exe_;
    QStringList names_;
};

TEST_F(TwoInstances, SecondStartHandsOverToTheFirstAndEnds) {
    Program first(exe_);
    ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown"))) << first.Log().toStdString();
    EXPECT_FALSE(first.Log().contains(QStringLiteral("activation request")));

    Program second(exe_);
    ASSERT_TRUE(second.process().waitForFinished(5000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    const QString secondLog = second.Log();
    EXPECT_TRUE(secondLog.contains(QStringLiteral("handed over"))) << secondLog.toStdString();
    EXPECT_FALSE(secondLog.contains(QStringLiteral("window shown")));

    EXPECT_TRUE(first.WaitFor(QStringLiteral("activation request: window raised")))
        << first.Log().toStdString();
    EXPECT_EQ(first.process().state(), QProcess::Running);

    // A third start hands over as well: the first keeps serving.
    Program third(exe_);
    ASSERT_TRUE(third.process().waitForFinished(5000));
    EXPECT_EQ(third.process().exitCode(), 0);
    EXPECT_TRUE(first.WaitFor(QStringLiteral("activation request"), 2000, 2));
    EXPECT_EQ(first.Log().count(QStringLiteral("activation request")), 2);
}

TEST_F(TwoInstances, CrashedFirstInstanceDoesNotBlockTheNext) {
    {
        Program first(exe_);
        ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown")));
        first.process().kill();  // no clean-up: lock file and socket stay behind
        ASSERT_TRUE(first.process().waitForFinished(5000));
    }
    ASSERT_TRUE(QFileInfo::exists(vark::Application(exe_).LockFilePath()));

    Program next(exe_);
    EXPECT_TRUE(next.WaitFor(QStringLiteral("window shown"))) << next.Log().toStdString();
    EXPECT_TRUE(next.Log().contains(QStringLiteral("first instance")));
    // And it serves a later start in turn.
    Program later(exe_);
    ASSERT_TRUE(later.process().waitForFinished(5000));
    EXPECT_EQ(later.process().exitCode(), 0);
    EXPECT_TRUE(next.WaitFor(QStringLiteral("activation request")));
}

TEST_F(TwoInstances, ExecutableWithAnExtensionIsStillOneInstance) {
    // The application name drops ".bin"; the running instance's lock must
    // still be recognised as held by a live process of this program.
    const QString exe = Copy(name_ + QStringLiteral(".bin"));
    Program first(exe);
    ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown")));
    Program second(exe);
    ASSERT_TRUE(second.process().waitForFinished(5000));
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_TRUE(second.Log().contains(QStringLiteral("handed over"))) << second.Log().toStdString();
    EXPECT_TRUE(first.WaitFor(QStringLiteral("activation request")));
}

TEST_F(TwoInstances, CopyUnderAnotherNameRunsAsItsOwnInstance) {
    Program first(exe_);
    ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown")));
    Program other(Copy(name_ + QStringLiteral("-copy")));
    EXPECT_TRUE(other.WaitFor(QStringLiteral("window shown"))) << other.Log().toStdString();
    EXPECT_EQ(other.process().state(), QProcess::Running);
    EXPECT_FALSE(first.Log().contains(QStringLiteral("activation request")));
}

TEST_F(TwoInstances, StartThroughALinkIsTheLinkedProgram) {
    // The instance is named after the program's own file, whatever link
    // started it.
    Program first(exe_);
    ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown")));
    const QString link = dir_.filePath(QStringLiteral("linked-name"));
    ASSERT_TRUE(QFile::link(exe_, link));
    Program second(link);
    ASSERT_TRUE(second.process().waitForFinished(5000));
    EXPECT_TRUE(second.Log().contains(QStringLiteral("handed over"))) << second.Log().toStdString();
    EXPECT_TRUE(first.WaitFor(QStringLiteral("activation request")));
}

// --- a file handed to the program from outside --------------------------------

TEST_F(TwoInstances, FileOnTheCommandLineOpensOnceTheWindowIsShown) {
    const QString file = dir_.filePath(QStringLiteral("start.vku"));
    ASSERT_EQ(vark::WriteRecordFile(QFile::encodeName(file).toStdString(), vark::SampleBlock()),
              vark::FileStatus::Ok);
    // Given relative to the program's working directory.
    Program first(exe_, {QStringLiteral("start.vku")}, dir_.path());
    ASSERT_TRUE(first.WaitFor(QStringLiteral("file opened"))) << first.Log().toStdString();
    const QString log = first.Log();
    EXPECT_LT(log.indexOf(QStringLiteral("window shown")),
              log.indexOf(QStringLiteral("file opened")));
    EXPECT_TRUE(log.contains(QStringLiteral("file opened: \"%1\", %2 rows")
                                 .arg(file)
                                 .arg(vark::UsedSlots(vark::SampleBlock()))))
        << log.toStdString();
}

TEST_F(TwoInstances, AFileTheRunningWindowDoesNotTakeIsReportedNotDropped) {
    Program first(exe_);
    ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown"))) << first.Log().toStdString();
    // A running window that answers nothing (stopped): the second start
    // cannot know that the file was opened.
    const qint64 pid = first.process().processId();
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGSTOP), 0);
    Program second(exe_, {QStringLiteral("lost.vku")}, dir_.path());
    const bool ended = second.process().waitForFinished(10000);
    ::kill(static_cast<pid_t>(pid), SIGCONT);
    ASSERT_TRUE(ended);
    EXPECT_EQ(second.process().exitCode(), 1);
    EXPECT_TRUE(second.Log().contains(QStringLiteral("%1 was not handed to the running window")
                                          .arg(dir_.filePath(QStringLiteral("lost.vku")))))
        << second.Log().toStdString();
    // Without a file there is nothing to lose: a plain second start ends
    // quietly, as it always has.
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGSTOP), 0);
    Program plain(exe_);
    const bool plainEnded = plain.process().waitForFinished(10000);
    ::kill(static_cast<pid_t>(pid), SIGCONT);
    ASSERT_TRUE(plainEnded);
    EXPECT_EQ(plain.process().exitCode(), 0);
}

TEST_F(TwoInstances, SecondStartHandsItsFileToTheRunningWindow) {
    Program first(exe_);
    ASSERT_TRUE(first.WaitFor(QStringLiteral("window shown"))) << first.Log().toStdString();

    // Another working directory, a name with a blank and no extension: the
    // running window gets the absolute path and goes by the content.
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    const QString file = other.filePath(QStringLiteral("cable run 7"));
    vark::RecordBlock three;
    vark::ClearBlock(three);
    three.count = 3;
    for (int i = 0; i < 3; ++i) {
        three.slots[i] = vark::RecordBuilder(4).Straight().Build();
    }
    ASSERT_EQ(vark::WriteRecordFile(QFile::encodeName(file).toStdString(), three),
              vark::FileStatus::Ok);

    Program second(exe_, {QStringLiteral("cable run 7")}, other.path());
    ASSERT_TRUE(second.process().waitForFinished(5000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_TRUE(second.Log().contains(QStringLiteral("handed over"))) << second.Log().toStdString();
    EXPECT_FALSE(second.Log().contains(QStringLiteral("window shown")));

    EXPECT_TRUE(first.WaitFor(QStringLiteral("file opened: \"%1\", 3 rows").arg(file)))
        << first.Log().toStdString();
    // The window came to the front as with a plain second start.
    EXPECT_TRUE(first.Log().contains(QStringLiteral("activation request: window raised")));
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(HandOver, OpenRequestCarriesAnyPathWholeOnOneLine) {
    const QStringList paths = {
        QStringLiteral("/tmp/a.vku"),
        QStringLiteral("/tmp/with blank/and%25 percent.vku"),
        QStringLiteral("/tmp/line\nbreak.vku"),
        QString::fromUtf8("/tmp/Prüfung ✓.vku"),
        QStringLiteral("/tmp/activate\n"),
    };
    for (const QString& path : paths) {
        const QByteArray line = vark::Application::OpenRequest(path);
        EXPECT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(line.count('\n'), 1) << line.toStdString();
        EXPECT_EQ(vark::Application::PathOfOpenRequest(line), path) << line.toStdString();
    }
    // Anything else is not an open request.
    EXPECT_TRUE(vark::Application::PathOfOpenRequest("activate\n").isEmpty());
    EXPECT_TRUE(vark::Application::PathOfOpenRequest("open /tmp/cut-short").isEmpty());
    EXPECT_TRUE(vark::Application::PathOfOpenRequest("open \n").isEmpty());
    EXPECT_TRUE(vark::Application::PathOfOpenRequest("opened /x\n").isEmpty());
}

}  // namespace
