// The window forwarding to the factory server: uploads from the tester
// simulator over real pseudo-terminals, archived in a real SQLite file and
// forwarded to a private PostgreSQL server of the test's own, which is
// stopped, killed and restarted under the window; the status bar's control
// says what waits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/forward_worker.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/station_archive.h"
#include "app/upload_dialog.h"
#include "app_test_support.h"
#include "archive/outbox.h"
#include "archive/server/forwarder.h"
#include "archive/server/server_archive.h"
#include "archive/settings.h"
#include "archive/sqlite_archive.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/pg_server.h"
#include "testing/sim_process.h"
#include "testing/temp_dir.h"
#include "ui/link_texts.h"

using vark::test::Child;

namespace {

namespace fs = std::filesystem;
using vark::archive::OpenOptions;
using vark::archive::RunQuery;
using vark::archive::SqliteArchive;

const QString kSuccess = QString::fromLatin1(vark::kMsgReceiveSuccess);
const QString kTimeout = QString::fromLatin1(vark::kMsgReceiveTimeout);

vark::RecordBlock Cables(int n, int seed) {
    vark::RecordBlock block;
    vark::ClearBlock(block);
    block.count = static_cast<std::uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        vark::RecordBuilder b(4 + i);
        b.Straight().Grounds();
        block.slots[i] = b.Reserved(static_cast<std::uint8_t>(seed)).Build();
    }
    return block;
}

vark::BridgePort Tester(const std::string& node) {
    vark::BridgePort d;
    d.vendorId = vark::kVendorSiliconBridge;
    d.productId = 0xEA60;
    d.serial = "VARK 0042";
    d.path = node;
    d.tester = true;
    return d;
}

// One private server for the whole program; a database per test.
class ServerWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string why;
        server_ = vark::test::PgServer::Start(why).release();
        ASSERT_NE(server_, nullptr) << why;
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(server_, nullptr);
        static int n = 0;
        db_ = "window" + std::to_string(++n);
        ASSERT_TRUE(server_->CreateDatabase(db_));
        const auto init = vark::archive::InitServer(server_->Url(db_), "test");
        ASSERT_TRUE(init.ok()) << init.error().message;
        file = dir.path() / "station.sqlite3";
        main.show();
        vark::UploadDialog::SetDiscoveryOverride([this] { return devices; });
        previous_ = vark::SetMessageInterceptor([this](QWidget*, const QString& text) {
            seen << text;
            return 0x400;
        });
    }
    void TearDown() override {
        main.SetArchive(nullptr);
        store.reset();
        vark::SetMessageInterceptor(previous_);
        vark::UploadDialog::SetDiscoveryOverride({});
        std::string why;
        // A test that stopped or killed the server leaves it running.
        if (server_ && !server_->Sql("postgres", "SELECT 1")) {
            EXPECT_TRUE(server_->StartAgain(&why)) << why;
        }
    }

    vark::archive::ArchiveConfig Config(const std::string& user = "station") const {
        vark::archive::ArchiveConfig c;
        c.enabled = true;
        c.file = file.string();
        c.station = "bench-3";
        c.operatorName = "ann";
        c.busyTimeoutMs = 2000;
        c.server = server_->Url(db_, user);
        return c;
    }
    void Attach(const vark::archive::ArchiveConfig& config) {
        main.SetArchive(nullptr);
        store = std::make_unique<vark::StationArchive>(config);
        main.SetArchive(store.get());
    }

    // An upload of `block` from a simulator of its own, until its outcome's
    // box; true when it was Receive success.
    bool Upload(const vark::RecordBlock& block) {
        const fs::path records = dir.path() / ("sim" + std::to_string(++sims_) + ".vku");
        EXPECT_EQ(vark::WriteRecordFile(records, block), vark::FileStatus::Ok);
        vark::test::SimProcess sim({"--file", records.string(), "--fast"});
        EXPECT_FALSE(sim.device().empty());
        devices = {Tester(sim.device())};
        seen.clear();
        vark::test::WhenModal<vark::UploadDialog>([&](vark::UploadDialog* dlg) {
            if (dlg == nullptr) {
                ADD_FAILURE() << "no Upload Data dialog";
                return;
            }
            Child<QPushButton>(*dlg, "UploadDataButton")->click();
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return seen.contains(kSuccess) || seen.contains(kTimeout); }, 15000));
            dlg->reject();
        });
        main.Upload();
        return seen.contains(kSuccess);
    }

    QString StatusText() const { return Child<QToolButton>(main, "ArchiveStatus")->text(); }
    QString StatusTip() const { return Child<QToolButton>(main, "ArchiveStatus")->toolTip(); }
    bool WaitForStatus(const QRegularExpression& pattern, int ms = 20000) const {
        return QTest::qWaitFor([&] { return pattern.match(StatusText()).hasMatch(); }, ms);
    }

    std::string ServerSql(const std::string& sql) const {
        std::string out, why;
        EXPECT_TRUE(server_->Sql(db_, sql, &out, &why)) << why;
        while (!out.empty() && out.back() == '\n') {
            out.pop_back();
        }
        return out;
    }

    // Every run of the station once on the server, with the same bytes.
    void ExpectServerHoldsTheStation(std::size_t runs) const {
        OpenOptions o;
        o.mode = OpenOptions::Mode::Read;
        auto local = SqliteArchive::Open(file.string(), o);
        ASSERT_TRUE(local.ok()) << local.error().message;
        RunQuery all;
        all.withRepeats = true;
        all.withVoided = true;
        const auto list = local.value()->List(all);
        ASSERT_TRUE(list.ok());
        ASSERT_EQ(list->size(), runs);
        auto server = vark::archive::ServerArchive::Open(server_->Url(db_, "reader"));
        ASSERT_TRUE(server.ok()) << server.error().message;
        EXPECT_EQ(ServerSql("SELECT count(*) FROM run"), std::to_string(runs));
        for (const auto& r : *list) {
            EXPECT_EQ(ServerSql("SELECT count(*) FROM run WHERE uuid = '" + r.uuid + "'"), "1");
            const auto theirs = (*server)->ExportBytes(r.uuid);
            ASSERT_TRUE(theirs.ok()) << theirs.error().message;
            EXPECT_EQ(*theirs, local.value()->ExportBytes(r.uuid).value());
        }
    }

    static vark::test::PgServer* server_;
    vark::test::TempDir dir;
    std::string db_;
    fs::path file;
    std::vector<vark::BridgePort> devices;
    vark::MainWindow main;
    std::unique_ptr<vark::StationArchive> store;
    QStringList seen;

  private:
    vark::MessageInterceptor previous_;
    int sims_ = 0;
};

