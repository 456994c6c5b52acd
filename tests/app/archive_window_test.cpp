// The window and the station's archive: uploads from the tester simulator
// over real pseudo-terminals archived in a real SQLite file, the Run details,
// the status bar's control and archived runs opened in the window. Another
// user and a full disk are met in new processes.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <QAction>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/compare_view.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/station_archive.h"
#include "app/upload_dialog.h"
#include "app_test_support.h"
#include "archive/settings.h"
#include "archive/sqlite_archive.h"
#include "records/pin_map.h"
#include "records/record_file.h"
#include "records/sample_records.h"
#include "testing/sim_process.h"
#include "testing/temp_dir.h"
#include "tests/support/new_process.h"
#include "ui/link_texts.h"

using vark::test::Child;

namespace {

namespace fs = std::filesystem;
using vark::archive::OpenOptions;
using vark::archive::RunQuery;
using vark::archive::SqliteArchive;

const QString kSuccess = QString::fromLatin1(vark::kMsgReceiveSuccess);
const QString kTimeout = QString::fromLatin1(vark::kMsgReceiveTimeout);

// `n` cables of different pin counts, so that no two records are alike.
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

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
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

vark::archive::ArchiveConfig ConfigFor(const fs::path& file) {
    vark::archive::ArchiveConfig c;
    c.enabled = true;
    c.file = file.string();
    c.station = "bench-3";
    c.operatorName = "ann";
    c.busyTimeoutMs = 300;
    return c;
}

std::unique_ptr<SqliteArchive> Reader(const fs::path& file) {
    OpenOptions options;
    options.mode = OpenOptions::Mode::Read;
    auto opened = SqliteArchive::Open(file.string(), options);
    return opened ? std::move(opened.value()) : nullptr;
}

// Every run the file holds, repeats and voided ones too, newest first;
// nothing for a file that cannot be read (none for one not made).
std::vector<vark::archive::RunSummary> RunsIn(const fs::path& file) {
    auto reader = Reader(file);
    if (!reader) {
        return {};
    }
    RunQuery q;
    q.withRepeats = true;
    q.withVoided = true;
    auto runs = reader->List(q);
    return runs ? *runs : std::vector<vark::archive::RunSummary>{};
}

// An archive with one run of its own.
void Seed(const fs::path& file) {
    auto opened = SqliteArchive::Open(file.string());
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    vark::archive::NewRun run;
    run.started = run.ended = 1700000000000;
    run.station = "seed";
    run.lot = "SEED";
    run.block = Cables(2, 99);
    ASSERT_TRUE(opened.value()->Commit(run).ok());
}

// The Upload command of `main`: `fill` sets the dialog's fields, then Upload
// Data is pressed (when `press`) and the dialog closed once `done` holds.
void UploadCommand(vark::MainWindow& main, const std::function<void(vark::UploadDialog&)>& fill,
                   bool press, const std::function<bool()>& done) {
    vark::test::WhenModal<vark::UploadDialog>([&](vark::UploadDialog* dlg) {
        if (dlg == nullptr) {
            ADD_FAILURE() << "no Upload Data dialog";
            return;
        }
        if (fill) {
            fill(*dlg);
        }
        if (press) {
            Child<QPushButton>(*dlg, "UploadDataButton")->click();
            EXPECT_TRUE(QTest::qWaitFor(done, 15000));
        }
        dlg->reject();
    });
    main.Upload();
}

void Type(vark::UploadDialog& dlg, const char* lot, const char* part, const char* who) {
    Child<QLineEdit>(dlg, "LotEdit")->setText(QString::fromUtf8(lot));
    Child<QLineEdit>(dlg, "PartEdit")->setText(QString::fromUtf8(part));
    Child<QLineEdit>(dlg, "OperatorEdit")->setText(QString::fromUtf8(who));
}

bool Ends(const QStringList& texts) {
    return texts.contains(kSuccess) || texts.contains(kTimeout);
}

// An upload through a window of a new process (another user, a full disk)
// into the archive words[0] from the tester on words[1]. Its result: the
// list's rows when the success box was followed by one saying that nothing
// was archived, naming the file; 100 and more otherwise. With words[2]
// "settings-unwritable" the status line must also say that the Run details
// could not be kept.
VARK_TEST_STEP(WindowUploadIntoArchive) {
    const vark::BridgePort tester = Tester(words.at(1));
    vark::UploadDialog::SetDiscoveryOverride([tester] { return std::vector{tester}; });
    vark::test::MessageRecorder messages;
    vark::StationArchive store(ConfigFor(words.at(0)));
    vark::MainWindow main;
    main.SetArchive(&store);
    UploadCommand(main, {}, true, [&] { return Ends(messages.Texts()); });
    const QStringList texts = messages.Texts();
    for (const QString& t : texts) {
        std::cerr << "box: " << t.toStdString() << '\n';
    }
    const qsizetype at = texts.indexOf(kSuccess);
    if (at < 0 || at + 2 != texts.size()) {
        return 100 + static_cast<int>(texts.size());
    }
    const QString after = texts.back();
    if (!after.contains(QStringLiteral("NOT archived")) ||
        !after.contains(QString::fromStdString(words.at(0)))) {
        return 150;
    }
    if (words.size() > 2 && words[2] == "settings-unwritable" &&
        !Child<QStatusBar>(main, "StatusBar")
             ->currentMessage()
             .contains(QStringLiteral("could not be kept in the settings file"))) {
        return 160;
    }
    return main.RowCount();
}

class ArchiveWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        main.show();
        std::error_code ignored;
        fs::remove(vark::archive::SettingsFilePath(), ignored);
        file = dir.path() / "station" / "archive.sqlite3";
        vark::UploadDialog::SetDiscoveryOverride([this] { return devices; });
        previous_ = vark::SetMessageInterceptor([this](QWidget*, const QString& text) {
            seen.push_back({text, main.RowCount(), RunsIn(file).size()});
            return 0x400;
        });
    }
    void TearDown() override {
        vark::SetMessageInterceptor(previous_);
        vark::UploadDialog::SetDiscoveryOverride({});
    }

    void Attach(const vark::archive::ArchiveConfig& config) {
        main.SetArchive(nullptr);
        store = std::make_unique<vark::StationArchive>(config);
        main.SetArchive(store.get());
    }
    void Attach() { Attach(ConfigFor(file)); }

    std::unique_ptr<vark::test::SimProcess> StartSim(const vark::RecordBlock& block,
                                                     std::vector<std::string> args) {
        const fs::path records = dir.path() / ("sim" + std::to_string(++sims_) + ".vku");
        EXPECT_EQ(vark::WriteRecordFile(records, block), vark::FileStatus::Ok);
        args.insert(args.begin(), {"--file", records.string()});
        auto sim = std::make_unique<vark::test::SimProcess>(args);
        EXPECT_FALSE(sim->device().empty());
        devices = {Tester(sim->device())};
        return sim;
    }

    QStringList Texts() const {
        QStringList out;
        for (const auto& s : seen) {
            out << s.text;
        }
        return out;
    }
    // The Upload command with Upload Data pressed, until its outcome's box.
    void Upload(const std::function<void(vark::UploadDialog&)>& fill = {}) {
        UploadCommand(main, fill, true, [this] { return Ends(Texts()); });
    }

    QString StatusText() const { return Child<QToolButton>(main, "ArchiveStatus")->text(); }
    bool WaitForStatus(const QString& text) const {
        return QTest::qWaitFor([&] { return StatusText() == text; }, 5000);
    }

    struct Seen {
        QString text;
        int rows = -1;
        std::size_t runs = 0;  // in the archive when the box came up
    };

    vark::test::TempDir dir;
    fs::path file;
    std::vector<vark::BridgePort> devices;
    vark::MainWindow main;
    std::unique_ptr<vark::StationArchive> store;
    std::vector<Seen> seen;

  private:
    vark::MessageInterceptor previous_;
    int sims_ = 0;
};

