#include <gtest/gtest.h>

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include "app/about_dialog.h"
#include "app/main_window.h"
#include "app_test_support.h"

using vark::test::Child;

namespace {

struct AboutSeen {
    bool shown = false;
    QString caption;
    QStringList texts;
    bool hasIcon = false;
    bool okIsDefault = false;
    QWidget* parent = nullptr;
};

// Opens the About box from the main window's toolbar, looks at it, then
// closes it with `key`.
AboutSeen ShowAboutAndClose(vark::MainWindow& dlg, Qt::Key key) {
    AboutSeen seen;
    vark::test::WhenModal<vark::AboutDialog>([&](vark::AboutDialog* about) {
        if (!about) {
            return;
        }
        seen.shown = true;
        seen.caption = about->windowTitle();
        for (QLabel* label : about->findChildren<QLabel*>()) {
            if (!label->pixmap().isNull()) {
                seen.hasIcon = true;
            } else {
                seen.texts << label->text();
            }
        }
        seen.okIsDefault = Child<QPushButton>(*about, "OkButton")->isDefault();
        seen.parent = about->parentWidget();
        QTest::keyClick(about, key);
    });
    auto* button = Child<QToolBar>(dlg, "ToolBar")
                       ->widgetForAction(dlg.CommandAction(vark::MainWindow::CmdAbout));
    QTest::mouseClick(button, Qt::LeftButton);
    return seen;
}

TEST(AboutBox, ShowsIconNameVersionAndRights) {
    vark::MainWindow dlg;
    dlg.show();
    const AboutSeen seen = ShowAboutAndClose(dlg, Qt::Key_Return);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.caption, QStringLiteral("About VARK-u"));
    EXPECT_TRUE(seen.hasIcon);
    ASSERT_EQ(seen.texts.size(), 2);
    EXPECT_EQ(seen.texts[0], QStringLiteral("Kelvor VARK-u   Version 2.0"));
    EXPECT_TRUE(seen.texts[1].contains(QStringLiteral("Kelvor")));
    EXPECT_TRUE(seen.texts[1].contains(QStringLiteral("rights")));
    EXPECT_TRUE(seen.okIsDefault);
    EXPECT_EQ(seen.parent, &dlg);
}

TEST(AboutBox, EnterAndEscapeCloseItAndLeaveTheWindowAsItWas) {
    vark::MainWindow dlg;
    dlg.show();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Enter}) {
        const AboutSeen seen = ShowAboutAndClose(dlg, key);
        EXPECT_TRUE(seen.shown) << key;
        // The click returned, so the box's modal run has ended.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), 0);
    }
}

TEST(AboutBox, TemplateSizeInTheDialogFontAndEveryTextFits) {
    vark::AboutDialog about;
    // The 11-pixel face of the other dialogs, and the template's 235 x 65
    // dialog units measured with it (average letter width and height).
    EXPECT_EQ(about.font().pixelSize(), 11);
    const QFontMetrics fm(about.font());
    const int avg = (fm.horizontalAdvance(
                         QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                         26 +
                     1) /
                    2;
    EXPECT_EQ(about.size(), QSize((235 * avg + 2) / 4, (65 * fm.height() + 4) / 8));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "fixed, like a dialog frame";
    const QRect inside = about.rect();
    for (QLabel* label :
         {Child<QLabel>(about, "VersionText"), Child<QLabel>(about, "RightsText")}) {
        EXPECT_LE(fm.horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
        EXPECT_TRUE(inside.contains(label->geometry()));
    }
    EXPECT_TRUE(inside.contains(Child<QLabel>(about, "Icon")->geometry()));
    EXPECT_TRUE(inside.contains(Child<QPushButton>(about, "OkButton")->geometry()));
    EXPECT_GE(Child<QPushButton>(about, "OkButton")->x(),
              Child<QLabel>(about, "VersionText")->geometry().right());
}

TEST(AboutBox, OkButtonAndCloseBoxEndIt) {
    {
        vark::AboutDialog about;
        QTimer::singleShot(0, &about, [&] {
            QTest::mouseClick(Child<QPushButton>(about, "OkButton"), Qt::LeftButton);
        });
        EXPECT_EQ(about.exec(), QDialog::Accepted);
    }
    {
        vark::AboutDialog about;
        QTimer::singleShot(0, &about, [&] { about.close(); });
        EXPECT_EQ(about.exec(), QDialog::Rejected);
    }
}

}  // namespace
