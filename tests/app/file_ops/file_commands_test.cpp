// Renaming, copying, moving and deleting real files made at test time, with
// the window model's cache, rows, editor and undo history kept in step.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <latch>
#include <mutex>
#include <sys/stat.h>
#include <thread>
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
        Service->Store(Path, MakeTag(Path, Title, Artist));
        return Path;
    }
    void Scan() { ASSERT_TRUE(ScanAndWait(Model, Root)); }
    // Runs a command and waits for the end of its work on disk, which runs
    // off this thread and reports back through the event loop.
    void RunToEnd(void (TFileCommands::*Command)()) {
        (Files.*Command)();
        WaitForEnd();
    }
    void WaitForEnd() {
        if (!Files.IsRunning()) return;
        QEventLoop Loop;
        QObject::connect(&Files, &TFileCommands::Finished, &Loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &Loop, &QEventLoop::quit);
        Loop.exec();
        EXPECT_FALSE(Files.IsRunning());
    }
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
    RunToEnd(&TFileCommands::TagToName);
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
    RunToEnd(&TFileCommands::TagToName);
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
    RunToEnd(&TFileCommands::TagToName);
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed 1 file(s)."));
    EXPECT_EQ(Read(Root + QStringLiteral("/Dup.mp3")), QByteArray("D"));
    EXPECT_EQ(Read(E), QByteArray("E"));

    // A pattern of blanks does nothing.
    User.TextAnswers = {QStringLiteral("   ")};
    RunToEnd(&TFileCommands::TagToName);
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed 1 file(s)."));
}

TEST_F(FileCommandsTest, SingleRenameCaseOnlyAndRefusedNames) {
    const QString Song = Add(QStringLiteral("Song.mp3"), QStringLiteral("t"));
    const QString Other = Add(QStringLiteral("Other.mp3"), QStringLiteral("o"), QString(), "other");
    Scan();
    Model.SelectFiles({Song, Other});
    RunToEnd(&TFileCommands::RenameFile);
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Please select one file to rename."));
    Model.SelectFiles({Song});

    // Only the letter case changes: carried out on Linux.
    User.TextAnswers = {QStringLiteral("song")};
    RunToEnd(&TFileCommands::RenameFile);
    const QString Lower = Root + QStringLiteral("/song.mp3");
    EXPECT_TRUE(QFile::exists(Lower));
    EXPECT_FALSE(QFile::exists(Song));
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed: ") + Lower);
    EXPECT_EQ(Model.CurrentFile(), Lower);

    for (const char* Bad : {"a/b.mp3", "..", ".", "Other.mp3"}) {
        User.Errors.clear();
        User.TextAnswers = {QLatin1String(Bad)};
        RunToEnd(&TFileCommands::RenameFile);
        EXPECT_EQ(User.Errors, QStringList{QStringLiteral("Failed to rename file.")}) << Bad;
    }
    EXPECT_EQ(Read(Other), QByteArray("other"));
    User.TextAnswers = {QStringLiteral("New.Name")};
    RunToEnd(&TFileCommands::RenameFile);
    EXPECT_TRUE(QFile::exists(Root + QStringLiteral("/New.Name")));
}

TEST_F(FileCommandsTest, UndoFollowsARenamedFileAndSkipsAVanishedOne) {
    const QString P = Add(QStringLiteral("1.mp3"), QStringLiteral("Old"));
    Scan();
    Model.SelectFiles({P});
    // Unapplied text goes in before the rename, to the file's record.
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("New"));
    User.TextAnswers = {QStringLiteral("renamed")};
    RunToEnd(&TFileCommands::RenameFile);
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
    RunToEnd(&TFileCommands::DeleteFiles);
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
    RunToEnd(&TFileCommands::DeleteFiles);
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
    RunToEnd(&TFileCommands::MoveFiles);
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
    RunToEnd(&TFileCommands::CopyFiles);
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
    RunToEnd(&TFileCommands::CopyFiles);
    ASSERT_EQ(::symlink((Root + QStringLiteral("/x")).toLocal8Bit().constData(),
                        (Root + QStringLiteral("/link")).toLocal8Bit().constData()),
              0);
    User.FolderAnswer = Root + QStringLiteral("/link");
    RunToEnd(&TFileCommands::CopyFiles);
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
    RunToEnd(&TFileCommands::NewFolder);
    EXPECT_TRUE(QFileInfo(Music + QStringLiteral("/a/b")).isDir());
    EXPECT_EQ(Model.Status(), QStringLiteral("Created folder: ") + Music + QStringLiteral("/a/b"));
    EXPECT_EQ(User.Asked.last(), QStringLiteral("New folder|Folder name:|New Folder"));
    User.TextAnswers = {QStringLiteral("a/b")};
    RunToEnd(&TFileCommands::NewFolder);
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Folder already exists."));
    User.TextAnswers = {QStringLiteral("../escape")};
    RunToEnd(&TFileCommands::NewFolder);
    EXPECT_FALSE(QFileInfo::exists(Root + QStringLiteral("/escape")));
    EXPECT_EQ(User.Errors.size(), 1);
    // An archive-like name is a folder like any other.
    User.TextAnswers = {QStringLiteral("backup.zip")};
    RunToEnd(&TFileCommands::NewFolder);
    EXPECT_TRUE(QFileInfo(Music + QStringLiteral("/backup.zip")).isDir());

    User.TextAnswers = {QStringLiteral("Sibling")};
    RunToEnd(&TFileCommands::RenameFolder);
    EXPECT_EQ(User.Informed.last(), QStringLiteral("Folder already exists."));
    User.TextAnswers = {QStringLiteral("..")};
    RunToEnd(&TFileCommands::RenameFolder);
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
    RunToEnd(&TFileCommands::RenameFolder);
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
    RunToEnd(&TFileCommands::MoveFiles);
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

