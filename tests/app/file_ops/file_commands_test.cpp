// Renaming, copying, moving and deleting real files made at test time, with
// the window model's cache, rows, editor and undo history kept in step.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/file_ops/file_commands.h"
#include "app/file_ops/file_naming.h"
#include "app/file_ops/file_system.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

class FileCommandsTest : public TModelTest {
protected:
    TFileCommands Files{Model};
    QString Root = Q(Dir.path());

    QString Add(const QString& Name, const QString& Title, const QString& Artist = QString(),
                const QByteArray& Bytes = "audio") {
        const QString Path = Root + QLatin1Char('/') + Name;
        QDir().mkpath(QFileInfo(Path).path());
        QFile F(Path);
        EXPECT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(Bytes);
        F.close();
        Service->Stored.insert(Path, MakeTag(Path, Title, Artist));
        return Path;
    }
    void Scan() { ASSERT_TRUE(ScanAndWait(Model, Root)); }
    QByteArray Read(const QString& Path) {
        QFile F(Path);
        return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray("<missing>");
    }
};

TEST(FileNaming, PatternExpansionAndCleaning) {
    TAudioTag T;
    T.Artist = QStringLiteral("AC/DC");
    T.Title = QStringLiteral("T.N.T. %num%");
    T.Track = QStringLiteral("3/12");
    EXPECT_EQ(ExpandPattern(QStringLiteral("%artist% - %title%"), T, 1), QStringLiteral("AC_DC - T.N.T. 01"));
    EXPECT_EQ(ExpandPattern(QStringLiteral("%TRACK% %Num%"), T, 123), QStringLiteral("3_12 123"));
    EXPECT_EQ(ExpandPattern(QStringLiteral("%album% %x%"), T, 9), QStringLiteral("%x%"));
    EXPECT_EQ(ExpandPattern(QStringLiteral("%album%"), T, 9), QString());
    EXPECT_EQ(CleanFileName(QString::fromUtf16(u" a<>:\"/\\|?*\0b\t", 14)), QStringLiteral("a__________b"));
    EXPECT_EQ(ExpandPattern(QStringLiteral("%artist% - %title%"), TAudioTag(), 1), QStringLiteral("-"));
    for (const char* Bad : {"a/b", ".", "..", ""}) EXPECT_FALSE(IsValidName(QLatin1String(Bad))) << Bad;
    EXPECT_FALSE(IsValidName(QString(256, QLatin1Char('x'))));
    EXPECT_FALSE(IsValidName(QString(128, QChar(0xe9))));  // 256 bytes in UTF-8
    EXPECT_TRUE(IsValidName(QString(255, QLatin1Char('x'))));
    EXPECT_FALSE(IsValidName(QString::fromUtf16(u"a\0b", 3)));
    EXPECT_TRUE(IsValidRelativeFolder(QStringLiteral("a/b")));
    EXPECT_FALSE(IsValidRelativeFolder(QStringLiteral("a/../b")));
    EXPECT_FALSE(IsValidRelativeFolder(QStringLiteral("./a")));
    EXPECT_EQ(NameExtension(QStringLiteral("New.Name")), QStringLiteral(".Name"));
    EXPECT_EQ(NameExtension(QStringLiteral("new name")), QString());
}