TEST_F(ArchiveWindow, AnUploadIsArchivedBeforeItsSuccessAndExportsAsSaveWrites) {
    Attach();
    const vark::RecordBlock three = Cables(3, 7);
    auto sim = StartSim(three, {"--fast"});
    Upload([](vark::UploadDialog& dlg) { Type(dlg, "  24-0305-A ", "HX-1040", "m.keller"); });

    const QStringList texts = Texts();
    ASSERT_EQ(texts.count(kSuccess), 1) << texts.join('|').toStdString();
    const Seen& at = seen[static_cast<std::size_t>(texts.indexOf(kSuccess))];
    EXPECT_EQ(at.runs, 1u);  // committed before the box
    EXPECT_EQ(at.rows, 3);
    EXPECT_EQ(texts.last(), kSuccess);  // and nothing said after it

    const auto runs = RunsIn(file);
    ASSERT_EQ(runs.size(), 1u);
    const auto& run = runs[0];
    EXPECT_EQ(run.lot, "24-0305-A");
    EXPECT_EQ(run.part, "HX-1040");
    EXPECT_EQ(run.operatorName, "m.keller");
    EXPECT_EQ(run.station, "bench-3");
    EXPECT_EQ(run.source, vark::archive::Source::Upload);
    EXPECT_EQ(run.port, sim->device());
    EXPECT_EQ(run.testerSerial, "VARK 0042");
    EXPECT_EQ(run.records, 3);
    EXPECT_GT(run.started, 0);
    EXPECT_LE(run.started, run.ended);

    // The archived bytes are the record file Save writes for the list.
    vark::test::ScriptedFileDialogs dialogs;
    dialogs.saveAnswer = QString::fromStdString((dir.path() / "saved.vku").string());
    main.SaveRecordFile();
    const auto exported = Reader(file)->ExportBytes(run.uuid);
    ASSERT_TRUE(exported.ok());
    EXPECT_EQ(*exported, Slurp(dir.path() / "saved.vku"));
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Archive: 1 run"))) << StatusText().toStdString();

    // The same memory again: kept as a repeat, counted once.
    seen.clear();
    Upload();
    EXPECT_EQ(Texts().last(), kSuccess);
    const auto again = RunsIn(file);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].repeatOf, run.uuid);
    EXPECT_EQ(again[0].lot, "24-0305-A");  // the details were remembered
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Archive: 1 run"))) << StatusText().toStdString();
}

