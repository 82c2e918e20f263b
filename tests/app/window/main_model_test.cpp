// The main window model on an in-memory tag service: scanning, the editor
// with "<keep>", filter and sort, save with the error report, remove, undo
// and the picture display.
#include <QCoreApplication>
#include <QFile>
#include <QEventLoop>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "app/main_model.h"
#include "app/version.h"
#include "tests/app/window/window_test_support.h"
#include "tests/test_util.h"

using namespace windowtest;

namespace {

class MainModelTest : public TModelTest {
protected:
    // Creates an (empty) file and its stored tags.
    QString AddFile(const QString& Name, const TAudioTag& Tags = TAudioTag()) {
        const QString Path = Q(Dir.path()) + QLatin1Char('/') + Name;
        testutil::WriteFile(Path.toStdString(), std::string("x"));
        TAudioTag T = Tags;
        T.FileName = Path;
        Service->Stored.insert(Path, T);
        return Path;
    }
    QString AddTitled(const QString& Name, const QString& Title) { return AddFile(Name, MakeTag(QString(), Title)); }

    void Scan() { ASSERT_TRUE(ScanAndWait(Model, Q(Dir.path()))); }

    // Rows in list order after sorting by file name.
    void ScanSorted() {
        Scan();
        Model.SortByColumn(lcFile);
        if (!Model.SortAscending()) Model.SortByColumn(lcFile);
    }
    TAudioTag Cached(const QString& Path) {
        TAudioTag T;
        EXPECT_TRUE(Model.TryGetCachedTag(Path, T)) << Path.toStdString();
        return T;
    }
    QStringList Column(int Col) {
        QStringList L;
        for (int r = 0; r < Model.FileList().rowCount(); ++r) L.append(Model.FileList().Cell(r, Col));
        return L;
    }
};

TEST_F(MainModelTest, ScanListsEveryAudioFileWithItsColumnsAndKeepsUnreadableOnes) {
    TAudioTag T = MakeTag(QString(), QStringLiteral("Song"), QStringLiteral("Band"));
    T.DurationSec = 185;
    T.Year = QStringLiteral("1999");
    T.Track = QStringLiteral("3/9");
    T.AlbumArtist = QStringLiteral("VA");
    const QString Song = AddFile(QStringLiteral("song.mp3"), T);
    // No stored tags: the load fails, the file still gets an empty record and a row.
    const QString Broken = Q(Dir.file("broken.flac"));
    testutil::WriteFile(Broken.toStdString(), std::string("x"));
    testutil::WriteFile(Dir.file("notes.txt"), std::string("x"));
    Scan();

    ASSERT_EQ(Model.FileList().rowCount(), 2);
    EXPECT_EQ(Model.Status(), QStringLiteral("Loaded 2 files."));
    const int Row = Model.FindListRow(Song);
    ASSERT_GE(Row, 0);
    const QStringList Expected = {QStringLiteral("song.mp3"), Q(Dir.path()),          QStringLiteral("Song"),
                                  QStringLiteral("Band"),     QStringLiteral("VA"),   QString(),
                                  QStringLiteral("3:05"),     QStringLiteral("1999"), QStringLiteral("3/9")};
    for (int c = 0; c < lcCount; ++c) EXPECT_EQ(Model.FileList().Cell(Row, c), Expected[c]) << "column " << c;
    const int BrokenRow = Model.FindListRow(Broken);
    ASSERT_GE(BrokenRow, 0);
    EXPECT_EQ(Model.FileList().Cell(BrokenRow, lcDuration), QString());  // DurationSec 0: empty cell
    EXPECT_EQ(Cached(Broken).FileName, Broken);
    EXPECT_FALSE(Cached(Broken).Modified);
}

TEST_F(MainModelTest, DurationTextsAndParsing) {
    EXPECT_EQ(TFileListModel::FormatDuration(185), QStringLiteral("3:05"));
    EXPECT_EQ(TFileListModel::FormatDuration(605), QStringLiteral("10:05"));
    EXPECT_EQ(TFileListModel::FormatDuration(0), QString());
    EXPECT_EQ(TFileListModel::FormatDuration(-4), QString());
    EXPECT_EQ(TFileListModel::ParseDuration(QStringLiteral("10:05")), 605);
    EXPECT_EQ(TFileListModel::ParseDuration(QString()), 0);
    EXPECT_EQ(TFileListModel::ParseDuration(QStringLiteral("305")), 0);
    EXPECT_EQ(TFileListModel::ParseDuration(QStringLiteral("a:05")), 0);
    EXPECT_EQ(TFileListModel::DirectoryOf(QStringLiteral("/a.mp3")), QStringLiteral("/"));
    EXPECT_EQ(TFileListModel::DirectoryOf(QStringLiteral("/m/x/a.mp3")), QStringLiteral("/m/x"));
}

TEST_F(MainModelTest, SortsDurationsNumericallyAndFlipsOnSecondClick) {
    const int Durations[] = {599, 605, 0, 61};
    const char* Years[] = {"2001", "1999", "2010", "2005"};
    for (int i = 0; i < 4; ++i) {
        TAudioTag T;
        T.DurationSec = Durations[i];
        T.Year = QLatin1String(Years[i]);
        AddFile(QStringLiteral("f%1.mp3").arg(i), T);
    }
    Scan();
    Model.SortByColumn(lcDuration);
    EXPECT_EQ(Column(lcDuration),
              (QStringList{QString(), QStringLiteral("1:01"), QStringLiteral("9:59"), QStringLiteral("10:05")}));
    Model.SortByColumn(lcYear);
    Model.SortByColumn(lcYear);
    EXPECT_FALSE(Model.SortAscending());
    EXPECT_EQ(Column(lcYear), (QStringList{QStringLiteral("2010"), QStringLiteral("2005"), QStringLiteral("2001"),
                                           QStringLiteral("1999")}));
    // Text columns compare without regard to case.
    Model.SortByColumn(lcFile);
    EXPECT_EQ(Column(lcFile).first(), QStringLiteral("f0.mp3"));
}

TEST_F(MainModelTest, SortKeepsTheSelectionOnItsFiles) {
    const QString B = AddTitled(QStringLiteral("b.mp3"), QStringLiteral("B"));
    AddTitled(QStringLiteral("a.mp3"), QStringLiteral("A"));
    const QString C = AddTitled(QStringLiteral("c.mp3"), QStringLiteral("C"));
    Scan();
    Model.SelectFiles({C, B});
    Model.SortByColumn(lcTitle);
    Model.SortByColumn(lcTitle);  // descending: C, B, A
    EXPECT_EQ(Model.GetSelectedFiles(), (QStringList{C, B}));
}

TEST_F(MainModelTest, FilterMatchesTrimmedTextInNameTitleArtistAndAlbum) {
    const QString ByName = AddFile(QStringLiteral("beatles-help.mp3"));
    const QString ByArtist = AddFile(QStringLiteral("x.mp3"),
                                     MakeTag(QString(), QStringLiteral("Yesterday"), QStringLiteral("The Beatles")));
    AddFile(QStringLiteral("other.mp3"), MakeTag(QString(), QStringLiteral("Other")));
    Scan();
    Model.SetFilterText(QStringLiteral("  Beat \t"));
    QStringList Listed;
    for (int r = 0; r < Model.FileList().rowCount(); ++r) Listed.append(Model.FileList().PathAt(r));
    Listed.sort();
    QStringList Expected{ByName, ByArtist};
    Expected.sort();
    EXPECT_EQ(Listed, Expected);
    EXPECT_EQ(Model.TagCache().size(), 3);  // the filter hides rows, not records
    Model.SetFilterText(QString());
    EXPECT_EQ(Model.FileList().rowCount(), 3);
}

TEST_F(MainModelTest, FilteringKeepsTheListOrderAndClearingGivesItBack) {
    AddTitled(QStringLiteral("2 - x.mp3"), QStringLiteral("b"));
    AddTitled(QStringLiteral("10 - y.mp3"), QStringLiteral("c"));
    AddTitled(QStringLiteral("1 - z.mp3"), QStringLiteral("a"));
    Scan();
    const QStringList Natural{QStringLiteral("1 - z.mp3"), QStringLiteral("2 - x.mp3"), QStringLiteral("10 - y.mp3")};
    ASSERT_EQ(Column(lcFile), Natural);
    for (const char* Typed : {"m", "mp", ".mp3", " - ", "x", ""}) {
        Model.SetFilterText(QLatin1String(Typed));
        QStringList Expected = Natural;
        Expected.removeIf([&](const QString& Name) { return !Name.contains(QLatin1String(Typed)); });
        EXPECT_EQ(Column(lcFile), Expected) << "filter '" << Typed << "'";
    }
    // After a sort the filter keeps the sorted order, and so does clearing it.
    Model.SortByColumn(lcTitle);
    Model.SortByColumn(lcTitle);  // descending: c, b, a
    const QStringList Sorted{QStringLiteral("10 - y.mp3"), QStringLiteral("2 - x.mp3"), QStringLiteral("1 - z.mp3")};
    ASSERT_EQ(Column(lcFile), Sorted);
    Model.SetFilterText(QStringLiteral("1"));
    EXPECT_EQ(Column(lcFile), (QStringList{QStringLiteral("10 - y.mp3"), QStringLiteral("1 - z.mp3")}));
    Model.SetFilterText(QString());
    EXPECT_EQ(Column(lcFile), Sorted);
    // A scan under a filter lists the matching files in natural order.
    Model.SetFilterText(QStringLiteral(".MP3"));
    Scan();
    EXPECT_EQ(Column(lcFile), Natural);
}

TEST_F(MainModelTest, SeveralFilesShowKeepUnlessEveryValueIsExactlyEqual) {
    const QString A = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    const QString a = AddTitled(QStringLiteral("2.mp3"), QStringLiteral("a"));
    const QString B = AddTitled(QStringLiteral("3.mp3"), QStringLiteral("B"));
    ScanSorted();
    Model.SelectFiles({A, a, B});
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), QStringLiteral("<keep>"));
    EXPECT_EQ(Model.Suggestions(TMainModel::efTitle),
              (QStringList{QStringLiteral("A"), QStringLiteral("a"), QStringLiteral("B")}));
    EXPECT_EQ(Model.CurrentFile(), QString());
    EXPECT_FALSE(Model.TagsAreChanged());  // filling the editor is no edit

    // A and a are two values: showing A and applying would overwrite a.
    Model.SelectFiles({A, a});
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), QStringLiteral("<keep>"));
    EXPECT_EQ(Model.Suggestions(TMainModel::efTitle), (QStringList{QStringLiteral("A"), QStringLiteral("a")}));
    Model.ApplyEditorToSelection();
    EXPECT_EQ(Cached(a).Title, QStringLiteral("a"));
    // Empty values on every record are equal: the field shows empty, not "<keep>".
    EXPECT_EQ(Model.EditorText(TMainModel::efGenre), QString());

    Model.SelectFiles({B});
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), QStringLiteral("B"));
    EXPECT_EQ(Model.CurrentFile(), B);
}