TEST_F(FileCommandsTest, PatternRenameNumbersSkipsAndNeverOverwrites) {
    const QString A = Add(QStringLiteral("a.mp3"), QStringLiteral("Same"), QStringLiteral("AC/DC"));
    const QString B = Add(QStringLiteral("b.mp3"), QStringLiteral("x"));
    const QString C = Add(QStringLiteral("c.MP3"), QStringLiteral("Same"), QStringLiteral("AC/DC"));
    const QString Taken = Add(QStringLiteral("03 - x.mp3"), QStringLiteral("other"));
    Scan();
    Model.SortByColumn(lcFile);
    if (!Model.SortAscending()) Model.SortByColumn(lcFile);
    Model.SelectFiles({A, B, C});
    Model.TagCache().remove(B);  // no record: skipped, but it still counts for %num%
    User.TextAnswers = {QStringLiteral("%num% - %title%")};
    Files.TagToName();
    EXPECT_EQ(User.Asked.first(), QStringLiteral("Batch rename|Enter pattern (use %artist%, %title%, %album%, "
                                                 "%track%, %year%, %num%):|%artist% - %title%"));
    const QString A2 = Root + QStringLiteral("/01 - Same.mp3");
    const QString C2 = Root + QStringLiteral("/03 - Same.MP3");
    EXPECT_TRUE(QFile::exists(A2));
    EXPECT_TRUE(QFile::exists(C2));
    EXPECT_TRUE(QFile::exists(B));
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed 2 file(s)."));
    ASSERT_GE(Model.FindListRow(A2), 0);
    EXPECT_EQ(Model.FileList().Cell(Model.FindListRow(A2), lcFile), QStringLiteral("01 - Same.mp3"));
    // A rename is no edit: nothing to save afterwards.
    TAudioTag Rec;
    ASSERT_TRUE(Model.TryGetCachedTag(A2, Rec));
    EXPECT_EQ(Rec.FileName, A2);
    EXPECT_FALSE(Rec.Modified);
    EXPECT_FALSE(Model.HasUnsavedChanges());

    // Both would be "AC_DC - Same": the first is renamed, the second skipped.
    Model.SelectFiles({A2, C2});
    User.TextAnswers = {QStringLiteral("   %artist% - %title%  ")};
    Files.TagToName();
    EXPECT_TRUE(QFile::exists(Root + QStringLiteral("/AC_DC - Same.mp3")));
    EXPECT_TRUE(QFile::exists(C2) || QFile::exists(Root + QStringLiteral("/AC_DC - Same.MP3")));
    // (the extensions differ in case, so on Linux both names are free)
    EXPECT_EQ(Read(Taken), QByteArray("audio"));

    // Two files whose names would be exactly equal.
    const QString D = Add(QStringLiteral("d.mp3"), QStringLiteral("Dup"), QString(), "D");
    const QString E = Add(QStringLiteral("e.mp3"), QStringLiteral("Dup"), QString(), "E");
    Scan();
    Model.SortByColumn(lcFile);
    if (!Model.SortAscending()) Model.SortByColumn(lcFile);
    Model.SelectFiles({D, E});
    User.TextAnswers = {QStringLiteral("%title%")};
    Files.TagToName();
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed 1 file(s)."));
    EXPECT_EQ(Read(Root + QStringLiteral("/Dup.mp3")), QByteArray("D"));
    EXPECT_EQ(Read(E), QByteArray("E"));

    // A pattern of blanks does nothing.
    User.TextAnswers = {QStringLiteral("   ")};
    Files.TagToName();
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed 1 file(s)."));
}

TEST_F(FileCommandsTest, SingleRenameCaseOnlyAndRefusedNames) {
    const QString Song = Add(QStringLiteral("Song.mp3"), QStringLiteral("t"));
    const QString Other = Add(QStringLiteral("Other.mp3"), QStringLiteral("o"), QString(), "other");
    Scan();
    Model.SelectFiles({Song, Other});
    Files.RenameFile();
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Please select one file to rename."));
    Model.SelectFiles({Song});

    // Only the letter case changes: carried out on Linux.
    User.TextAnswers = {QStringLiteral("song")};
    Files.RenameFile();
    const QString Lower = Root + QStringLiteral("/song.mp3");
    EXPECT_TRUE(QFile::exists(Lower));
    EXPECT_FALSE(QFile::exists(Song));
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed: ") + Lower);
    EXPECT_EQ(Model.CurrentFile(), Lower);

    for (const char* Bad : {"a/b.mp3", "..", ".", "Other.mp3"}) {
        User.Errors.clear();
        User.TextAnswers = {QLatin1String(Bad)};
        Files.RenameFile();
        EXPECT_EQ(User.Errors, QStringList{QStringLiteral("Failed to rename file.")}) << Bad;
    }
    EXPECT_EQ(Read(Other), QByteArray("other"));
    User.TextAnswers = {QStringLiteral("New.Name")};
    Files.RenameFile();
    EXPECT_TRUE(QFile::exists(Root + QStringLiteral("/New.Name")));
}