TEST_F(ArchiveWindow, ATimedOutUploadArchivesNothing) {
    Attach();
    auto sim = StartSim(Cables(5, 5), {"--fast", "--stall-after", "600"});
    const vark::RecordBlock before = vark::SampleBlock();
    main.SetBlock(before);
    Upload();
    EXPECT_EQ(Texts().last(), kTimeout);
    EXPECT_EQ(Texts().count(kSuccess), 0);
    EXPECT_FALSE(fs::exists(file));  // not even made
    EXPECT_EQ(std::memcmp(main.Block().data(), before.data(), vark::kBlockSize), 0);
    EXPECT_TRUE(WaitForStatus(QStringLiteral("Archive: 0 runs"))) << StatusText().toStdString();
}

// Each archive the window cannot write: the records are shown, the success
// box comes, then one saying they were not archived and why; the file is
// left exactly as it was.
TEST_F(ArchiveWindow, AnArchiveThatCannotBeWrittenIsSaidAndLeftAsItWas) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> spoil;
        const char* why;
    };
    sqlite3* holder = nullptr;
    const std::vector<Case> cases = {
        {"damaged",
         [](const fs::path& f) {
             auto a = SqliteArchive::Open(f.string());
             for (int i = 0; a && i < 20; ++i) {
                 vark::archive::NewRun run;
                 run.block = Cables(40, i);
                 ASSERT_TRUE(a.value()->Commit(run).ok());
             }
             a.value().reset();
             std::string bytes = Slurp(f);
             ASSERT_GT(bytes.size(), 40000u);
             for (std::size_t i = 4096; i < bytes.size(); i += 4096) {
                 std::memset(bytes.data() + i, 0x5A, 100);
             }
             std::ofstream(f, std::ios::binary | std::ios::trunc) << bytes;
         },
         "is damaged"},
        {"newer",
         [](const fs::path& f) {
             Seed(f);
             sqlite3* db = nullptr;
             ASSERT_EQ(sqlite3_open(f.c_str(), &db), SQLITE_OK);
             EXPECT_EQ(sqlite3_exec(db, "INSERT INTO schema_version VALUES (99, 1, 'future')",
                                    nullptr, nullptr, nullptr),
                       SQLITE_OK);
             sqlite3_close(db);
         },
         "newer version"},
        {"locked",
         [&holder](const fs::path& f) {
             Seed(f);
             ASSERT_EQ(sqlite3_open(f.c_str(), &holder), SQLITE_OK);
             ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr),
                       SQLITE_OK);
         },
         "held by another program"},
        {"not an archive",
         [](const fs::path& f) {
             ASSERT_EQ(vark::WriteRecordFile(f, vark::SampleBlock()), vark::FileStatus::Ok);
         },
         "is not an archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        file = dir.path() / (std::string(c.name) + ".sqlite3");
        c.spoil(file);
        const std::string before = Slurp(file);
        Attach();
        auto sim = StartSim(Cables(4, 4), {"--fast"});
        seen.clear();
        Upload([](vark::UploadDialog& dlg) { Type(dlg, "L", "P", "O"); });
        if (holder) {
            sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(holder);
            holder = nullptr;
        }
        const QStringList texts = Texts();
        ASSERT_GE(texts.size(), 2);
        EXPECT_EQ(texts[texts.size() - 2], kSuccess) << texts.join('|').toStdString();
        EXPECT_TRUE(texts.last().contains(QStringLiteral("NOT archived")))
            << texts.last().toStdString();
        EXPECT_TRUE(texts.last().contains(QString::fromLatin1(c.why)))
            << texts.last().toStdString();
        EXPECT_TRUE(texts.last().contains(QString::fromStdString(file.string())));
        EXPECT_EQ(seen.back().rows, 4);  // the records are in the list all the same
        EXPECT_EQ(Slurp(file), before);
        EXPECT_TRUE(StatusText().endsWith(QStringLiteral("(last upload NOT archived)")))
            << StatusText().toStdString();
        main.SetArchive(nullptr);
        store.reset();
    }
}

