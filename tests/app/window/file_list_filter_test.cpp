// The file list's filter: which rows it shows, keystroke after keystroke,
// against the plain case-insensitive comparison of each text.
#include <QStringList>
#include <gtest/gtest.h>

#include "app/file_list_model.h"
#include "tests/app/window/window_test_support.h"

using namespace windowtest;

namespace {

struct TRecord {
    QString Name, Title, Artist, Album;
};

// Texts where folding is not plain ASCII lower-casing: accents, the Kelvin
// sign and the long s (which fold to ASCII letters), sharp s, dotted capital
// I, the Greek sigmas, characters outside the first plane (a surrogate pair
// with a case pair of its own, and one without case).
const TRecord kRecords[] = {
    {"01 - Echo Chamber.mp3", "Echo", "Blue Ghost", "Paper"},
    {"02 - Déjà Vu.flac", "DÉJÀ VU", "Café Noir", ""},
    {"03 - zero.ogg", "", "", ""},
    {"04 - Kelvin.mp3", "\u212A-Scale", "Strasse", "Stra\u00DFe"},
    {"05 - \u017Fong.opus", "Long \u017F", "", "Mass"},
    {"06 - \u0130stanbul.wv", "\u0130STANBUL", "istanbul", "ISTANBUL"},
    {"07 - \u03A3\u0399\u03A3\u03A5\u03A6\u039F\u03A3.m4a", "\u03C3\u03AF\u03C3\u03C5\u03C6\u03BF\u03C2", "", ""},
    {"08 - \U00010400.mp3", "\U00010428 deseret", "\U0001F600 smile", "x"},
    {"09 - a-b_c!.aiff", "A.B", "1999", "#1"},
    {"10 - ECHO.MP3", "eChO", "ec", "e"},
};

const char* const kFilters[] = {
    "e",
    "ec",
    "ech",
    "echo",
    "echo ",
    "echo r",
    "echo",
    "ech",
    "ec",
    "e",
    "",
    "k",
    "\u212A",
    "kelvin",
    "\u212A-s",
    "k-sc",
    "s",
    "\u017F",
    "ng s",
    "ss",
    "stra\u00DFe",
    "strasse",
    "\u00DF",
    "d\u00E9",
    "\u00E9j\u00E0",
    "dej",
    "caf\u00E9",
    "caf",
    "",
    "i",
    "\u0130",
    "istanbul",
    "i\u0307",
    "\u03C3",
    "\u03C2",
    "\u03C3\u03AF",
    "\u03A3",
    "\U00010428",
    "\U00010400",
    "\U0001F600",
    "\U0001F600 s",
    "deseret",
    "-",
    "a-b",
    "_c!",
    ".",
    ".mp3",
    "1",
    "19",
    "#",
    " ",
    "x",
    "zero",
    "ero",
    "zeros",
    "",
};

void Fill(TFileListModel& List) {
    for (const TRecord& R : kRecords) {
        TAudioTag Tag;
        Tag.Title = R.Title;
        Tag.Artist = R.Artist;
        Tag.Album = R.Album;
        List.AddRow(QStringLiteral("/music/") + R.Name, Tag);
    }
}

QStringList Shown(const TFileListModel& List) {
    QStringList Names;
    for (int r = 0; r < List.rowCount(); ++r) Names.append(List.Cell(r, lcFile));
    return Names;
}

QStringList Expected(const QString& Filter) {
    QStringList Names;
    for (const TRecord& R : kRecords) {
        if (TFileListModel::Matches(Filter, R.Name, R.Title, R.Artist, R.Album)) Names.append(R.Name);
    }
    return Names;
}

TEST(FileListFilter, EveryKeystrokeShowsWhatTheCaseInsensitiveComparisonMatches) {
    // Typed one after another (narrowing, widening, unrelated texts) and each
    // on a fresh list: the same rows, in list order.
    TFileListModel Typed;
    Fill(Typed);
    for (const char* F : kFilters) {
        const QString Filter = QString::fromUtf8(F);
        Typed.SetFilter(Filter);
        EXPECT_EQ(Shown(Typed), Expected(Filter)) << "typed " << F;
        TFileListModel Fresh;
        Fill(Fresh);
        Fresh.SetFilter(Filter);
        EXPECT_EQ(Shown(Fresh), Expected(Filter)) << "fresh " << F;
    }
    // Rows added under a filter are compared as they come.
    TFileListModel Later;
    Later.SetFilter(QStringLiteral("\u03C3"));
    Fill(Later);
    EXPECT_EQ(Shown(Later), Expected(QStringLiteral("\u03C3")));
}

TEST(FileListFilter, AChangedRowIsComparedAgainAtTheNextKeystroke) {
    TFileListModel List;
    List.AddRow(QStringLiteral("/m/a.mp3"), MakeTag(QString(), QStringLiteral("echo")));
    List.AddRow(QStringLiteral("/m/b.mp3"), MakeTag(QString(), QStringLiteral("abc")));
    List.SetFilter(QStringLiteral("ech"));
    ASSERT_EQ(List.rowCount(), 1);
    // An edit keeps its row until the filter text changes ...
    List.UpdateRow(0, MakeTag(QString(), QStringLiteral("zzz")));
    EXPECT_EQ(List.rowCount(), 1);
    // ... and a wider text no longer keeps it on the strength of the old answer.
    List.SetFilter(QStringLiteral("ec"));
    EXPECT_EQ(List.rowCount(), 0);
    // A hidden row that comes to match is found by a narrower text.
    List.SetFilter(QStringLiteral("c"));
    ASSERT_EQ(Shown(List), QStringList{QStringLiteral("b.mp3")});
    List.SetFilter(QStringLiteral("x"));
    List.UpdatePath(QStringLiteral("/m/a.mp3"), MakeTag(QString(), QStringLiteral("xylophone")));
    List.UpdatePath(QStringLiteral("/m/b.mp3"), MakeTag(QString(), QStringLiteral("xy")));
    List.SetFilter(QStringLiteral("xyl"));
    EXPECT_EQ(Shown(List), QStringList{QStringLiteral("a.mp3")});
    // A renamed hidden row keeps its record and answers by its new name.
    List.RenamePath(QStringLiteral("/m/b.mp3"), QStringLiteral("/m/xyl.mp3"));
    List.SetFilter(QStringLiteral("xyl."));
    EXPECT_EQ(Shown(List), QStringList{QStringLiteral("xyl.mp3")});
    List.RemovePath(QStringLiteral("/m/a.mp3"));
    List.SetFilter(QString());
    EXPECT_EQ(Shown(List), QStringList{QStringLiteral("xyl.mp3")});
}

TEST(FileListFilter, TheSameRowsAreNotAnnouncedAgainAndSortingKeepsHiddenRows) {
    TFileListModel List;
    for (const char* Title : {"b2", "ab1", "c3", "ab2"})
        List.AddRow(QStringLiteral("/m/%1.mp3").arg(QLatin1String(Title)), MakeTag(QString(), QLatin1String(Title)));
    int Resets = 0;
    QObject::connect(&List, &QAbstractItemModel::modelReset, [&] { ++Resets; });
    List.SetFilter(QStringLiteral("a"));
    EXPECT_EQ(Resets, 1);
    List.SetFilter(QStringLiteral("ab"));  // the same two rows: the views keep theirs
    EXPECT_EQ(Resets, 1);
    EXPECT_EQ(Shown(List), (QStringList{QStringLiteral("ab1.mp3"), QStringLiteral("ab2.mp3")}));
    List.Sort(lcTitle, false);
    EXPECT_EQ(Shown(List), (QStringList{QStringLiteral("ab2.mp3"), QStringLiteral("ab1.mp3")}));
    EXPECT_EQ(List.FindRow(QStringLiteral("/m/ab1.mp3")), 1);
    EXPECT_EQ(List.FindRow(QStringLiteral("/m/c3.mp3")), -1);  // hidden
    List.SetFilter(QString());
    EXPECT_EQ(Shown(List), (QStringList{QStringLiteral("c3.mp3"), QStringLiteral("b2.mp3"), QStringLiteral("ab2.mp3"),
                                        QStringLiteral("ab1.mp3")}));
}

}  // namespace
