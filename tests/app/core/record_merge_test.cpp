// The user's edits carried over to a file another program changed: only what
// differs between the record as read and the edited record replaces the
// file's current values.
#include <gtest/gtest.h>

#include "app/core/record_merge.h"

namespace {

TTagEntry Entry(const char* Name, const char* Value, const char* Description = "") {
    TTagEntry E;
    E.Name = QString::fromUtf8(Name);
    E.Value = QString::fromUtf8(Value);
    E.Description = QString::fromUtf8(Description);
    return E;
}

TPictureEntry Picture(const char* Name, uint32_t Type, const char* Data) {
    TPictureEntry P;
    P.Name = QString::fromUtf8(Name);
    P.Type = Type;
    P.Mime = QStringLiteral("image/png");
    P.Data = QByteArray(Data);
    return P;
}

TAudioTag Record(QVector<TTagEntry> Entries, QVector<TPictureEntry> Pictures = {}) {
    TAudioTag Tag;
    Tag.FileName = QStringLiteral("/music/a.mp3");
    Tag.Entries = std::move(Entries);
    Tag.Pictures = std::move(Pictures);
    Tag.EntriesLoaded = true;
    for (const TTagEntry& E : Tag.Entries) {
        if (E.Name == QLatin1String("TITLE")) Tag.Title = E.Value;
        if (E.Name == QLatin1String("ARTIST")) Tag.Artist = E.Value;
        if (E.Name == QLatin1String("ALBUM")) Tag.Album = E.Value;
    }
    return Tag;
}

TEST(RecordMergeTest, FieldsAndCoverTheUserChangedGoOverTheFilesCurrentValues) {
    TAudioTag Base = Record({Entry("TITLE", "Song"), Entry("ARTIST", "Band"), Entry("ALBUM", "Record")});
    Base.CoverData = "old picture";
    Base.CoverMime = QStringLiteral("image/png");
    TAudioTag Edited = Base;
    Edited.Title = QStringLiteral("Mine");
    Edited.Modified = true;
    TAudioTag Current = Record({Entry("TITLE", "Song"), Entry("ARTIST", "Their Band"), Entry("ALBUM", "Record")});
    Current.CoverData = "their picture";
    Current.CoverMime = QStringLiteral("image/jpeg");
    Current.Stamp.Size = 1234;

    TAudioTag Merged = recordmerge::ApplyEdits(Base, Edited, Current);
    EXPECT_EQ(Merged.Title, QStringLiteral("Mine"));
    EXPECT_EQ(Merged.Artist, QStringLiteral("Their Band"));  // untouched by the user
    EXPECT_EQ(Merged.CoverData, QByteArray("their picture"));
    EXPECT_EQ(Merged.Entries, Current.Entries);  // a field edit leaves the lists to the save
    EXPECT_EQ(Merged.Stamp.Size, 1234);
    EXPECT_TRUE(Merged.Modified);

    Edited.CoverData.clear();  // the user removed the cover
    Edited.CoverMime.clear();
    Merged = recordmerge::ApplyEdits(Base, Edited, Current);
    EXPECT_TRUE(Merged.CoverData.isEmpty());
    EXPECT_TRUE(Merged.CoverMime.isEmpty());

    // Nothing edited: the file's current record as it is.
    EXPECT_EQ(recordmerge::ApplyEdits(Base, Base, Current), Current);
}

TEST(RecordMergeTest, EntriesAndPicturesTheUserChangedReplaceOnlyTheirOwnGroups) {
    const TAudioTag Base = Record({Entry("TITLE", "Song"), Entry("TXXX", "-6.1 dB", "REPLAYGAIN_TRACK_GAIN"),
                                   Entry("TXXX", "old id", "MUSICBRAINZ_TRACKID"), Entry("ARTIST", "Band")},
                                  {Picture("Cover art 1", 3, "front"), Picture("Cover art 2", 4, "back")});
    TAudioTag Edited = Base;
    Edited.Entries = {Entry("TITLE", "Song"), Entry("TXXX", "-7.0 dB", "REPLAYGAIN_TRACK_GAIN"),
                      Entry("ARTIST", "Band"), Entry("ARTIST", "Guest"), Entry("TXXX", "mood", "MOOD")};
    Edited.Pictures = {Picture("Cover art 1", 3, "front"), Picture("Cover art 2", 4, "new back")};
    Edited.Artist = QStringLiteral("Band\r\nGuest");
    const TAudioTag Current = Record(
        {Entry("TITLE", "Song"), Entry("TXXX", "-6.1 dB", "REPLAYGAIN_TRACK_GAIN"),
         Entry("TXXX", "old id", "MUSICBRAINZ_TRACKID"), Entry("ARTIST", "Band"), Entry("TXXX", "7", "PLAYCOUNT")},
        {Picture("Cover art 1", 3, "their front"), Picture("Cover art 2", 4, "back")});

    const TAudioTag Merged = recordmerge::ApplyEdits(Base, Edited, Current);
    // The changed gain takes its place, the deleted identifier goes, the
    // added artist joins its group, the other program's play count stays
    // and the added mood comes last.
    const QVector<TTagEntry> Want = {Entry("TITLE", "Song"),          Entry("TXXX", "-7.0 dB", "REPLAYGAIN_TRACK_GAIN"),
                                     Entry("ARTIST", "Band"),         Entry("ARTIST", "Guest"),
                                     Entry("TXXX", "7", "PLAYCOUNT"), Entry("TXXX", "mood", "MOOD")};
    EXPECT_EQ(Merged.Entries, Want);
    const QVector<TPictureEntry> WantPictures = {Picture("Cover art 1", 3, "their front"),
                                                 Picture("Cover art 2", 4, "new back")};
    EXPECT_EQ(Merged.Pictures, WantPictures);
    EXPECT_EQ(Merged.Artist, QStringLiteral("Band\r\nGuest"));
}

}  // namespace