vark::test::PgServer* ServerWindow::server_ = nullptr;

const QRegularExpression kUpToDate(QStringLiteral(R"(^Archive: \d+ runs? \(server up to date\)$)"));

TEST_F(ServerWindow, UploadsReachTheServerAndTheControlSaysItIsUpToDate) {
    Attach(Config());
    ASSERT_TRUE(Upload(Cables(3, 1)));
    ASSERT_TRUE(Upload(Cables(5, 2)));
    EXPECT_TRUE(WaitForStatus(
        QRegularExpression(QStringLiteral("^Archive: 2 runs \\(server up to date\\)$"))))
        << StatusText().toStdString();
    ExpectServerHoldsTheStation(2);
    EXPECT_TRUE(StatusTip().contains(QStringLiteral("Everything archived here is on the server")))
        << StatusTip().toStdString();
}

// Down before the window starts, back, killed under it, back again: the
// uploads go on throughout, the control says what waits and why, and in
// the end every run is on the server exactly once.
TEST_F(ServerWindow, AServerAwayKeepsUploadsGoingAndEverythingArrivesOnceWhenItIsBack) {
    ASSERT_TRUE(server_->Stop());
    Attach(Config());
    ASSERT_TRUE(Upload(Cables(2, 1)));
    ASSERT_TRUE(Upload(Cables(3, 2)));
    EXPECT_TRUE(WaitForStatus(QRegularExpression(QStringLiteral(
        R"(^2 runs waiting for the server \(last try \d\d:\d\d: no server there\)$)"))))
        << StatusText().toStdString();
    EXPECT_TRUE(StatusTip().contains(QStringLiteral("Uploads go on"))) << StatusTip().toStdString();

    std::string why;
    ASSERT_TRUE(server_->StartAgain(&why)) << why;
    // On the retry schedule, without anything new archived.
    EXPECT_TRUE(WaitForStatus(kUpToDate)) << StatusText().toStdString();
    ExpectServerHoldsTheStation(2);

    // Killed while the window runs (its connection is now a dead one).
    server_->Kill();
    ASSERT_TRUE(Upload(Cables(4, 3)));
    EXPECT_TRUE(WaitForStatus(
        QRegularExpression(QStringLiteral(R"(^1 run waiting for the server \(last try )"))))
        << StatusText().toStdString();
    ASSERT_TRUE(server_->StartAgain(&why)) << why;
    ASSERT_TRUE(Upload(Cables(6, 4)));
    EXPECT_TRUE(WaitForStatus(kUpToDate)) << StatusText().toStdString();
    ExpectServerHoldsTheStation(4);
}

TEST_F(ServerWindow, AWrongPasswordIsSaidInTheControlAndTheQueueKept) {
    const fs::path passFile = dir.path() / "pgpass";
    const auto writePass = [&](const char* password) {
        std::ofstream(passFile, std::ios::trunc) << "*:*:*:vark_pw:" << password << "\n";
        ::chmod(passFile.c_str(), 0600);
    };
    writePass("not-the-one");
    ::setenv("PGPASSFILE", passFile.c_str(), 1);
    Attach(Config("vark_pw"));
    ASSERT_TRUE(Upload(Cables(2, 5)));
    EXPECT_TRUE(WaitForStatus(QRegularExpression(QStringLiteral(
        R"(^1 run waiting for the server \(last try \d\d:\d\d: wrong password\)$)"))))
        << StatusText().toStdString();
    EXPECT_FALSE(StatusTip().contains(QStringLiteral("not-the-one")));
    EXPECT_EQ(ServerSql("SELECT count(*) FROM run"), "0");

    writePass("right-one");
    store->ForwardSoon();
    EXPECT_TRUE(WaitForStatus(kUpToDate)) << StatusText().toStdString();
    ::unsetenv("PGPASSFILE");
    ExpectServerHoldsTheStation(1);
}

