#include <gtest/gtest.h>

#include <QAction>
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
