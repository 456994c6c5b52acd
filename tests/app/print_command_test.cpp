// The Print command from the main window: what the list shows goes to paper,
// through Qt's print dialog printing to a PDF file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "app/main_window.h"
#include "app_test_support.h"
#include "records/sample_records.h"
#include "tests/app/print_to_file.h"
#include "tests/support/file_cases.h"

using vark::test::Child;

namespace {

using vark::test::MessageRecorder;
using vark::test::WhenModal;

QString PdfText(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

void PrintToFile(QPrintDialog* d, const QString& pdf) {
    if (!vark::test::ChoosePrintToFile(*d, pdf)) {
        d->reject();
        return;
    }
    d->accept();
    EXPECT_EQ(d->printer()->outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(d->printer()->outputFileName(), pdf);
}

class PrintCommand : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    MessageRecorder messages;
};

TEST_F(PrintCommand, EmptyBlockSaysSoAndShowsNoDialog) {
    vark::MainWindow dlg;
    bool dialogShown = false;
    WhenModal<QPrintDialog>(
        [&](QPrintDialog* d) {
            if (d) {
                dialogShown = true;
                d->reject();
            }
        },
        300);
    dlg.CommandAction(vark::MainWindow::CmdPrint)->trigger();
    QTest::qWait(400);
    EXPECT_FALSE(dialogShown);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, QStringLiteral("\n    No Data to print!    \n"));
    EXPECT_EQ(messages.messages[0].parent, &dlg);
}

TEST_F(PrintCommand, PrintsTheListCellsToTheChosenFile) {
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    dlg.RefreshPinMap();
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        ASSERT_NE(d, nullptr);
        PrintToFile(d, pdf);
    });
    dlg.CommandAction(vark::MainWindow::CmdPrint)->trigger();
    EXPECT_TRUE(messages.messages.empty());
    ASSERT_TRUE(QFileInfo::exists(pdf));
    // pdftotext lays blanks out by position: compare with runs of blanks folded.
    const QString text = PdfText(pdf).simplified();
    // Every record's first two cells and first map line, in list order.
    qsizetype at = 0;
    for (int r = 0; r < dlg.RowCount(); ++r) {
        for (int c : {0, 1, 2}) {
            const QString cell = dlg.CellText(r, c).simplified();
            if (cell.isEmpty()) {
                continue;
            }
            const qsizetype found = text.indexOf(cell, at);
            ASSERT_GE(found, 0) << "row " << r << " col " << c << ": " << cell.toStdString();
            at = found;
        }
    }
    EXPECT_TRUE(text.contains(QStringLiteral("Page 2/2")));
}

TEST_F(PrintCommand, AJobThatCannotBeWrittenIsReportedNotSilent) {
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    dlg.RefreshPinMap();
    // /proc takes no new files, not even from root.
    const QString pdf = QStringLiteral("/proc/vark-print-test.pdf");
    WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        ASSERT_NE(d, nullptr);
        PrintToFile(d, pdf);
    });
    dlg.CommandAction(vark::MainWindow::CmdPrint)->trigger();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, QStringLiteral("\n    Print failed!    \n"));
}

// The window's Print to the file words[0], chosen in the print dialog, in a
// process of its own; 0 when it said only that printing failed.
VARK_TEST_STEP(WindowPrintToFile) {
    MessageRecorder messages;
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    bool dialogShown = false;
    WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        dialogShown = d != nullptr;
        if (d) {
            PrintToFile(d, QFile::decodeName(words.at(0).c_str()));
        }
    });
    dlg.CommandAction(vark::MainWindow::CmdPrint)->trigger();
    if (!dialogShown) {
        return 2;
    }
    return messages.Texts() == QStringList{QStringLiteral("\n    Print failed!    \n")} ? 0 : 1;
}

TEST_F(PrintCommand, AFullDiskKeepsTheOldFileAndSaysSo) {
    vark::test::FullDisk disk(dir.filePath(QStringLiteral("disk")).toStdString());
    const auto old = disk.dir() / "old.pdf";
    vark::test::Put(old, "%PDF old report");
    disk.Fill();
    const auto before = vark::test::Facts(old);
    // Without a mountable file system the job's process has a file-size limit.
    EXPECT_EQ(disk.Run("WindowPrintToFile", {old}), 0);
    EXPECT_EQ(vark::test::Facts(old), before);
}

TEST_F(PrintCommand, CancelledDialogPrintsAndSaysNothing) {
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    dlg.RefreshPinMap();
    bool shown = false;
    WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        shown = d != nullptr;
        if (d) {
            d->reject();
        }
    });
    dlg.CommandAction(vark::MainWindow::CmdPrint)->trigger();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

// ".vku" appended after the dialog confirmed another name: a file of the new
// name is only replaced when the user agrees.
TEST_F(PrintCommand, SaveAsksBeforeReplacingAFileTheDialogNeverSaw) {
    vark::test::ScriptedFileDialogs dialogs;
    int asked = 0;
    bool answer = false;
    vark::FileDialogHooks hooks = vark::SetFileDialogHooks({});
    hooks.confirmReplace = [&](QWidget*, const QString&) {
        ++asked;
        return answer;
    };
    vark::SetFileDialogHooks(hooks);

    const QString existing = dir.filePath(QStringLiteral("b.VKU.vku"));
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    dialogs.saveAnswer = dir.filePath(QStringLiteral("b.VKU"));
    dlg.SaveRecordFile();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(QFileInfo(existing).size(), 7);
    EXPECT_TRUE(Child<QLineEdit>(dlg, "PathEdit")->text().isEmpty());
    EXPECT_TRUE(messages.messages.empty());

    answer = true;
    dlg.SaveRecordFile();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(QFileInfo(existing).size(), 16 + vark::StoredLength(dlg.Block()));
    EXPECT_EQ(Child<QLineEdit>(dlg, "PathEdit")->text(), existing);

    // A name the dialog itself confirmed is not asked about again.
    dialogs.saveAnswer = existing;
    dlg.SaveRecordFile();
    EXPECT_EQ(asked, 2);
}

}  // namespace