TEST_F(ArchiveWindow, AReadOnlyArchiveOfAnotherUserIsSaidAndLeftAsItWas) {
    // Root writes whatever the modes say: the upload runs as user 65534 in a
    // new process, which may read the archive but not write it, nor the
    // settings in this run's private folder.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::create_directories(file.parent_path());
    fs::permissions(file.parent_path(), fs::perms::owner_all | fs::perms::group_read |
                                            fs::perms::group_exec | fs::perms::others_read |
                                            fs::perms::others_exec);
    Seed(file);
    const std::string before = Slurp(file);
    auto sim = StartSim(Cables(4, 6), {"--fast"});
    ASSERT_EQ(::chmod(sim->device().c_str(), 0666), 0);
    EXPECT_EQ(vark::test::RunStep("WindowUploadIntoArchive",
                                  {file.string(), sim->device(), "settings-unwritable"},
                                  vark::test::Nobody()),
              4);
    EXPECT_EQ(Slurp(file), before);
    EXPECT_EQ(RunsIn(file).size(), 1u);
}

// A full disk two ways: a small file system filled up where this process
// may mount one, and otherwise (or with VARK_TEST_FULL_DISK_BY_LIMIT=1) a
// file-size limit on the new process: room for SQLite's shared memory, not
// for the log of a run.
TEST_F(ArchiveWindow, AFullDiskIsSaidAndTheArchiveLeftAsItWas) {
    const fs::path disk = dir.path() / "disk";
    fs::create_directories(disk);
    const char* byLimit = std::getenv("VARK_TEST_FULL_DISK_BY_LIMIT");
    const bool mounted = (byLimit == nullptr || std::string(byLimit) != "1") &&
                         ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=512k,mode=0777") == 0;
    struct Unmount {
        fs::path p;
        bool on;
        ~Unmount() {
            if (on) {
                ::umount2(p.c_str(), MNT_DETACH);
            }
        }
    } unmount{disk, mounted};
    file = disk / "archive.sqlite3";
    Seed(file);
    if (mounted) {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string chunk(4096, 'x');
        while (filler.write(chunk.data(), chunk.size()) && filler.flush()) {
        }
    }
    const std::string before = Slurp(file);
    auto sim = StartSim(Cables(60, 8), {"--fast"});
    vark::test::Conditions limits;
    limits.fileSizeLimit = mounted ? 0 : 32768 + 4096;
    EXPECT_EQ(
        vark::test::RunStep("WindowUploadIntoArchive", {file.string(), sim->device()}, limits), 60);
    EXPECT_EQ(Slurp(file), before);
    // Read from a copy: the full disk leaves no room for reading it there.
    fs::copy_file(file, dir.path() / "copy.sqlite3");
    EXPECT_EQ(RunsIn(dir.path() / "copy.sqlite3").size(), 1u);
}