TEST_F(FileCommandsTest, UndoFollowsARenamedFileAndSkipsAVanishedOne) {
    const QString P = Add(QStringLiteral("1.mp3"), QStringLiteral("Old"));
    Scan();
    Model.SelectFiles({P});
    // Unapplied text goes in before the rename, to the file's record.
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("New"));
    User.TextAnswers = {QStringLiteral("renamed")};
    Files.RenameFile();
    const QString R = Root + QStringLiteral("/renamed.mp3");
    TAudioTag Rec;
    ASSERT_TRUE(Model.TryGetCachedTag(R, Rec));
    EXPECT_EQ(Rec.Title, QStringLiteral("New"));
    EXPECT_TRUE(Rec.Modified);
    Model.Save();
    EXPECT_EQ(Service->Stored[R].Title, QStringLiteral("New"));

    // Undo writes the old tags into the file under its new name.
    Model.Undo();
    EXPECT_EQ(Service->Stored[R].Title, QStringLiteral("Old"));
    EXPECT_FALSE(Service->SavedPaths.contains(P));

    // A file that vanished: its step is skipped with a message, and a file
    // that now has its old name is left alone.
    Model.SelectFiles({R});
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("Again"));
    Model.Save();
    ASSERT_TRUE(QFile::rename(R, Root + QStringLiteral("/elsewhere.mp3")));
    Service->SavedPaths.clear();
    Model.Undo();
    EXPECT_TRUE(Service->SavedPaths.isEmpty());
    EXPECT_TRUE(User.Informed.last().startsWith(QStringLiteral("These files no longer exist")));
    EXPECT_TRUE(User.Informed.last().contains(R));
}

TEST_F(FileCommandsTest, DeleteEmptiesTheEditorAndDropsUndoSteps) {
    const QString A = Add(QStringLiteral("a.mp3"), QStringLiteral("A"));
    const QString B = Add(QStringLiteral("b.mp3"), QStringLiteral("B"));
    Scan();
    Model.SelectFiles({A});
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("A2"));
    Model.ApplyEditorToSelection();
    ASSERT_EQ(Model.CurrentFile(), A);
    ASSERT_TRUE(QFile::remove(B));  // gone meanwhile: no error
    Model.SelectFiles({A, B});
    Model.SelectFiles({A});
    User.ConfirmAnswers = {true};
    Model.SelectFiles({A, B});
    Files.DeleteFiles();
    EXPECT_EQ(User.Confirmations.last(), QStringLiteral("Delete 2 selected file(s)? This cannot be undone."));
    EXPECT_TRUE(User.Errors.isEmpty());
    EXPECT_EQ(Model.Status(), QStringLiteral("Deleted 2 file(s)."));
    EXPECT_EQ(Model.FileList().rowCount(), 0);
    EXPECT_TRUE(Model.TagCache().isEmpty());
    EXPECT_FALSE(Model.CanUndo());

    // The file shown in the editor: the editor is emptied.
    const QString C = Add(QStringLiteral("c.mp3"), QStringLiteral("C"), QStringLiteral("Art"));
    Scan();
    Model.SelectFiles({C});
    EXPECT_EQ(Model.EditorText(TMainModel::efArtist), QStringLiteral("Art"));
    User.ConfirmAnswers = {true};
    Files.DeleteFiles();
    EXPECT_FALSE(QFile::exists(C));
    EXPECT_EQ(Model.CurrentFile(), QString());
    for (int f = 0; f < TMainModel::kFieldCount; ++f) EXPECT_EQ(Model.EditorText(f), QString());
    EXPECT_FALSE(Model.CoverDisplay().HasPicture());
}

TEST_F(FileCommandsTest, MoveFailsOnlyForAnExistingNameAndAsksToSaveFirst) {
    const QString A = Add(QStringLiteral("a.mp3"), QStringLiteral("A"), QString(), "A");
    const QString B = Add(QStringLiteral("b.mp3"), QStringLiteral("B"), QString(), "B");
    testutil::TTempDir Target;
    const QString To = Q(Target.path());
    testutil::WriteFile(Target.file("b.mp3"), std::string("theirs"));
    Scan();
    Model.SelectFiles({A, B});
    Model.SetEditorText(TMainModel::efArtist, QStringLiteral("pending"));
    User.FolderAnswer = To;
    User.ConfirmAnswers = {true};  // save the changes first
    Files.MoveFiles();
    EXPECT_EQ(User.Confirmations, QStringList{QStringLiteral("Do you want to save the tag changes?")});
    EXPECT_EQ(Service->Stored[A].Artist, QStringLiteral("pending"));
    EXPECT_EQ(User.Errors, QStringList{QStringLiteral("Failed to move \"") + B +
                                       QStringLiteral("\": The specified file already exists")});
    EXPECT_EQ(Read(To + QStringLiteral("/a.mp3")), QByteArray("A"));
    EXPECT_EQ(Read(To + QStringLiteral("/b.mp3")), QByteArray("theirs"));
    EXPECT_EQ(Read(B), QByteArray("B"));
    ASSERT_TRUE(ScanAndWait(Model, Root));
    EXPECT_EQ(Model.FileList().rowCount(), 1);
    EXPECT_EQ(Model.FileList().PathAt(0), B);
    // The edit's undo step moved along with the file: Undo writes the old
    // artist into the moved file, and B (not moved) at its place.
    Service->SavedPaths.clear();
    Model.Undo();
    EXPECT_EQ(Service->Stored[To + QStringLiteral("/a.mp3")].Artist, QString());
    EXPECT_EQ(Service->SavedPaths.size(), 2);
    EXPECT_TRUE(Service->SavedPaths.contains(To + QStringLiteral("/a.mp3")));
    EXPECT_FALSE(Service->SavedPaths.contains(A));
}

