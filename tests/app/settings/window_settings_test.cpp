// "set.ini": what is read back, what a maximised run leaves alone, and the
// default column widths.
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include "app/settings/window_settings.h"
#include "tests/test_util.h"

namespace {

QString IniIn(const testutil::TTempDir& Dir) { return QString::fromStdString(Dir.file("set.ini")); }

TEST(WindowSettings, MissingFileGivesDefaults) {
    testutil::TTempDir Dir;
    const TWindowSettings S = ReadWindowSettings(IniIn(Dir));
    EXPECT_EQ(S.WindowState, 0);
    EXPECT_FALSE(S.Left || S.Top || S.Width || S.Height || S.LeftPanelWidth || S.RightPanelWidth);
    EXPECT_FALSE(S.ColumnWidths.has_value());
    EXPECT_TRUE(S.Folder.isEmpty());
}

TEST(WindowSettings, RoundTripKeepsEveryValue) {
    testutil::TTempDir Dir;
    TWindowSettings S;
    S.Left = 10;
    S.Top = 20;
    S.Width = 1300;
    S.Height = 700;
    S.Folder = QStringLiteral("/music/Caf\u00e9 Ma\u00f1ana, live [2]");
    S.LeftPanelWidth = 300;
    S.RightPanelWidth = 250;
    S.ColumnWidths = QVector<std::optional<int>>{100, 200, 150, 100, 80, 100, 70, 70, 50};
    WriteWindowSettings(IniIn(Dir), S);
    const TWindowSettings R = ReadWindowSettings(IniIn(Dir));
    EXPECT_EQ(R.WindowState, 0);
    EXPECT_EQ(R.Left, 10);
    EXPECT_EQ(R.Top, 20);
    EXPECT_EQ(R.Width, 1300);
    EXPECT_EQ(R.Height, 700);
    EXPECT_EQ(R.Folder, S.Folder);
    EXPECT_EQ(R.LeftPanelWidth, 300);
    EXPECT_EQ(R.RightPanelWidth, 250);
    ASSERT_TRUE(R.ColumnWidths.has_value());
    EXPECT_EQ(*R.ColumnWidths, *S.ColumnWidths);

    // The file is a plain INI with the documented sections and keys.
    QSettings Ini(IniIn(Dir), QSettings::IniFormat);
    EXPECT_EQ(Ini.value(QStringLiteral("Main/pnlLeftWidth")).toInt(), 300);
    EXPECT_EQ(Ini.value(QStringLiteral("Cols/W8")).toInt(), 50);
}

TEST(WindowSettings, MaximisedRunKeepsTheLastNormalGeometry) {
    testutil::TTempDir Dir;
    TWindowSettings Normal;
    Normal.Left = 5;
    Normal.Top = 6;
    Normal.Width = 800;
    Normal.Height = 600;
    WriteWindowSettings(IniIn(Dir), Normal);
    TWindowSettings Maximised;
    Maximised.WindowState = 2;
    Maximised.Left = 0;
    Maximised.Top = 0;
    Maximised.Width = 1600;
    Maximised.Height = 1000;
    WriteWindowSettings(IniIn(Dir), Maximised);
    const TWindowSettings R = ReadWindowSettings(IniIn(Dir));
    EXPECT_EQ(R.WindowState, 2);
    EXPECT_EQ(R.Left, 5);
    EXPECT_EQ(R.Top, 6);
    EXPECT_EQ(R.Width, 800);
    EXPECT_EQ(R.Height, 600);
}

TEST(WindowSettings, PartialAndBadValuesFallBackOneByOne) {
    testutil::TTempDir Dir;
    testutil::WriteFile(Dir.file("set.ini"),
                        std::string("[Main]\nWindowState=1\nLeft=abc\nTop=7\n[Cols]\nW0=120\nW3=x\n"));
    const TWindowSettings R = ReadWindowSettings(IniIn(Dir));
    EXPECT_EQ(R.WindowState, 1);  // the window ignores 1 and opens normal
    EXPECT_FALSE(R.Left.has_value());
    EXPECT_EQ(R.Top, 7);
    ASSERT_TRUE(R.ColumnWidths.has_value());
    EXPECT_EQ((*R.ColumnWidths)[0], 120);
    EXPECT_FALSE((*R.ColumnWidths)[3].has_value());
    EXPECT_FALSE((*R.ColumnWidths)[8].has_value());
}

TEST(WindowSettings, DefaultColumnWidthsArePercentagesRoundedHalfToEven) {
    EXPECT_EQ(DefaultColumnWidths(1000), (QVector<int>{180, 200, 150, 100, 80, 100, 70, 70, 50}));
    // 50 px: 9, 10, 7.5 -> 8, 5, 4, 5, 3.5 -> 4, 3.5 -> 4, 2.5 -> 2.
    EXPECT_EQ(DefaultColumnWidths(50), (QVector<int>{9, 10, 8, 5, 4, 5, 4, 4, 2}));
    // 10 px: 1.8, 2, 1.5, 1, 0.8, 1, 0.7, 0.7, 0.5 -> 2, 2, 2, 1, 1, 1, 1, 1, 0.
    EXPECT_EQ(DefaultColumnWidths(10), (QVector<int>{2, 2, 2, 1, 1, 1, 1, 1, 0}));
    EXPECT_TRUE(DefaultColumnWidths(1000, 8).isEmpty());
}

TEST(WindowSettings, SettingsFolderFollowsTheUsersConfigFolder) {
    testutil::TTempDir Dir;
    const QByteArray Old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir.path()));
    EXPECT_EQ(SettingsFileName(), QString::fromStdString(Dir.path()) + QStringLiteral("/Veltrano/set.ini"));
    EXPECT_TRUE(EnsureSettingsFolder());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Dir.file("Veltrano"))));
    EXPECT_TRUE(EnsureSettingsFolder());  // already there
    if (Old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", Old);
}

}  // namespace