TEST_F(ArchiveWindow, RunDetailsAreRememberedBelowTheDialogsOwnControls) {
    fs::create_directories(fs::path(vark::archive::SettingsFilePath()).parent_path());
    std::ofstream(vark::archive::SettingsFilePath())
        << "[General]\nstation=\"Pr\xC3\xBC"
           "fplatz 3, Linie \\\"B\\\"\"\narchive_wait_ms=2500\n";
    ASSERT_EQ(vark::archive::LoadSettings(vark::archive::SettingsFilePath()).String("station"),
              "Prüfplatz 3, Linie \"B\"");
    Attach();
    QString lot, part, who;
    bool enabled = false;
    QRect group;
    int above = 0;
    QStringList labels;
    UploadCommand(
        main,
        [&](vark::UploadDialog& dlg) {
            lot = Child<QLineEdit>(dlg, "LotEdit")->text();
            part = Child<QLineEdit>(dlg, "PartEdit")->text();
            who = Child<QLineEdit>(dlg, "OperatorEdit")->text();
            enabled = Child<QGroupBox>(dlg, "RunDetailsGroup")->isEnabled();
            group = Child<QGroupBox>(dlg, "RunDetailsGroup")->geometry();
            for (const char* name : {"Progress", "DeviceGroup", "RefreshDevButton",
                                     "UploadDataButton", "CancelButton"}) {
                above = std::max(above, Child<QWidget>(dlg, name)->geometry().bottom());
            }
            labels.clear();
            for (QLabel* l : Child<QGroupBox>(dlg, "RunDetailsGroup")->findChildren<QLabel*>()) {
                labels << l->text();
            }
            EXPECT_TRUE(dlg.rect().contains(group));
            Type(dlg, "W-17 / lot 3", "HX-2 Ü", "");
        },
        false, {});
    // Nothing remembered yet: the station's operator.
    EXPECT_EQ(lot, QString());
    EXPECT_EQ(part, QString());
    EXPECT_EQ(who, QStringLiteral("ann"));
    EXPECT_TRUE(enabled);
    EXPECT_GT(group.top(), above);
    labels.sort();
    EXPECT_EQ(labels, (QStringList{"Operator", "Part number", "Work order / lot"}));

    // Closed without an upload: still the next run's details, in the file
    // vark-cli reads too; an emptied operator is the station's again.
    const auto settings = vark::archive::LoadSettings(vark::archive::SettingsFilePath());
    EXPECT_EQ(settings.String("upload/lot"), "W-17 / lot 3");
    EXPECT_EQ(settings.String("upload/part"), "HX-2 Ü");
    EXPECT_EQ(settings.String("upload/operator"), "ann");
    UploadCommand(main,
                  [&](vark::UploadDialog& dlg) {
                      lot = Child<QLineEdit>(dlg, "LotEdit")->text();
                      part = Child<QLineEdit>(dlg, "PartEdit")->text();
                  },
                  false, {});
    EXPECT_EQ(lot, QStringLiteral("W-17 / lot 3"));
    EXPECT_EQ(part, QString::fromUtf8("HX-2 Ü"));

    // With the archive off the group is there, greyed out.
    Attach([&] {
        auto c = ConfigFor(file);
        c.enabled = false;
        return c;
    }());
    UploadCommand(main,
                  [&](vark::UploadDialog& dlg) {
                      enabled = Child<QGroupBox>(dlg, "RunDetailsGroup")->isEnabled();
                  },
                  false, {});
    EXPECT_FALSE(enabled);
}