TEST_F(FileCommandsTest, CopyReplacesButNeverItselfOrAnotherSource) {
    const QString A = Add(QStringLiteral("x/song.mp3"), QStringLiteral("A"), QString(), "first");
    const QString B = Add(QStringLiteral("y/song.mp3"), QStringLiteral("B"), QString(), "second");
    const QString C = Add(QStringLiteral("x/c.mp3"), QStringLiteral("C"), QString(), "c");
    testutil::TTempDir Target;
    const QString To = Q(Target.path());
    testutil::WriteFile(Target.file("c.mp3"), std::string("old"));
    Scan();
    Model.SelectFiles({A, B, C});
    User.FolderAnswer = To;
    Files.CopyFiles();
    // The second song.mp3 would overwrite the first copy: refused.
    EXPECT_EQ(Read(To + QStringLiteral("/song.mp3")), QByteArray("first"));
    EXPECT_EQ(Read(To + QStringLiteral("/c.mp3")), QByteArray("c"));
    ASSERT_EQ(User.Errors.size(), 1);
    EXPECT_TRUE(User.Errors[0].startsWith(QStringLiteral("Failed to copy \"") + B + QStringLiteral("\": ")));
    EXPECT_EQ(Model.Status(), QStringLiteral("Copied 2 file(s) to ") + To + QLatin1Char('/'));
    EXPECT_TRUE(QDir(To).entryList(QDir::Hidden | QDir::Files).size() == 2);  // no temporary left

    // Into the source's own folder, and through a link to it: the file
    // itself is never the target.
    User.Errors.clear();
    Model.SelectFiles({C});
    User.FolderAnswer = Root + QStringLiteral("/x");
    Files.CopyFiles();
    ASSERT_EQ(::symlink((Root + QStringLiteral("/x")).toLocal8Bit().constData(),
                        (Root + QStringLiteral("/link")).toLocal8Bit().constData()),
              0);
    User.FolderAnswer = Root + QStringLiteral("/link");
    Files.CopyFiles();
    EXPECT_EQ(User.Errors.size(), 2);
    EXPECT_EQ(Read(C), QByteArray("c"));
    EXPECT_EQ(Model.Status(), QStringLiteral("Copied 0 file(s) to ") + Root + QStringLiteral("/link/"));
}