// Closing the window in the middle of a large forward: the worker stops in a
// moment, and whatever it had marked sent is on the server; what it had not
// is sent by the next forward, nothing twice.
TEST_F(ServerWindow, ClosingDuringAForwardIsPromptAndLosesNothing) {
    constexpr int kRuns = 8000;
    {
        OpenOptions quick;
        quick.durable = false;
        auto station = SqliteArchive::Open(file.string(), quick);
        ASSERT_TRUE(station.ok());
        for (int i = 0; i < kRuns; ++i) {
            vark::archive::NewRun run;
            run.started = run.ended = 1700000000000 + i;
            run.station = "bench-3";
            run.lot = "BIG";
            run.block = Cables(1 + i % 10, i % 251);
            ASSERT_TRUE(station.value()->Commit(run).ok());
        }
    }
    auto forward = std::make_unique<vark::StationArchive>(Config());
    // Wait for the first batches to land, then close under the rest.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ServerSql("SELECT count(*) FROM run") != "0"; }, 20000));
    QElapsedTimer closing;
    closing.start();
    forward.reset();
    EXPECT_LT(closing.elapsed(), vark::ForwardWorker::kStopWaitMs + 500);
    // Ended by abandoning the batch, not left running.
    EXPECT_TRUE(vark::ForwardWorker::LastStopJoined());

    OpenOptions o;
    o.mode = OpenOptions::Mode::Read;
    auto local = SqliteArchive::Open(file.string(), o);
    ASSERT_TRUE(local.ok());
    const auto left = local.value()->Outbox();
    ASSERT_TRUE(left.ok());
    const std::int64_t onServer = std::stoll(ServerSql("SELECT count(*) FROM run"));
    // Marked sent only what the server committed.
    EXPECT_GE(onServer, kRuns - left->runs);
    EXPECT_LT(onServer, kRuns) << "the forward ended before the close; nothing was abandoned";

    vark::archive::ForwarderOptions again;
    again.archive = file.string();
    again.server = server_->Url(db_, "station");
    const auto out = vark::archive::Forwarder(again).ForwardNow();
    EXPECT_TRUE(out.ok()) << out.error;
    EXPECT_EQ(ServerSql("SELECT count(*), count(DISTINCT uuid) FROM run"),
              std::to_string(kRuns) + "|" + std::to_string(kRuns));
}

// The program itself forwards to the server its command line or its settings
// file names.
TEST_F(ServerWindow, TheProgramForwardsToTheServerItsCommandLineOrSettingsName) {
    const fs::path settings = vark::archive::SettingsFilePath();
    fs::create_directories(settings.parent_path());
    const QString url = QString::fromStdString(server_->Url(db_, "station"));
    struct Case {
        QStringList arguments;
        std::string settings;
    };
    int n = 0;
    for (const Case& c :
         {Case{{"--server", url}, "[General]\nserver=postgresql://nowhere.invalid/x\n"},
          Case{{}, "[General]\nserver=\"" + url.toStdString() + "\"\n"}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        std::ofstream(settings, std::ios::trunc) << c.settings;
        const fs::path archive = dir.path() / ("program" + std::to_string(++n) + ".sqlite3");
        std::string uuid;
        {
            auto a = SqliteArchive::Open(archive.string());
            ASSERT_TRUE(a.ok());
            vark::archive::NewRun run;
            run.started = run.ended = 1700000000000 + n;
            run.block = Cables(2, n);
            const auto done = a.value()->Commit(run);
            ASSERT_TRUE(done.ok());
            uuid = done->uuid;
        }
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vark.instance.info=true"));
        env.remove(QStringLiteral("VARK_ARCHIVE_SERVER"));
        program.setProcessEnvironment(env);
        program.start(
            QStringLiteral(VARK_APP_BINARY),
            QStringList{"--archive", QString::fromStdString(archive.string())} + c.arguments);
        const QString state = QStringLiteral("archive state: Archive: 1 run (server up to date)");
        QString log;
        const QDeadlineTimer deadline(15000);
        while (!log.contains(state) && !deadline.hasExpired() &&
               program.state() != QProcess::NotRunning) {
            program.waitForReadyRead(50);
            log += QString::fromLocal8Bit(program.readAllStandardError());
        }
        EXPECT_TRUE(log.contains(state)) << log.toStdString();
        program.kill();
        program.waitForFinished(5000);
        EXPECT_EQ(ServerSql("SELECT count(*) FROM run WHERE uuid = '" + uuid + "'"), "1");
    }
    fs::remove(settings);
}

}  // namespace