TEST_F(ArchiveWindow, APartsGoldenReferenceOrTheWindowsGoldenFileJudgesTheUpload) {
    Attach();
    const vark::RecordBlock three = Cables(3, 9);
    {
        auto a = SqliteArchive::Open(file.string());
        ASSERT_TRUE(a.ok());
        vark::archive::NewGolden g;
        g.part = "HX-1";
        g.record = three.slots[1];
        g.source = "test";
        g.author = "qa";
        g.station = "lab";
        ASSERT_TRUE(a.value()->SetGolden(g).ok());
    }
    auto sim = StartSim(three, {"--fast"});
    Upload([](vark::UploadDialog& dlg) { Type(dlg, "L1", "HX-1", "ann"); });
    auto runs = RunsIn(file);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].goldenUuid.empty());
    EXPECT_EQ(runs[0].same, 1);
    EXPECT_EQ(runs[0].differs, 2);
    const QString status = Child<QStatusBar>(main, "StatusBar")->currentMessage();
    EXPECT_TRUE(status.startsWith(QStringLiteral("Compared with golden reference of part HX-1")))
        << status.toStdString();
    EXPECT_TRUE(status.contains(QStringLiteral("1 same, 2 other pin count")))
        << status.toStdString();

    // A golden file chosen in the window is the run's own reference.
    const fs::path golden = dir.path() / "golden.vku";
    vark::RecordBlock one = Cables(1, 1);
    one.slots[0] = three.slots[2];
    ASSERT_EQ(vark::WriteRecordFile(golden, one), vark::FileStatus::Ok);
    vark::test::ScriptedFileDialogs dialogs;
    dialogs.openAnswer = QString::fromStdString(golden.string());
    Child<vark::CompareView>(main, "CompareView")->CompareWithGoldenFile();
    ASSERT_TRUE(Child<vark::CompareView>(main, "CompareView")->HasReference());
    auto other = StartSim(Cables(3, 10), {"--fast"});
    seen.clear();
    Upload();
    runs = RunsIn(file);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].referenceLabel, "golden.vku:1");
    EXPECT_TRUE(runs[0].goldenUuid.empty());
    EXPECT_EQ(runs[0].same + runs[0].differs, 3);
}

TEST_F(ArchiveWindow, AnArchivedRunOpensInTheListAndSavesAsItsExport) {
    std::vector<std::string> uuids;
    {
        auto a = SqliteArchive::Open(file.string());
        ASSERT_TRUE(a.ok());
        for (int seed : {21, 22}) {
            vark::archive::NewRun run;
            run.started = run.ended = 1700000000000 + seed;
            run.block = seed == 21 ? vark::SampleBlock() : Cables(6, seed);
            const auto done = a.value()->Commit(run);
            ASSERT_TRUE(done.ok());
            uuids.push_back(done->uuid);
        }
    }
    Attach();
    vark::test::MessageRecorder messages;
    // The shortest start of the first UUID that the second does not share
    // (two runs made in the same millisecond share their first 12 digits).
    std::size_t differ = 0;
    while (uuids[0][differ] == uuids[1][differ]) {
        ++differ;
    }
    ASSERT_TRUE(main.OpenArchivedRun(QString::fromStdString(uuids[0].substr(0, differ + 1))));
    EXPECT_TRUE(messages.messages.empty());
    const auto table = vark::PinMapTable(vark::SampleBlock());
    ASSERT_EQ(main.RowCount(), static_cast<int>(table.size()));
    for (int r = 0; r < main.RowCount(); ++r) {
        for (int c = 0; c < vark::kListColumns; ++c) {
            EXPECT_EQ(main.CellText(r, c).toStdString(), table[r][c]) << r << "," << c;
        }
    }
    EXPECT_TRUE(main.Path().isEmpty());
    vark::test::ScriptedFileDialogs dialogs;
    dialogs.saveAnswer = QString::fromStdString((dir.path() / "again.vku").string());
    main.SaveRecordFile();
    EXPECT_EQ(Slurp(dir.path() / "again.vku"), *Reader(file)->ExportBytes(uuids[0]));

    // A run that is not there, or a start shared by both: said, nothing changed.
    const vark::RecordBlock shown = main.Block();
    for (const char* name : {"ffffffff", ""}) {
        messages.messages.clear();
        EXPECT_FALSE(main.OpenArchivedRun(QString::fromLatin1(name))) << name;
        ASSERT_EQ(messages.messages.size(), 1u) << name;
        EXPECT_TRUE(messages.Texts()[0].contains(QStringLiteral("cannot be opened")));
        EXPECT_EQ(std::memcmp(main.Block().data(), shown.data(), vark::kBlockSize), 0);
    }
}