TEST_F(MainModelTest, KeepLeavesDifferingValuesAndEmptyTextClearsThem) {
    TAudioTag First, Second;
    First.Comment = QStringLiteral("one\r\ntwo");
    Second.Genre = QStringLiteral("Rock");
    const QString P1 = AddFile(QStringLiteral("1.mp3"), First);
    const QString P2 = AddFile(QStringLiteral("2.mp3"), Second);
    ScanSorted();
    Model.SelectFiles({P1, P2});
    EXPECT_EQ(Model.EditorText(TMainModel::efGenre), QStringLiteral("<keep>"));
    EXPECT_EQ(Model.EditorText(TMainModel::efComment), QStringLiteral("<keep>"));
    EXPECT_EQ(Model.Suggestions(TMainModel::efGenre), QStringList{QStringLiteral("Rock")});

    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("Shared"));
    EXPECT_TRUE(Model.TagsAreChanged());
    Model.ApplyEditorToSelection();
    EXPECT_FALSE(Model.TagsAreChanged());
    EXPECT_EQ(Cached(P1).Genre, QString());
    EXPECT_EQ(Cached(P2).Genre, QStringLiteral("Rock"));
    EXPECT_EQ(Cached(P1).Comment, QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(Cached(P2).Album, QStringLiteral("Shared"));
    EXPECT_TRUE(Cached(P1).Modified && Cached(P2).Modified);
    EXPECT_EQ(Model.FileList().Cell(Model.FindListRow(P2), lcAlbum), QStringLiteral("Shared"));

    Model.SetEditorText(TMainModel::efGenre, QString());
    Model.ApplyEditorToSelection();
    EXPECT_EQ(Cached(P2).Genre, QString());

    // The marker is only the exact lower-case text; any other spelling is a value.
    Model.SetEditorText(TMainModel::efComment, QStringLiteral("<KEEP>"));
    Model.ApplyEditorToSelection();
    EXPECT_EQ(Cached(P1).Comment, QStringLiteral("<KEEP>"));
    EXPECT_EQ(Cached(P2).Comment, QStringLiteral("<KEEP>"));
}

