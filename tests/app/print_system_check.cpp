// The window printing through a real print system: run by the print test
// stage against its private CUPS server, whose cups-pdf queue (the default
// printer there) writes each job as a PDF into a folder. Not part of the
// ordinary suite, which never reaches a printer.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdlib>

#include "app/main_window.h"
#include "app_test_support.h"
#include "records/sample_records.h"
#include "tests/app/print_to_file.h"

namespace {

QString PdfText(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST(PrintSystem, TheReportReachesTheDefaultQueueThroughTheDialog) {
    const char* queue = std::getenv("VARK_PRINT_QUEUE");
    const char* out = std::getenv("VARK_PRINT_OUT");
    ASSERT_TRUE(queue && out) << "run by scripts/test-print.sh, which starts the print server";

    vark::test::MessageRecorder messages;
    vark::MainWindow dlg;
    dlg.SetBlock(vark::SampleBlock());
    QString chosen;
    vark::test::WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        ASSERT_NE(d, nullptr);
        auto* printers = d->findChild<QComboBox*>(QStringLiteral("printers"));
        ASSERT_NE(printers, nullptr);
        chosen = printers->currentText();  // the dialog opens on the default printer
        d->accept();
    });
    dlg.CommandAction(vark::MainWindow::CmdPrint)->trigger();
    EXPECT_EQ(chosen, QString::fromUtf8(queue));
    EXPECT_TRUE(messages.messages.empty());

    // cups-pdf turns the job into a PDF a little later.
    QDir dir(QString::fromUtf8(out));
    QStringList pdfs;
    QElapsedTimer clock;
    clock.start();
    while (pdfs.isEmpty() && clock.elapsed() < 60000) {
        QTest::qWait(250);
        pdfs = dir.entryList({QStringLiteral("*.pdf")}, QDir::Files);
    }
    ASSERT_EQ(pdfs.size(), 1) << "no PDF came out of the queue";
    QTest::qWait(500);  // written whole

    // The queue's PDF went through PostScript, which leaves its text in fonts
    // without a character map: compare it with the same report printed to a
    // file by its pages and by the characters drawn on each page.
    QTemporaryDir scratch;
    const QString reference = scratch.filePath(QStringLiteral("reference.pdf"));
    vark::test::WhenModal<QPrintDialog>([&](QPrintDialog* d) {
        ASSERT_NE(d, nullptr);
        if (vark::test::ChoosePrintToFile(*d, reference)) {
            d->accept();
        }
    });
    dlg.CommandAction(vark::MainWindow::CmdPrint)->trigger();
    const QString expected = PdfText(reference);
    ASSERT_TRUE(expected.contains(QStringLiteral("Page 2/2")));
    const QStringList want = expected.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    const QStringList got =
        PdfText(dir.filePath(pdfs[0])).split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype page = 0; page < want.size(); ++page) {
        // Within a few characters: the round trip splits or joins some glyphs.
        const auto n = got[page].simplified().remove(QLatin1Char(' ')).size();
        const auto m = want[page].simplified().remove(QLatin1Char(' ')).size();
        EXPECT_GT(m, 100);
        EXPECT_LE(std::abs(n - m), m / 20) << "page " << page + 1 << ": " << n << " vs " << m;
    }
}

}  // namespace
