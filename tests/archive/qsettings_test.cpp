// The window writes the settings file through QSettings; what it writes must
// read back the same here, without Qt.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>

#include "archive/settings.h"
#include "scratch.h"

namespace vark::archive {
namespace {

TEST(IniSettings, ReadsBackAFileQSettingsWrote) {
    test::Scratch dir;
    const std::string path = (dir / "vark-u.conf").string();
    const std::map<std::string, QString> strings = {
        {"plain", "Line 2"},
        {"comma", "a, b"},
        {"equals", "x=y;z"},
        {"quote", "say \"hi\""},
        {"backslash", "C:\\data\\archive.sqlite3"},
        {"blanks", "  padded  "},
        {"control", QString("tab\tnew\nline\r") + QChar(1)},
        {"hexafter", QString(QChar(1)) + "abc"},
        {"at", "@home"},
        {"umlaut", QString::fromUtf8("M\xc3\xbcller \xe2\x82\xac")},
        {"empty", ""},
    };
    {
        QSettings s(QString::fromStdString(path), QSettings::IniFormat);
        for (const auto& [key, value] : strings) {
            s.setValue(QString::fromStdString(key), value);
        }
        s.setValue("flag", false);
        s.setValue("wait", 250);
        s.setValue("bytes", QByteArray("\x01\x02", 2));
        s.setValue("list", QStringList{"a", "b"});
        s.setValue("archive/file", "/in/a/group");
        s.sync();
        ASSERT_EQ(s.status(), QSettings::NoError);
    }
    const IniSettings read = LoadSettings(path);
    for (const auto& [key, value] : strings) {
        EXPECT_EQ(read.String(key), value.toStdString()) << key;
    }
    EXPECT_EQ(read.Bool("flag"), false);
    EXPECT_EQ(read.Int("wait"), 250);
    EXPECT_EQ(read.String("bytes"), std::nullopt);
    EXPECT_EQ(read.String("list"), std::nullopt);
    EXPECT_EQ(read.String("archive/file"), "/in/a/group");
}

}  // namespace
}  // namespace vark::archive