TEST_F(MainModelTest, ApplyWithoutSelectionKeepsPendingEdits) {
    AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    Scan();
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("Z"));
    Model.ApplyEditorToSelection();
    EXPECT_TRUE(Model.TagsAreChanged());
    EXPECT_EQ(Model.UndoCount(), 0);
}

TEST_F(MainModelTest, ChoosingAnotherFolderDropsPendingEditsSilently) {
    const QString P = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    Scan();
    Model.SelectFiles({P});
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("edited"));
    Scan();
    EXPECT_FALSE(Model.TagsAreChanged());
    EXPECT_TRUE(User.Confirmations.isEmpty());
    EXPECT_EQ(Cached(P).Title, QStringLiteral("A"));
    EXPECT_TRUE(Service->SavedPaths.isEmpty());
}

TEST_F(MainModelTest, PendingChangesPromptSavesOnYesAndDropsOnNo) {
    const QString P = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    Scan();
    Model.SelectFiles({P});
    Model.BeforeListMouseClick();  // nothing pending: no question
    EXPECT_TRUE(User.Confirmations.isEmpty());

    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("Yes"));
    User.ConfirmAnswers = {true};
    Model.BeforeListMouseClick();
    EXPECT_EQ(User.Confirmations, QStringList{QStringLiteral("Do you want to save the tag changes?")});
    EXPECT_EQ(Service->Stored[P].Title, QStringLiteral("Yes"));
    EXPECT_FALSE(Cached(P).Modified);

    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("No"));
    User.ConfirmAnswers = {false};
    Model.BeforeListMouseClick();
    EXPECT_FALSE(Model.TagsAreChanged());
    EXPECT_EQ(Service->Stored[P].Title, QStringLiteral("Yes"));
}

TEST_F(MainModelTest, SaveWithNothingModifiedReportsZero) {
    AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    Scan();
    Model.Save();
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 0 files. Errors: 0"));
    EXPECT_TRUE(User.Reports.isEmpty());
    EXPECT_TRUE(Service->SavedPaths.isEmpty());
}

