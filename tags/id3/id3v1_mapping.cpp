// Translation between the ID3v1 tag and the container's unified entries.
#include <string>

#include "tags/id3/id3v1_tag.h"
#include "tags/mapping_common.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/field_names.h"

namespace {

// A track number as one byte: 0 (none) for anything but a plain number of
// 1..255, so "3/12" or "300" never turn into an unrelated track.
uint8_t TrackByte(const std::string& Value) {
    auto N = text::ParseInt(Value);
    return N && *N > 0 && *N <= 255 ? (uint8_t)*N : 0;
}

}  // namespace

void TTags::LoadID3v1Tags() {
    const TID3v1Tag& T = *FID3v1Tag;
    auto Put = [&](const char* Name, const std::string& Value) {
        if (Value.empty()) return;
        RemoveAll(Name);
        Add(Name)->Value = Value;
    };
    Put(fieldname::Title, T.Title);
    Put(fieldname::Artist, T.Artist);
    Put(fieldname::Album, T.Album);
    Put(fieldname::Year, T.Year);
    Put(fieldname::Comment, T.Comment);
    if (T.Track != 0) {
        RemoveAll(fieldname::TrackNumber);
        RemoveAll("TRACK");
        Add(fieldname::TrackNumber)->Value = std::to_string(T.Track);
    }
    Put(fieldname::Genre, T.Genre);
    Loaded = true;
}

void TTags::PrepareID3v1Tag() {
    TID3v1Tag& T = *FID3v1Tag;
    T.Revision1 = true;
    // Whole texts: the block cuts them to their widths when it is built, and
    // the Lyrics3 extended fields keep the full texts.
    T.Title = GetText(fieldname::Title);
    T.Artist = GetText(fieldname::Artist);
    T.Album = GetText(fieldname::Album);
    // The comment without a description is the user's; described ones hold
    // players' own data (loudness, gapless figures) that means nothing here.
    const TTag* Comment = mapping::PlainEntry(*this, fieldname::Comment);
    T.Comment = Comment ? Comment->Value : std::string();
    T.Genre = GetText(fieldname::Genre);
    // The four-digit year of a full date; a year without four digits as it is.
    const std::string Year = GetText(fieldname::Year);
    T.Year = mapping::FourDigitYear(Year);
    if (T.Year.empty()) T.Year = Year;
    if (T.Year.empty()) T.Year = mapping::FourDigitYear(GetText("RELEASEDATE"));
    if (T.Year.empty()) T.Year = mapping::FourDigitYear(GetText("RECORDINGDATE"));
    // "4/10" is track 4.
    T.Track = TrackByte(mapping::NumberAndTotal(*this, true).Number);
    if (T.Track == 0) T.Track = TrackByte(mapping::SplitNumberTotal(GetText("TRACK")).Number);
}

int TTags::SaveID3v1Tag(const std::string& FileName, TStream* Stream) {
    PrepareID3v1Tag();
    const bool WriteLyrics = !FID3v1Tag->LyricsFrames.empty();
    if (Stream) {
        Stream->Seek(0);
        return FID3v1Tag->SaveToStream(*Stream, WriteLyrics);
    }
    return FID3v1Tag->SaveToFile(FileName, WriteLyrics);
}

void TTags::DeleteNativeID3v1(const TTag& Entry) {
    TID3v1Tag& T = *FID3v1Tag;
    const std::string& N = Entry.Name;
    if (text::SameText(N, fieldname::Title))
        T.Title.clear();
    else if (text::SameText(N, fieldname::Artist))
        T.Artist.clear();
    else if (text::SameText(N, fieldname::Album))
        T.Album.clear();
    else if (text::SameText(N, fieldname::Year))
        T.Year.clear();
    else if (text::SameText(N, fieldname::Comment))
        T.Comment.clear();
    else if (text::SameText(N, fieldname::Genre))
        T.Genre.clear();
    else if (text::SameText(N, fieldname::TrackNumber) || text::SameText(N, "TRACK")) {
        T.Track = 0;
        T.TrackString.clear();
    }
}

bool TTags::ID3v1CanHold(const TTag& Entry) {
    static constexpr const char* Names[] = {fieldname::Title, fieldname::Artist,      fieldname::Album, fieldname::Year,
                                            fieldname::Genre, fieldname::TrackNumber, "TRACK"};
    for (const char* n : Names)
        if (text::SameText(Entry.Name, n)) return true;
    // Only the comment without a description has a field there.
    return text::SameText(Entry.Name, fieldname::Comment) && Entry.Description.empty();
}
