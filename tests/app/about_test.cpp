#include <gtest/gtest.h>

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include "app/about_dlg.h"
#include "app/vark_dlg.h"
#include "app_test_support.h"

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
AboutSeen ShowAboutAndClose(CVarkDlg& dlg, Qt::Key key) {
    AboutSeen seen;
    vark::test::WhenModal<CAboutDlg>([&](CAboutDlg* about) {
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
        seen.okIsDefault = about->m_pOkButton->isDefault();
        seen.parent = about->parentWidget();
        QTest::keyClick(about, key);
    });
    auto* button = dlg.m_wndToolBar->widgetForAction(dlg.CommandAction(CVarkDlg::CmdAbout));
    QTest::mouseClick(button, Qt::LeftButton);
    return seen;
}

TEST(AboutBox, ShowsIconNameVersionAndRights) {
    CVarkDlg dlg;
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
    CVarkDlg dlg;
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
    CAboutDlg about;
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
    for (QLabel* label : {about.m_pVersion, about.m_pRights}) {
        EXPECT_LE(fm.horizontalAdvance(label->text()), label->width())
            << label->text().toStdString();
        EXPECT_TRUE(inside.contains(label->geometry()));
    }
    EXPECT_TRUE(inside.contains(about.m_pIcon->geometry()));
    EXPECT_TRUE(inside.contains(about.m_pOkButton->geometry()));
    EXPECT_GE(about.m_pOkButton->x(), about.m_pVersion->geometry().right());
}

TEST(AboutBox, OkButtonAndCloseBoxEndIt) {
    {
        CAboutDlg about;
        QTimer::singleShot(0, &about,
                           [&] { QTest::mouseClick(about.m_pOkButton, Qt::LeftButton); });
        EXPECT_EQ(about.exec(), QDialog::Accepted);
    }
    {
        CAboutDlg about;
        QTimer::singleShot(0, &about, [&] { about.close(); });
        EXPECT_EQ(about.exec(), QDialog::Rejected);
    }
}

}  // namespace