TEST_F(MainModelTest, SaveReportsAVanishedFileAndKeepsItModified) {
    const QString Kept = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    const QString Gone = AddTitled(QStringLiteral("2.mp3"), QStringLiteral("B"));
    ScanSorted();
    Model.SelectFiles({Kept, Gone});
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("New"));
    QFile::remove(Gone);
    Model.Save();  // applies the pending edit first
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 1 files. Errors: 1"));
    ASSERT_EQ(User.Reports.size(), 1);
    EXPECT_EQ(User.Reports[0], (QVector<TErrorItem>{{Gone, QStringLiteral("File not found.")}}));
    EXPECT_FALSE(Cached(Kept).Modified);
    EXPECT_TRUE(Cached(Gone).Modified);
    EXPECT_EQ(Service->Stored[Kept].Album, QStringLiteral("New"));

    // The next save tries it again.
    Model.Save();
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 0 files. Errors: 1"));
}

// A save that takes a while tells the window how far it got, with the
// failed files counted as done, and ends on the usual summary.
TEST_F(MainModelTest, LongSaveShowsItsProgress) {
    QStringList Paths;
    for (const char* Name : {"1.mp3", "2.mp3", "3.mp3"}) Paths << AddTitled(QLatin1String(Name), QStringLiteral("A"));
    ScanSorted();
    Model.SelectFiles(Paths);
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("New"));
    QFile::remove(Paths[0]);
    Service->SaveCostMs = 200;
    QStringList Shown;
    QObject::connect(&Model, &TMainModel::ProgressShown, [&] { Shown << Model.Status(); });
    Model.Save();
    // The files are written at once, so how many notices come depends on
    // when their results arrive; each is a count below the total, rising.
    ASSERT_FALSE(Shown.isEmpty());
    int Last = 0;
    for (const QString& Text : Shown) {
        const QStringList Words = Text.split(u' ');
        ASSERT_EQ(Words.size(), 6) << Text.toStdString();
        EXPECT_EQ(Text, QStringLiteral("Saving tags: %1 of 3 files...").arg(Words[2]));
        EXPECT_GT(Words[2].toInt(), Last);
        EXPECT_LT(Words[2].toInt(), 3);
        Last = Words[2].toInt();
    }
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 2 files. Errors: 1"));

    // A quick save shows only its summary.
    Service->SaveCostMs = 0;
    Shown.clear();
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("Newer"));
    Model.Save();
    EXPECT_TRUE(Shown.isEmpty());
}

// In the window a save runs in the background: the command returns at once,
// the results come through the event loop, and the summary and the error
// report come once every file is written. A cancel stops it after the files
// under way; the rest stay modified for the next save.
TEST_F(MainModelTest, BackgroundSaveEndsThroughTheEventLoopAndCanBeCancelled) {
    QStringList Paths;
    for (int i = 0; i < 6; ++i) Paths << AddTitled(QStringLiteral("%1.mp3").arg(i), QStringLiteral("A"));
    ScanSorted();
    Model.SetBackgroundSaves(true);
    Model.SelectFiles(Paths);
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("New"));
    QFile::remove(Paths[1]);
    QList<bool> Busy;
    int Finished = 0;
    QObject::connect(&Model, &TMainModel::BusyChanged, [&](bool B) { Busy << B; });
    QObject::connect(&Model, &TMainModel::SaveFinished, [&] { ++Finished; });
    Model.Save();
    EXPECT_TRUE(Model.IsSaving());
    EXPECT_EQ(Busy, QList<bool>{true});
    QEventLoop Loop;
    QObject::connect(&Model, &TMainModel::SaveFinished, &Loop, &QEventLoop::quit);
    if (Model.IsSaving()) Loop.exec();
    EXPECT_EQ(Finished, 1);
    EXPECT_EQ(Busy, (QList<bool>{true, false}));
    EXPECT_EQ(Model.Status(), QStringLiteral("Saved tags to 5 files. Errors: 1"));
    ASSERT_EQ(User.Reports.size(), 1);
    EXPECT_EQ(User.Reports[0].value(0).FileName, Paths[1]);
    for (const QString& P : Paths) {
        if (P != Paths[1]) {
            EXPECT_EQ(Service->Stored[P].Album, QStringLiteral("New"));
        }
    }

    // Cancelled while the first file is being written: that one ends whole,
    // nothing else is written.
    Service->SavedPaths.clear();
    Model.SelectFiles(Paths.mid(2));
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("Newer"));
    Model.SetSaveThreads(1);
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Writing = false, Release = false;
    Service->OnSave = [&](const QString&) {
        std::unique_lock Lock(Mutex);
        Writing = true;
        Changed.notify_all();
        Changed.wait(Lock, [&] { return Release; });
    };
    Model.Save();
    {
        std::unique_lock Lock(Mutex);
        Changed.wait(Lock, [&] { return Writing; });
        Model.CancelSave();
        Release = true;
        Changed.notify_all();
    }
    EXPECT_TRUE(Model.IsSaving());
    Loop.exec();  // the cancel ends the save in the next turn of the event loop
    Service->OnSave = nullptr;
    EXPECT_EQ(Finished, 2);
    EXPECT_LE(Service->SavedPaths.size(), 1);
    int StillModified = 0;
    for (const QString& P : Paths.mid(2)) StillModified += Cached(P).Modified;
    EXPECT_GE(StillModified, 3);
    EXPECT_FALSE(Model.IsSaving());
}