TEST_F(FileCommandsTest, FoldersNewNestedRenameAndRefusals) {
    Add(QStringLiteral("Music/a.mp3"), QStringLiteral("A"));
    QDir().mkpath(Root + QStringLiteral("/Sibling"));
    const QString Music = Root + QStringLiteral("/Music");
    ASSERT_TRUE(ScanAndWait(Model, Music));

    User.TextAnswers = {QStringLiteral("a/b")};
    Files.NewFolder();
    EXPECT_TRUE(QFileInfo(Music + QStringLiteral("/a/b")).isDir());
    EXPECT_EQ(Model.Status(), QStringLiteral("Created folder: ") + Music + QStringLiteral("/a/b"));
    EXPECT_EQ(User.Asked.last(), QStringLiteral("New folder|Folder name:|New Folder"));
    User.TextAnswers = {QStringLiteral("a/b")};
    Files.NewFolder();
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Folder already exists."));
    User.TextAnswers = {QStringLiteral("../escape")};
    Files.NewFolder();
    EXPECT_FALSE(QFileInfo::exists(Root + QStringLiteral("/escape")));
    EXPECT_EQ(User.Errors.size(), 1);
    // An archive-like name is a folder like any other.
    User.TextAnswers = {QStringLiteral("backup.zip")};
    Files.NewFolder();
    EXPECT_TRUE(QFileInfo(Music + QStringLiteral("/backup.zip")).isDir());

    User.TextAnswers = {QStringLiteral("Sibling")};
    Files.RenameFolder();
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Folder already exists."));
    User.TextAnswers = {QStringLiteral("..")};
    Files.RenameFolder();
    EXPECT_EQ(User.Errors.size(), 2);

    // Letter case alone is a new name on Linux; the folder is shown and
    // scanned under it; a pending edit is offered for saving first.
    Model.SelectFiles({Music + QStringLiteral("/a.mp3")});
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("edited"));
    QString Shown;
    QObject::connect(&Model, &TMainModel::FolderShown, [&](const QString& F) { Shown = F; });
    User.ConfirmAnswers = {true};
    User.TextAnswers = {QStringLiteral("music")};
    QEventLoop Loop;
    QObject::connect(&Model, &TMainModel::ScanFinished, &Loop, &QEventLoop::quit);
    Files.RenameFolder();
    if (Model.IsScanning()) Loop.exec();
    const QString Lower = Root + QStringLiteral("/music");
    EXPECT_TRUE(QFileInfo(Lower).isDir());
    EXPECT_EQ(Shown, Lower);
    EXPECT_EQ(Model.SelectedFolder(), Lower);
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed folder: ") + Lower);  // kept through the rescan
    EXPECT_EQ(Service->Stored[Music + QStringLiteral("/a.mp3")].Title, QStringLiteral("edited"));
    EXPECT_EQ(Model.FileList().PathAt(0), Lower + QStringLiteral("/a.mp3"));
    // The undo history followed the folder.
    Model.Undo();
    EXPECT_EQ(Service->Stored[Lower + QStringLiteral("/a.mp3")].Title, QStringLiteral("A"));
}

// A move to another file system copies; when the target fills up, the
// source stays whole and no partial target is left. Needs a small tmpfs,
// which only a privileged test run can mount.
TEST_F(FileCommandsTest, CrossFileSystemMoveToAFullDiskKeepsTheSource) {
    testutil::TTempDir Mount;
    const std::string Command = "mount -t tmpfs -o size=64k tmpfs '" + Mount.path() + "' 2>/dev/null";
    if (::geteuid() != 0 || testutil::Run(Command) != 0) GTEST_SKIP() << "cannot mount a small tmpfs here";
    struct TUnmount {
        std::string Path;
        ~TUnmount() { testutil::Run("umount '" + Path + "'"); }
    } Unmount{Mount.path()};
    const QString To = Q(Mount.path());
    const QByteArray Big(256 * 1024, 'b');
    const QString Large = Add(QStringLiteral("large.mp3"), QStringLiteral("L"), QString(), Big);
    const QString Small = Add(QStringLiteral("small.mp3"), QStringLiteral("S"), QString(), "small");
    ASSERT_EQ(::chmod(Small.toLocal8Bit().constData(), 0640), 0);
    struct stat Before {};
    ::stat(Small.toLocal8Bit().constData(), &Before);
    Scan();
    Model.SelectFiles({Large, Small});
    User.FolderAnswer = To;
    Files.MoveFiles();
    ASSERT_EQ(User.Errors.size(), 1);
    EXPECT_TRUE(User.Errors[0].startsWith(QStringLiteral("Failed to move \"") + Large));
    EXPECT_EQ(Read(Large), Big);
    EXPECT_FALSE(QFileInfo::exists(To + QStringLiteral("/large.mp3")));
    EXPECT_FALSE(QFileInfo::exists(Small));
    EXPECT_EQ(Read(To + QStringLiteral("/small.mp3")), QByteArray("small"));
    struct stat After {};
    ::stat((To + QStringLiteral("/small.mp3")).toLocal8Bit().constData(), &After);
    EXPECT_EQ(After.st_mode & 07777, 0640u);
    EXPECT_EQ(After.st_mtim.tv_sec, Before.st_mtim.tv_sec);
    EXPECT_EQ(Model.Status(), QStringLiteral("Moved 1 file(s) to ") + To + QLatin1Char('/'));
}

}  // namespace