TEST_F(ArchiveWindow, TheStatusControlTellsTheArchivesStateAndLeadsToHistory) {
    EXPECT_FALSE(Child<QToolButton>(main, "ArchiveStatus")->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));

    struct Case {
        const char* name;
        std::function<void(vark::archive::ArchiveConfig&)> make;
        QString text;
        const char* tip;
    };
    const std::vector<Case> cases = {
        {"off", [](auto& c) { c.enabled = false; }, QStringLiteral("Archive: off"), "turned off"},
        {"not made yet", [](auto&) {}, QStringLiteral("Archive: 0 runs"), "first upload"},
        {"two runs",
         [](auto& c) {
             Seed(c.file);
             auto a = SqliteArchive::Open(c.file);
             vark::archive::NewRun run;
             run.block = Cables(1, 3);
             ASSERT_TRUE(a.value()->Commit(run).ok());
         },
         QStringLiteral("Archive: 2 runs"), "archive.sqlite3"},
        {"unreadable",
         [](auto& c) {
             fs::create_directories(fs::path(c.file).parent_path());
             ASSERT_EQ(vark::WriteRecordFile(c.file, vark::SampleBlock()), vark::FileStatus::Ok);
         },
         QStringLiteral("Archive: unreadable"), "is not an archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        file = dir.path() / c.name / "archive.sqlite3";
        auto config = ConfigFor(file);
        c.make(config);
        Attach(config);
        EXPECT_TRUE(WaitForStatus(c.text)) << StatusText().toStdString();
        EXPECT_TRUE(Child<QToolButton>(main, "ArchiveStatus")->isVisible());
        EXPECT_TRUE(Child<QToolButton>(main, "ArchiveStatus")
                        ->toolTip()
                        .contains(QString::fromLatin1(c.tip)))
            << Child<QToolButton>(main, "ArchiveStatus")->toolTip().toStdString();
    }

    QSignalSpy history(&main, &vark::MainWindow::historyRequested);
    Child<QToolButton>(main, "ArchiveStatus")->click();
    EXPECT_EQ(history.count(), 1);
    QAction* shortcut = Child<QAction>(main, "HistoryAction");
    EXPECT_EQ(shortcut->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    main.activateWindow();
    if (QTest::qWaitForWindowActive(&main)) {
        QTest::keyClick(&main, Qt::Key_H, Qt::ControlModifier);
        EXPECT_EQ(history.count(), 2);
    }
}

// The program itself finds its archive as vark-cli does: the command line,
// then the settings file.
TEST(ArchiveProgram, TheCommandLineAndTheSettingsNameTheArchive) {
    vark::test::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const fs::path named = dir.path() / "named.sqlite3";
    const fs::path configured = dir.path() / "configured.sqlite3";
    Seed(named);
    Seed(configured);
    {
        auto a = SqliteArchive::Open(named.string());
        vark::archive::NewRun run;
        run.block = Cables(3, 1);
        ASSERT_TRUE(a.value()->Commit(run).ok());
    }
    const fs::path settings = vark::archive::SettingsFilePath();
    fs::create_directories(settings.parent_path());
    std::ofstream(settings) << "[General]\narchive_file=" << configured.string() << "\n";

    struct Case {
        QStringList arguments;
        QString state;
    };
    for (const Case& c : {Case{{"--archive", QString::fromStdString(named.string())},
                               QStringLiteral("archive state: Archive: 2 runs")},
                          Case{{"--no-archive"}, QStringLiteral("archive: off")},
                          Case{{}, QStringLiteral("archive state: Archive: 1 run")}}) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vark.instance.info=true"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VARK_APP_BINARY), c.arguments);
        QString log;
        const QDeadlineTimer deadline(10000);
        while (!log.contains(c.state) && !deadline.hasExpired() &&
               program.state() != QProcess::NotRunning) {
            program.waitForReadyRead(50);
            log += QString::fromLocal8Bit(program.readAllStandardError());
        }
        EXPECT_TRUE(log.contains(c.state)) << log.toStdString();
        program.kill();
        program.waitForFinished(5000);
    }
    fs::remove(settings);
}

}  // namespace