TEST_F(MainModelTest, ErrorReportCopiesTabSeparatedLinesWithCrLf) {
    EXPECT_EQ(ErrorReportText({{QStringLiteral("/a.mp3"), QStringLiteral("File not found.")},
                               {QStringLiteral("/b.ogg"), QStringLiteral("TagsLibrary save error: 5")}}),
              QStringLiteral("/a.mp3\tFile not found.\r\n/b.ogg\tTagsLibrary save error: 5\r\n"));
    EXPECT_EQ(ErrorReportText({}), QString());
}

TEST_F(MainModelTest, RemoveAsksOnceAndStripsEverySelectedFile) {
    TAudioTag T = MakeTag(QString(), QStringLiteral("A"), QStringLiteral("X"));
    T.CoverData = MakePicture("PNG", 0xff0000);
    T.CoverMime = QStringLiteral("image/png");
    const QString P1 = AddFile(QStringLiteral("1.mp3"), T);
    const QString P2 = AddFile(QStringLiteral("2.mp3"), T);
    const QString Other = AddFile(QStringLiteral("3.mp3"), T);
    ScanSorted();

    Model.Remove();  // nothing selected
    EXPECT_EQ(User.Informed,
              QStringList{QStringLiteral("Please select one or more files whose tags you want to clear.")});

    Model.SelectFiles({P1, P2});
    User.ConfirmAnswers = {false};
    Model.Remove();
    EXPECT_TRUE(Service->SavedPaths.isEmpty());

    // Pending editor text is applied first (its own undo step), so it
    // cannot be written back over the cleared files by a later save.
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("pending"));
    User.ConfirmAnswers = {true};
    Model.Remove();
    EXPECT_EQ(User.Confirmations.last(), QStringLiteral("Clear all editable tag fields for 2 file(s) and save?"));
    EXPECT_EQ(User.Confirmations.size(), 2);
    for (const QString& P : {P1, P2}) {
        EXPECT_TRUE(Service->Stored[P].IsEmpty()) << P.toStdString();
        EXPECT_TRUE(Service->Stored[P].CoverMime.isEmpty());
        EXPECT_FALSE(Cached(P).Modified);
    }
    EXPECT_EQ(Service->Stored[Other].Title, QStringLiteral("A"));
    EXPECT_EQ(Model.Status(), QStringLiteral("Tags cleared for 2 file(s) (in memory)."));
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), QString());
    EXPECT_FALSE(Model.TagsAreChanged());
    EXPECT_EQ(Model.UndoCount(), 2);

    // Undo puts the fields back and writes them: first as they were just
    // before the removal, then as they were before the edit.
    Model.Undo();
    EXPECT_EQ(Service->Stored[P1].Title, QStringLiteral("pending"));
    EXPECT_EQ(Service->Stored[P1].Artist, QStringLiteral("X"));
    Model.Undo();
    EXPECT_EQ(Service->Stored[P1].Title, QStringLiteral("A"));
    EXPECT_EQ(Service->Stored[P2].CoverData, T.CoverData);
    EXPECT_EQ(Model.FileList().Cell(Model.FindListRow(P1), lcTitle), QStringLiteral("A"));
}

TEST_F(MainModelTest, UndoKeepsThirtyStepsAndDisablesItselfWhenEmpty) {
    const QString P = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("t0"));
    Scan();
    Model.SelectFiles({P});
    QVector<bool> Availability;
    QObject::connect(&Model, &TMainModel::UndoAvailableChanged, [&](bool On) { Availability.append(On); });
    for (int i = 1; i <= 31; ++i) {
        Model.SetEditorText(TMainModel::efTitle, QStringLiteral("t%1").arg(i));
        Model.ApplyEditorToSelection();
    }
    EXPECT_EQ(Model.UndoCount(), 30);
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(Model.CanUndo()) << i;
        Model.Undo();
    }
    EXPECT_FALSE(Model.CanUndo());
    ASSERT_FALSE(Availability.isEmpty());
    EXPECT_FALSE(Availability.last());
    // The oldest step (t0) fell out: the record went back to t1 only.
    EXPECT_EQ(Service->Stored[P].Title, QStringLiteral("t1"));
    Service->SavedPaths.clear();
    Model.Undo();  // the 31st does nothing
    EXPECT_TRUE(Service->SavedPaths.isEmpty());
    EXPECT_EQ(Cached(P).Title, QStringLiteral("t1"));
}

