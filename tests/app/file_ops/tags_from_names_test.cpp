// Tags from file names through the window model: the preview the dialog
// shows, one undo step for the whole selection, the save, the messages and
// the recent patterns kept in the settings file.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "app/file_ops/tags_from_names.h"
#include "app/settings/translation.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

class TagsFromNamesTest : public TModelTest {
protected:
    testutil::TTempDir Settings;
    QString SettingsFile = Q(Settings.file("set.ini"));
    TTagsFromNames Command{Model, SettingsFile};
    QString Root = Q(Dir.path());

    QString Add(const QString& Name, const QString& Track = QString()) {
        const QString Path = Root + u'/' + Name;
        QDir().mkpath(QFileInfo(Path).path());
        QFile F(Path);
        EXPECT_TRUE(F.open(QIODevice::WriteOnly));
        F.write("audio");
        TAudioTag Tag = MakeTag(Path, QStringLiteral("old title"), QStringLiteral("old artist"));
        Tag.Track = Track;
        Tag.Genre = QStringLiteral("Rock");
        Service->Stored.insert(Path, Tag);
        return Path;
    }
};

const QString kPattern = QStringLiteral("%artist%/%year% - %album%/%track% - %title%");

TEST_F(TagsFromNamesTest, PreviewShowsEachFilesValuesBeforeAnythingChanges) {
    const QString A = Add(QStringLiteral("Band/2001 - First/01 - One.mp3"));
    const QString B = Add(QStringLiteral("Band/2001 - First/cover song.mp3"));
    ASSERT_TRUE(ScanAndWait(Model, Root));
    Model.SelectFiles({A, B});
    TNameGuessPreview Preview;
    Preview.SetFiles(Command.Files());
    ASSERT_TRUE(Preview.SetPattern(kPattern));
    EXPECT_EQ(Preview.rowCount(), 2);
    EXPECT_EQ(Preview.MatchCount(), 1);
    QStringList Header;
    for (int c = 0; c < Preview.columnCount(); ++c) Header.append(Preview.headerData(c, Qt::Horizontal).toString());
    EXPECT_EQ(Header.join(u','), QStringLiteral("File,Title,Artist,Album,Year,Track"));
    QStringList Row0, Row1;
    for (int c = 0; c < Preview.columnCount(); ++c) {
        Row0.append(Preview.index(0, c).data().toString());
        Row1.append(Preview.index(1, c).data().toString());
    }
    EXPECT_EQ(Row0.join(u','), QStringLiteral("Band/2001 - First/01 - One,One,Band,First,2001,01"));
    EXPECT_EQ(Row1.join(u','), QStringLiteral("Band/2001 - First/cover song,(no match),,,,"));
    EXPECT_EQ(Preview.index(0, 0).data(Qt::ToolTipRole).toString(), A);
    // A pattern being typed: the reason, and only the file column.
    EXPECT_FALSE(Preview.SetPattern(QStringLiteral("%ar")));
    EXPECT_EQ(Preview.Error(), QStringLiteral("The pattern has no placeholder for a tag field."));
    EXPECT_EQ(Preview.columnCount(), 1);
    EXPECT_EQ(Preview.index(1, 0).data().toString(), QStringLiteral("cover song.mp3"));
    // Nothing was applied.
    EXPECT_EQ(Model.UndoCount(), 0);
    EXPECT_EQ(Model.TagCache()[A].Title, QStringLiteral("old title"));
}

