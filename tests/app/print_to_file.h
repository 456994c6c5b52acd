// Chooses printing to a PDF file in Qt's print dialog, never the printer it
// opened on: a machine with a system printer must not get paper from the
// tests. Returns false (with a test failure) when the dialog lacks the choice.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>

namespace vark::test {

inline bool ChoosePrintToFile(QPrintDialog& d, const QString& pdf) {
    auto* printers = d.findChild<QComboBox*>(QStringLiteral("printers"));
    auto* file = d.findChild<QLineEdit*>(QStringLiteral("filename"));
    const int toFile = printers ? printers->findText(QStringLiteral("Print to File (PDF)")) : -1;
    if (file == nullptr || toFile < 0) {
        ADD_FAILURE() << "the print dialog offers no printing to a file";
        return false;
    }
    printers->setCurrentIndex(toFile);
    EXPECT_TRUE(file->isEnabled());
    file->setText(pdf);
    return true;
}

}  // namespace vark::test