TEST_F(MainModelTest, UndoRestoresEveryFileOfTheStepAndDropsPendingEdits) {
    QStringList Paths;
    for (int i = 0; i < 5; ++i) {
        TAudioTag T = MakeTag(QString(), QStringLiteral("T%1").arg(i));
        T.CoverData = MakePicture("PNG", qRgb(i * 40, 0, 0));
        T.CoverMime = QStringLiteral("image/png");
        Paths.append(AddFile(QStringLiteral("%1.mp3").arg(i), T));
    }
    const QMap<QString, TAudioTag> Before = Service->Stored;
    ScanSorted();
    Model.SelectFiles(Paths);
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("Same"));
    Model.Save();
    for (const QString& P : Paths) ASSERT_EQ(Service->Stored[P].Title, QStringLiteral("Same"));

    Model.SetEditorText(TMainModel::efArtist, QStringLiteral("pending, never applied"));
    Model.Undo();
    EXPECT_FALSE(Model.TagsAreChanged());
    for (const QString& P : Paths) {
        EXPECT_EQ(Service->Stored[P].Title, Before[P].Title);
        EXPECT_EQ(Service->Stored[P].Artist, QString());
        EXPECT_EQ(Service->Stored[P].CoverData, Before[P].CoverData);
    }
    // The editor shows the restored records.
    EXPECT_EQ(Model.EditorText(TMainModel::efTitle), QStringLiteral("<keep>"));
}

TEST_F(MainModelTest, UndoAfterAnotherFolderWritesRecordsWithoutRows) {
    const QString P = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("Old"));
    Scan();
    Model.SelectFiles({P});
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("New"));
    Model.Save();
    testutil::TTempDir Other;
    ASSERT_TRUE(ScanAndWait(Model, Q(Other.path())));
    Model.Undo();
    EXPECT_EQ(Service->Stored[P].Title, QStringLiteral("Old"));
    EXPECT_EQ(Model.FindListRow(P), -1);
}

TEST_F(MainModelTest, UndoNeverWritesAnEmptyRecordOverAFileThatHadNone) {
    // A listed file whose record is gone (another command dropped it) is
    // recorded without a record; undoing must not strip its tags.
    const QString Listed = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("Keep me"));
    Scan();
    Model.SelectFiles({Listed});
    Model.TagCache().remove(Listed);
    Model.PushUndoSnapshot();
    Model.Undo();
    EXPECT_FALSE(Service->SavedPaths.contains(Listed));
    EXPECT_EQ(Service->Stored[Listed].Title, QStringLiteral("Keep me"));
}

TEST_F(MainModelTest, ANewFolderShowsOnlyItsOwnFiles) {
    for (int i = 0; i < 60; ++i) AddTitled(QStringLiteral("old%1.mp3").arg(i), QStringLiteral("Old"));
    testutil::TTempDir Other;
    const QString New = Q(Other.file("new.mp3"));
    testutil::WriteFile(New.toStdString(), std::string("x"));
    Service->Stored.insert(New, MakeTag(New, QStringLiteral("New")));
    Model.FolderSelected(Q(Dir.path()));  // not waited for
    QCoreApplication::processEvents();
    ASSERT_TRUE(ScanAndWait(Model, Q(Other.path())));
    EXPECT_EQ(Model.TagCache().keys(), QStringList{New});
    EXPECT_EQ(Model.FileList().rowCount(), 1);
    EXPECT_EQ(Model.Status(), QStringLiteral("Loaded 1 files."));
}

TEST_F(MainModelTest, StoredPictureIsShownAndKeptByteForByte) {
    TAudioTag T = MakeTag(QString(), QStringLiteral("A"));
    T.CoverData = MakePicture("PNG", 0x00ff00);
    T.CoverMime = QStringLiteral("image/png");
    const QString P = AddFile(QStringLiteral("1.mp3"), T);
    Scan();
    Model.SelectFiles({P});
    EXPECT_EQ(Model.CoverDisplay().Kind(), TCoverDisplay::cdStored);
    EXPECT_TRUE(Model.CoverDisplay().HasPicture());
    Model.SetEditorText(TMainModel::efTitle, QStringLiteral("B"));
    Model.Save();
    EXPECT_EQ(Service->Stored[P].CoverData, T.CoverData);
    EXPECT_EQ(Service->Stored[P].CoverMime, QStringLiteral("image/png"));
}

TEST_F(MainModelTest, ClearThenSaveRemovesThePicture) {
    TAudioTag T;
    T.CoverData = MakePicture("JPEG", 0x0000ff);
    T.CoverMime = QStringLiteral("image/jpeg");
    const QString P = AddFile(QStringLiteral("1.mp3"), T);
    Scan();
    Model.SelectFiles({P});
    Model.ClearCover();
    EXPECT_TRUE(Model.TagsAreChanged());
    EXPECT_FALSE(Model.CoverDisplay().HasPicture());
    EXPECT_EQ(Model.UndoCount(), 1);
    Model.Save();
    EXPECT_TRUE(Service->Stored[P].CoverData.isEmpty());
    EXPECT_TRUE(Service->Stored[P].CoverMime.isEmpty());
}