TEST_F(TagsFromNamesTest, ApplyIsOneUndoStepAndSaves) {
    const QStringList Paths = {
        Add(QStringLiteral("Band/2001 - First/01 - One.mp3"), QStringLiteral("7/9")),
        Add(QStringLiteral("Band/2001 - First/02 - Two.mp3")),
        Add(QStringLiteral("Other/2010 - Second/3 - Three.flac")),
        Add(QStringLiteral("Other/2010 - Second/notes.mp3")),
    };
    ASSERT_TRUE(ScanAndWait(Model, Root));
    Model.SelectFiles(Paths);
    EXPECT_EQ(Command.Apply(kPattern), 3);
    EXPECT_EQ(Model.UndoCount(), 1);
    const TAudioTag One = Service->Stored[Paths[0]];
    EXPECT_EQ(One.Title, QStringLiteral("One"));
    EXPECT_EQ(One.Artist, QStringLiteral("Band"));
    EXPECT_EQ(One.Album, QStringLiteral("First"));
    EXPECT_EQ(One.Year, QStringLiteral("2001"));
    EXPECT_EQ(One.Track, QStringLiteral("01/9"));  // the total stays
    EXPECT_EQ(One.Genre, QStringLiteral("Rock"));  // not in the pattern
    EXPECT_EQ(Service->Stored[Paths[2]].Track, QStringLiteral("3"));
    EXPECT_EQ(Service->Stored[Paths[3]].Title, QStringLiteral("old title"));  // no match: kept
    EXPECT_FALSE(Service->SavedPaths.contains(Paths[3]));
    EXPECT_EQ(Model.FileList().Cell(Model.FindListRow(Paths[1]), lcTitle), QStringLiteral("Two"));
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 3 files. Errors: 0"));

    Model.Undo();
    for (const QString& P : Paths) {
        EXPECT_EQ(Service->Stored[P].Title, QStringLiteral("old title")) << P.toStdString();
        EXPECT_EQ(Service->Stored[P].Artist, QStringLiteral("old artist")) << P.toStdString();
    }
    EXPECT_EQ(Service->Stored[Paths[0]].Track, QStringLiteral("7/9"));
    EXPECT_EQ(Model.UndoCount(), 0);
}

TEST_F(TagsFromNamesTest, PendingEditorTextIsItsOwnStepFirst) {
    const QString A = Add(QStringLiteral("Band/2001 - First/01 - One.mp3"));
    ASSERT_TRUE(ScanAndWait(Model, Root));
    Model.SelectFiles({A});
    Model.SetEditorText(TMainModel::efComment, QStringLiteral("typed"));
    EXPECT_EQ(Command.Apply(kPattern), 1);
    EXPECT_EQ(Model.UndoCount(), 2);
    EXPECT_EQ(Service->Stored[A].Comment, QStringLiteral("typed"));
    EXPECT_EQ(Service->Stored[A].Title, QStringLiteral("One"));
}

TEST_F(TagsFromNamesTest, NothingSelectedBadPatternOrNoMatchChangesNothing) {
    const QString A = Add(QStringLiteral("loose.mp3"));
    ASSERT_TRUE(ScanAndWait(Model, Root));
    EXPECT_EQ(Command.Apply(kPattern), 0);
    EXPECT_EQ(User.Informed,
              QStringList{QStringLiteral("Please select the files whose tags are to come from their names.")});
    Model.SelectFiles({A});
    EXPECT_EQ(Command.Apply(QStringLiteral("%artist% - %song%")), 0);
    EXPECT_EQ(User.Errors, QStringList{QStringLiteral("Unknown placeholder: %song%")});
    EXPECT_EQ(Command.Apply(kPattern), 0);
    EXPECT_EQ(User.Informed.value(1), QStringLiteral("None of the selected files matches the pattern."));
    EXPECT_EQ(Model.UndoCount(), 0);
    EXPECT_TRUE(Service->SavedPaths.isEmpty());
    // Neither a bad pattern nor one that matched nothing is remembered.
    EXPECT_EQ(Command.RecentPatterns(), QStringList{TNamePattern::DefaultPattern()});
}

TEST_F(TagsFromNamesTest, RecentPatternsNewestFirstWithoutRepeats) {
    const QString A = Add(QStringLiteral("x/Band - Song.mp3"));
    ASSERT_TRUE(ScanAndWait(Model, Root));
    Model.SelectFiles({A});
    const QString First = QStringLiteral("%artist% - %title%"), Second = QStringLiteral("x/%artist% - %title%");
    for (const QString& P : {First, First, Second, First}) Command.Apply(P);
    // Another run of the window reads them back from the file.
    TTagsFromNames Later(Model, SettingsFile);
    EXPECT_EQ(Later.RecentPatterns(), (QStringList{First, Second}));
    // The oldest go beyond the tenth.
    QStringList Applied;
    for (int i = 1; i <= 12; ++i) {
        Applied.prepend(QStringLiteral("%title%") + QStringLiteral("%dummy%").repeated(i));
        Command.Apply(Applied.first());
    }
    EXPECT_EQ(Later.RecentPatterns(), Applied.mid(0, TTagsFromNames::kMaxRecentPatterns));
}

}  // namespace