// A folder that refuses every change: mode 0555 for an ordinary user; for
// root, whom modes do not stop, a small tmpfs remounted read-only. Files are
// put in before Lock(). Error is the text a change then gets; empty when no
// such folder can be made here.
class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(const QString& Path) : FPath(Path.toStdString()) {
        QDir().mkpath(Path);
        if (::geteuid() == 0)
            FMounted = testutil::Run("mount -t tmpfs -o size=256k tmpfs '" + FPath + "' 2>/dev/null") == 0;
    }
    ~TReadOnlyFolder() {
        if (FMounted)
            testutil::Run("umount '" + FPath + "'");
        else
            ::chmod(FPath.c_str(), 0755);
    }
    QString Lock() {
        if (FMounted) {
            if (testutil::Run("mount -o remount,ro '" + FPath + "'") == 0)
                return QString::fromLocal8Bit(std::strerror(EROFS));
        } else if (::geteuid() != 0 && ::chmod(FPath.c_str(), 0555) == 0) {
            return QString::fromLocal8Bit(std::strerror(EACCES));
        }
        return QString();
    }

private:
    std::string FPath;
    bool FMounted = false;
};

// Each file's outcome comes back in the selection's order with the texts,
// the skips and the summary of a plain loop over the files: names taken
// (on disk or by an earlier file of the batch), files gone since the scan,
// folders that refuse changes.
TEST_F(FileCommandsTest, OutcomesAndReportsFollowTheSelectionsOrder) {
    const QString Missing = QString::fromLocal8Bit(std::strerror(ENOENT));
    const QString Exists = fileops::AlreadyExistsText();
    auto Select = [&](const QStringList& Names) {
        QStringList Paths;
        for (const QString& Name : Names) Paths << Root + QLatin1Char('/') + Name;
        Model.SortByColumn(lcFile);
        if (!Model.SortAscending()) Model.SortByColumn(lcFile);
        Model.SelectFiles(Paths);
        return Paths;
    };
    auto Reset = [&] {
        User.Errors.clear();
        QDir(Root).removeRecursively();
        QDir().mkpath(Root);
    };

    // Moves: a name taken in the target, a file gone since the scan.
    Reset();
    for (const char* Name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3"}) Add(QLatin1String(Name), QLatin1String(Name));
    {
        testutil::TTempDir Target;
        const QString To = Q(Target.path());
        testutil::WriteFile(Target.file("b.mp3"), std::string("theirs"));
        Scan();
        const QStringList P = Select(
            {QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3"), QStringLiteral("d.mp3")});
        ASSERT_TRUE(QFile::remove(P[2]));
        User.FolderAnswer = To;
        RunToEnd(&TFileCommands::MoveFiles);
        EXPECT_EQ(User.Errors,
                  (QStringList{QStringLiteral("Failed to move \"") + P[1] + QStringLiteral("\": ") + Exists,
                               QStringLiteral("Failed to move \"") + P[2] + QStringLiteral("\": ") + Missing}));
        EXPECT_EQ(Model.Status(), QStringLiteral("Moved 2 file(s) to ") + To + QLatin1Char('/'));
        EXPECT_EQ(Read(To + QStringLiteral("/b.mp3")), QByteArray("theirs"));
        EXPECT_EQ(Read(To + QStringLiteral("/d.mp3")), QByteArray("audio"));
        EXPECT_EQ(Read(P[1]), QByteArray("audio"));
    }

    // Copies: the same two, and each file in turn refused by a folder that
    // takes no changes.
    Reset();
    for (const char* Name : {"a.mp3", "b.mp3", "c.mp3"}) Add(QLatin1String(Name), QLatin1String(Name));
    {
        testutil::TTempDir Target;
        const QString To = Q(Target.path());
        Scan();
        const QStringList P = Select({QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3")});
        ASSERT_TRUE(QFile::remove(P[1]));
        User.FolderAnswer = To;
        RunToEnd(&TFileCommands::CopyFiles);
        EXPECT_EQ(User.Errors,
                  QStringList{QStringLiteral("Failed to copy \"") + P[1] + QStringLiteral("\": ") + Missing});
        EXPECT_EQ(Model.Status(), QStringLiteral("Copied 2 file(s) to ") + To + QLatin1Char('/'));

        TReadOnlyFolder Locked(To + QStringLiteral("/locked"));
        const QString Refused = Locked.Lock();
        if (!Refused.isEmpty()) {
            User.Errors.clear();
            Select({QStringLiteral("a.mp3"), QStringLiteral("c.mp3")});
            User.FolderAnswer = To + QStringLiteral("/locked");
            RunToEnd(&TFileCommands::CopyFiles);
            EXPECT_EQ(User.Errors,
                      (QStringList{QStringLiteral("Failed to copy \"") + P[0] + QStringLiteral("\": ") + Refused,
                                   QStringLiteral("Failed to copy \"") + P[2] + QStringLiteral("\": ") + Refused}));
            EXPECT_EQ(Model.Status(), QStringLiteral("Copied 0 file(s) to ") + To + QStringLiteral("/locked/"));
        }
    }

    // Renames by pattern: a name on disk, a name an earlier file of the
    // batch took, a file gone since the scan are all skipped without a word.
    Reset();
    Add(QStringLiteral("1.mp3"), QStringLiteral("Same"));
    Add(QStringLiteral("2.mp3"), QStringLiteral("Same"));
    Add(QStringLiteral("3.mp3"), QStringLiteral("Gone"));
    Add(QStringLiteral("4.mp3"), QStringLiteral("Taken"));
    Add(QStringLiteral("5.mp3"), QStringLiteral("Fine"));
    Add(QStringLiteral("Taken.mp3"), QStringLiteral("x"), QString(), "keep");
    Scan();
    {
        const QStringList P = Select({QStringLiteral("1.mp3"), QStringLiteral("2.mp3"), QStringLiteral("3.mp3"),
                                      QStringLiteral("4.mp3"), QStringLiteral("5.mp3")});
        ASSERT_TRUE(QFile::remove(P[2]));
        User.TextAnswers = {QStringLiteral("%title%")};
        RunToEnd(&TFileCommands::TagToName);
        EXPECT_TRUE(User.Errors.isEmpty());
        EXPECT_EQ(Model.Status(), QStringLiteral("Renamed 2 file(s)."));
        EXPECT_TRUE(QFile::exists(Root + QStringLiteral("/Same.mp3")));
        EXPECT_TRUE(QFile::exists(P[1]));
        EXPECT_EQ(Read(Root + QStringLiteral("/Taken.mp3")), QByteArray("keep"));
        EXPECT_TRUE(QFile::exists(Root + QStringLiteral("/Fine.mp3")));
        EXPECT_GE(Model.FindListRow(Root + QStringLiteral("/Same.mp3")), 0);
        EXPECT_GE(Model.FindListRow(P[1]), 0);
        EXPECT_LT(Model.FindListRow(P[0]), 0);
    }

    // Renames and deletes in a folder that takes no changes.
    Reset();
    TReadOnlyFolder Locked(Root + QStringLiteral("/locked"));
    const QString A = Add(QStringLiteral("locked/a.mp3"), QStringLiteral("New A"));
    const QString B = Add(QStringLiteral("locked/b.mp3"), QStringLiteral("New B"));
    const QString Refused = Locked.Lock();
    if (Refused.isEmpty()) GTEST_SKIP() << "no folder here refuses changes";
    ASSERT_TRUE(ScanAndWait(Model, Root + QStringLiteral("/locked")));
    Model.SelectFiles({A, B});
    User.TextAnswers = {QStringLiteral("%title%")};
    RunToEnd(&TFileCommands::TagToName);
    EXPECT_TRUE(User.Errors.isEmpty());
    EXPECT_EQ(Model.Status(), QStringLiteral("Renamed 0 file(s)."));
    User.ConfirmAnswers = {true};
    RunToEnd(&TFileCommands::DeleteFiles);
    EXPECT_EQ(User.Errors, (QStringList{QStringLiteral("Failed to delete \"") + A + QStringLiteral("\": ") + Refused,
                                        QStringLiteral("Failed to delete \"") + B + QStringLiteral("\": ") + Refused}));
    EXPECT_EQ(Model.Status(), QStringLiteral("Deleted 0 file(s)."));
    EXPECT_EQ(Model.FileList().rowCount(), 2);
}

// The work on disk runs on a thread of its own: while a file is held there,
// the caller's event loop goes on (a queued call runs), the window is told
// the command is busy and how far it got, and the list follows each file.
TEST_F(FileCommandsTest, WorkRunsOffTheCallersThreadWhileTheEventLoopTurns) {
    QStringList Paths;
    for (const char* Name : {"a.mp3", "b.mp3", "c.mp3"})
        Paths << Add(QLatin1String(Name), QStringLiteral("T") + QLatin1String(Name).left(1));
    Scan();
    Model.SortByColumn(lcFile);
    if (!Model.SortAscending()) Model.SortByColumn(lcFile);
    Model.SelectFiles(Paths);

    std::latch Release(1);
    std::mutex Mutex;
    std::vector<std::thread::id> StepThreads;
    Files.SetStepHook([&](int Index) {
        {
            std::lock_guard Lock(Mutex);
            StepThreads.push_back(std::this_thread::get_id());
        }
        if (Index == 0) Release.wait();
    });
    QList<bool> Busy;
    QObject::connect(&Files, &TFileCommands::BusyChanged, [&](bool B) { Busy << B; });
    QStringList Statuses;
    QObject::connect(&Model, &TMainModel::StatusChanged, [&](const QString& Text) { Statuses << Text; });
    User.TextAnswers = {QStringLiteral("%title%")};
    Files.TagToName();
    ASSERT_TRUE(Files.IsRunning());
    EXPECT_EQ(Busy, QList<bool>{true});
    bool RanWhileHeld = false;
    QMetaObject::invokeMethod(
        &Model,
        [&] {
            // The first file is held on the worker: nothing renamed yet.
            RanWhileHeld = Files.IsRunning() && QFile::exists(Paths[0]) && Model.FindListRow(Paths[0]) >= 0;
            Release.count_down();
        },
        Qt::QueuedConnection);
    WaitForEnd();
    EXPECT_TRUE(RanWhileHeld);
    ASSERT_EQ(StepThreads.size(), 3u);
    for (const std::thread::id& Id : StepThreads) {
        EXPECT_NE(Id, std::this_thread::get_id());
        EXPECT_EQ(Id, StepThreads[0]);  // one file after another, on one thread
    }
    EXPECT_EQ(Busy, (QList<bool>{true, false}));
    EXPECT_EQ(Statuses,
              (QStringList{QStringLiteral("Renaming files: 0 of 3..."), QStringLiteral("Renaming files: 1 of 3..."),
                           QStringLiteral("Renaming files: 2 of 3..."), QStringLiteral("Renamed 3 file(s).")}));
    for (const char* Name : {"Ta.mp3", "Tb.mp3", "Tc.mp3"})
        EXPECT_GE(Model.FindListRow(Root + QLatin1Char('/') + QLatin1String(Name)), 0) << Name;

    // A command asked for while one runs does nothing.
    std::latch Again(1);
    Files.SetStepHook([&](int) { Again.wait(); });
    Model.SelectFiles({Root + QStringLiteral("/Ta.mp3")});
    User.TextAnswers = {QStringLiteral("first"), QStringLiteral("second")};
    Files.RenameFile();
    ASSERT_TRUE(Files.IsRunning());
    Files.RenameFile();
    EXPECT_EQ(User.TextAnswers.size(), 1u);  // not even asked
    Again.count_down();
    WaitForEnd();
    EXPECT_TRUE(QFile::exists(Root + QStringLiteral("/first.mp3")));
}

// A cancel lets the file under way end whole and starts no other; the list,
// the records and the summary show exactly what was done.
TEST_F(FileCommandsTest, CancelStopsAfterTheFileUnderWay) {
    QStringList Paths;
    for (int i = 0; i < 5; ++i) Paths << Add(QStringLiteral("%1.mp3").arg(i), QStringLiteral("T%1").arg(i));
    testutil::TTempDir Target;
    const QString To = Q(Target.path());
    Scan();
    Model.SortByColumn(lcFile);
    if (!Model.SortAscending()) Model.SortByColumn(lcFile);
    Model.SelectFiles(Paths);
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Reached = false, Released = false;
    Files.SetStepHook([&](int Index) {
        if (Index != 2) return;
        std::unique_lock Lock(Mutex);
        Reached = true;
        Changed.notify_all();
        Changed.wait(Lock, [&] { return Released; });
    });
    User.FolderAnswer = To;
    Files.MoveFiles();
    {
        std::unique_lock Lock(Mutex);
        Changed.wait(Lock, [&] { return Reached; });
        Files.Cancel();
        Released = true;
        Changed.notify_all();
    }
    WaitForEnd();
    for (int i = 0; i < 5; ++i) {
        const QString Moved = To + QStringLiteral("/%1.mp3").arg(i);
        EXPECT_EQ(QFile::exists(Moved), i <= 2) << i;
        EXPECT_EQ(QFile::exists(Paths[i]), i > 2) << i;
    }
    EXPECT_EQ(Model.Status(), QStringLiteral("Moved 3 file(s) to ") + To + QLatin1Char('/'));
    if (Model.IsScanning()) {
        QEventLoop Loop;
        QObject::connect(&Model, &TMainModel::ScanFinished, &Loop, &QEventLoop::quit);
        Loop.exec();
    }
    EXPECT_EQ(Model.FileList().rowCount(), 2);
    EXPECT_TRUE(User.Errors.isEmpty());
}

// A batch rename keeps the undo history: the edit applied before it is
// undone into the files under their new names.
TEST_F(FileCommandsTest, UndoAfterABatchRenameWritesTheRenamedFiles) {
    const QString A = Add(QStringLiteral("a.mp3"), QStringLiteral("Old A"));
    const QString B = Add(QStringLiteral("b.mp3"), QStringLiteral("Old B"));
    Scan();
    Model.SelectFiles({A, B});
    Model.SetEditorText(TMainModel::efArtist, QStringLiteral("Band"));
    User.TextAnswers = {QStringLiteral("%artist% - %title%")};
    RunToEnd(&TFileCommands::TagToName);
    const QString A2 = Root + QStringLiteral("/Band - Old A.mp3");
    const QString B2 = Root + QStringLiteral("/Band - Old B.mp3");
    ASSERT_TRUE(QFile::exists(A2));
    ASSERT_TRUE(QFile::exists(B2));
    Model.Save();
    EXPECT_EQ(Service->Stored[A2].Artist, QStringLiteral("Band"));
    Service->SavedPaths.clear();
    Model.Undo();
    EXPECT_EQ(Service->Stored[A2].Artist, QString());
    EXPECT_EQ(Service->Stored[B2].Artist, QString());
    EXPECT_EQ(Service->SavedPaths.size(), 2);
    EXPECT_FALSE(Service->SavedPaths.contains(A));
}

}  // namespace

namespace {

// Outcomes that are all ready at once are taken a slice at a time, with the
// event loop's turn between slices: the window paints and takes input while
// a thousand renames on a fast disk update their rows.
TEST_F(FileCommandsTest, ReadyOutcomesLeaveTheEventLoopItsTurns) {
    QStringList Paths;
    for (int i = 0; i < 12; ++i)
        Paths << Add(QStringLiteral("%1.mp3").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("T%1").arg(i));
    Scan();
    Model.SelectFiles(Paths);
    // The worker is at the last file before the first outcome is taken.
    std::latch AtLast(1);
    Files.SetStepHook([&](int Index) {
        if (Index == 11) AtLast.count_down();
    });
    Files.SetOutcomeSlice(0);  // a turn after every outcome
    QStringList Events;
    QObject::connect(&Model, &TMainModel::StatusChanged, [&](const QString& Text) {
        if (Text.startsWith(QStringLiteral("Renaming"))) Events << QStringLiteral("take");
    });
    QTimer Turns;
    Turns.setInterval(0);
    QObject::connect(&Turns, &QTimer::timeout, [&] {
        if (Events.isEmpty() || Events.last() != QStringLiteral("turn")) Events << QStringLiteral("turn");
    });
    User.TextAnswers = {QStringLiteral("%title% x")};
    Files.TagToName();
    ASSERT_TRUE(Files.IsRunning());
    AtLast.wait();
    Events.clear();  // the "0 of 12" shown at the start
    Turns.start();
    WaitForEnd();
    Turns.stop();
    EXPECT_EQ(Events.count(QStringLiteral("take")), 11);  // the last file shows the summary instead
    for (qsizetype i = 1; i < Events.size(); ++i)
        EXPECT_FALSE(Events[i] == QStringLiteral("take") && Events[i - 1] == QStringLiteral("take"))
            << "two outcomes taken in one turn at event " << i;
    EXPECT_TRUE(QFile::exists(Root + QStringLiteral("/T11 x.mp3")));
}

}  // namespace