TEST_F(MainModelTest, LoadedPictureGoesToEverySelectedFileAndUndoBringsTheOldOnesBack) {
    TAudioTag Red, Blue;
    Red.CoverData = MakePicture("PNG", 0xff0000);
    Red.CoverMime = QStringLiteral("image/png");
    Blue.CoverData = MakePicture("JPEG", 0x0000ff);
    Blue.CoverMime = QStringLiteral("image/jpeg");
    const QString P1 = AddFile(QStringLiteral("1.mp3"), Red);
    const QString P2 = AddFile(QStringLiteral("2.mp3"), Blue);
    const QString Picture = Q(Dir.file("green.jpg"));
    const QByteArray Green = MakePicture("JPEG", 0x00ff00, 16);
    testutil::WriteFile(Picture.toStdString(), Green.toStdString());
    ScanSorted();
    Model.SelectFiles({P1, P2});
    EXPECT_EQ(Model.CoverDisplay().Kind(), TCoverDisplay::cdKeep);

    User.ImageFileAnswer = QString();  // cancelled
    Model.LoadCover();
    EXPECT_FALSE(Model.TagsAreChanged());
    EXPECT_EQ(Model.UndoCount(), 0);

    User.ImageFileAnswer = Picture;
    Model.LoadCover();
    EXPECT_TRUE(Model.CoverDisplay().HasPicture());
    EXPECT_TRUE(Model.TagsAreChanged());
    EXPECT_FALSE(Cached(P1).Modified);  // records change only when the editor is applied
    Model.Save();                       // records a second step
    EXPECT_EQ(Model.UndoCount(), 2);
    for (const QString& P : {P1, P2}) {
        EXPECT_EQ(Service->Stored[P].CoverData, Green);  // the file's own JPEG bytes
        EXPECT_EQ(Service->Stored[P].CoverMime, QStringLiteral("image/jpeg"));
    }
    Model.Undo();  // the step recorded by the load already holds the old pictures
    EXPECT_EQ(Service->Stored[P1].CoverData, Red.CoverData);
    EXPECT_EQ(Service->Stored[P2].CoverData, Blue.CoverData);
    Model.Undo();
    EXPECT_EQ(Service->Stored[P2].CoverData, Blue.CoverData);
}

TEST_F(MainModelTest, UntouchedPicturesSurviveAnEditOfSeveralFiles) {
    // Several selected files show an empty display; an edit of their texts
    // must not take their (different) pictures away. Nor may an edit of a
    // file whose picture cannot be decoded for display.
    TAudioTag Red, Garbage;
    Red.CoverData = MakePicture("PNG", 0xff0000);
    Red.CoverMime = QStringLiteral("image/png");
    Garbage.CoverData = QByteArray("\xFF\xD8\xFF not really a jpeg");
    Garbage.CoverMime = QStringLiteral("image/jpeg");
    const QString P1 = AddFile(QStringLiteral("1.mp3"), Red);
    const QString P2 = AddFile(QStringLiteral("2.mp3"), Garbage);
    ScanSorted();
    Model.SelectFiles({P1, P2});
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("X"));
    Model.Save();
    EXPECT_EQ(Service->Stored[P1].CoverData, Red.CoverData);
    EXPECT_EQ(Service->Stored[P2].CoverData, Garbage.CoverData);

    Model.SelectFiles({P2});
    EXPECT_EQ(Model.CoverDisplay().Kind(), TCoverDisplay::cdKeep);
    EXPECT_FALSE(Model.CoverDisplay().HasPicture());
    Model.SetEditorText(TMainModel::efAlbum, QStringLiteral("Y"));
    Model.Save();
    EXPECT_EQ(Service->Stored[P2].CoverData, Garbage.CoverData);
    EXPECT_EQ(Service->Stored[P2].Album, QStringLiteral("Y"));
}

TEST_F(MainModelTest, UndecodablePictureFileChangesNothing) {
    const QString P = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    const QString Bad = Q(Dir.file("bad.png"));
    testutil::WriteFile(Bad.toStdString(), std::string("not a picture"));
    Scan();
    Model.SelectFiles({P});
    User.ImageFileAnswer = Bad;
    Model.LoadCover();
    EXPECT_EQ(User.Errors.size(), 1);
    EXPECT_FALSE(Model.TagsAreChanged());
    EXPECT_EQ(Model.UndoCount(), 0);
    EXPECT_EQ(Model.CoverDisplay().Kind(), TCoverDisplay::cdNone);
}

TEST_F(MainModelTest, LoadedPictureStaysShownAfterAnsweringNo) {
    const QString P = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    const QString Picture = Q(Dir.file("p.png"));
    testutil::WriteFile(Picture.toStdString(), MakePicture("PNG", 0x123456).toStdString());
    Scan();
    Model.SelectFiles({P});
    User.ImageFileAnswer = Picture;
    Model.LoadCover();
    User.ConfirmAnswers = {false};
    Model.BeforeListMouseClick();
    EXPECT_TRUE(Service->SavedPaths.isEmpty());
    EXPECT_TRUE(Model.CoverDisplay().HasPicture());
    EXPECT_EQ(Model.CoverDisplay().Kind(), TCoverDisplay::cdLoaded);
}

TEST_F(MainModelTest, PictureFormatsAndTheirTypes) {
    struct TCase {
        const char* Format;
        const char* Mime;
    };
    const TCase Cases[] = {
        {"PNG", "image/png"}, {"JPEG", "image/jpeg"}, {"BMP", "image/bmp"}, {"GIF", "image/png"} /* stored as PNG */};
    for (const TCase& C : Cases) {
        const QString Path = Q(Dir.file(std::string("pic.") + C.Format));
        const QByteArray Bytes = MakePicture(C.Format, 0x336699);
        if (Bytes.isEmpty()) continue;  // no writer for the format here
        testutil::WriteFile(Path.toStdString(), Bytes.toStdString());
        TCoverDisplay Display;
        QString Error;
        ASSERT_TRUE(Display.LoadFile(Path, Error)) << C.Format << Error.toStdString();
        TAudioTag T;
        Display.ApplyTo(T);
        EXPECT_EQ(T.CoverMime, QLatin1String(C.Mime)) << C.Format;
        EXPECT_EQ(TCoverDisplay::MimeOfPicture(T.CoverData), QLatin1String(C.Mime));
        if (QLatin1String(C.Format) != QLatin1String("GIF")) {
            EXPECT_EQ(T.CoverData, Bytes) << C.Format;
        }
    }
}

TEST_F(MainModelTest, IdenticalCoversAreStoredOnce) {
    TAudioTag T;
    T.CoverData = MakePicture("PNG", 0xabcdef, 32);
    T.CoverMime = QStringLiteral("image/png");
    QStringList Paths;
    for (int i = 0; i < 4; ++i) Paths.append(AddFile(QStringLiteral("%1.mp3").arg(i), T));
    TAudioTag Other = T;
    Other.CoverData = MakePicture("PNG", 0x111111, 32);
    AddFile(QStringLiteral("other.mp3"), Other);
    // Each load hands out its own copy, as the real service does.
    for (auto& Stored : Service->Stored)
        Stored.CoverData = QByteArray(Stored.CoverData.constData(), Stored.CoverData.size());
    Scan();
    EXPECT_EQ(Model.DistinctCoverCount(), 2);
    const char* Shared = Model.TagCache()[Paths[0]].CoverData.constData();
    for (const QString& P : Paths) EXPECT_EQ(Model.TagCache()[P].CoverData.constData(), Shared);
}

TEST_F(MainModelTest, PlayTakesTheFirstSelectedFileAndReportsFailures) {
    const QString P1 = AddTitled(QStringLiteral("1.mp3"), QStringLiteral("A"));
    const QString P2 = AddTitled(QStringLiteral("2.mp3"), QStringLiteral("B"));
    const QString P3 = AddTitled(QStringLiteral("3.mp3"), QStringLiteral("C"));
    ScanSorted();
    Model.Play();
    EXPECT_EQ(User.Informed, QStringList{QStringLiteral("Please select an audio file first.")});

    Model.SelectFiles({P3, P2, P1});
    Model.Play();
    EXPECT_EQ(Shell.Played, QStringList{P1});

    Shell.AcceptPlay = false;
    Model.Play();
    EXPECT_EQ(Shell.Opened, QStringList{P1});  // "open" after a refused "play"
    Shell.AcceptOpen = false;
    Model.Play();
    EXPECT_EQ(User.Errors.last(), QStringLiteral("Unable to start playback for:\n") + P1);

    QFile::remove(P1);
    Model.Play();
    EXPECT_EQ(User.Errors.last(), QStringLiteral("File not found:\n") + P1);
}

TEST_F(MainModelTest, AboutAndLinksUseTheMakersPages) {
    Model.About();
    ASSERT_EQ(User.Informed.size(), 1);
    EXPECT_TRUE(User.Informed[0].startsWith(QStringLiteral("Veltrano\nVersion: %1\n\nWebsite: ").arg(kVersionText)));
    Model.OpenTutorial();
    Model.OpenContactPage();
    Model.OpenWebsite();
    ASSERT_EQ(Shell.Urls.size(), 3);
    EXPECT_EQ(Shell.Urls[2], TMainModel::HomePageUrl());
    EXPECT_EQ(QSet<QString>(Shell.Urls.begin(), Shell.Urls.end()).size(), 3);
}

}  // namespace

namespace {

TEST(FileListModel, BatchedRowsAreFoundAtOnceAndShownTogether) {
    TFileListModel List;
    int Inserts = 0;
    QObject::connect(&List, &QAbstractItemModel::rowsInserted, [&] { ++Inserts; });
    List.SetBatching(true);
    for (int i = 0; i < 3; ++i)
        List.AddRow(QStringLiteral("/m/%1.mp3").arg(i), MakeTag(QString(), QStringLiteral("T%1").arg(i)));
    EXPECT_EQ(List.rowCount(), 0);
    EXPECT_EQ(List.FindRow(QStringLiteral("/m/2.mp3")), 2);
    List.UpdateRow(2, MakeTag(QString(), QStringLiteral("changed")));  // not shown yet: no signal for it
    EXPECT_EQ(List.Cell(2, lcTitle), QStringLiteral("changed"));
    List.Sort(lcTitle, false);  // sorting shows everything first
    EXPECT_EQ(List.rowCount(), 3);
    EXPECT_EQ(Inserts, 1);
    EXPECT_EQ(List.Cell(0, lcTitle), QStringLiteral("T1"));
    List.SetBatching(false);
    List.AddRow(QStringLiteral("/m/x.mp3"), TAudioTag());
    EXPECT_EQ(List.rowCount(), 4);
    EXPECT_EQ(Inserts, 2);
}

}  // namespace
