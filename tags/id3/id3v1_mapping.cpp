// Translation between the ID3v1 tag and the container's unified entries.
#include <string>

#include "tags/id3/id3v1_module.h"
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

namespace id3v1module {

void Merge(TTags& Tags) {
    const TID3v1Tag& T = Tags.ID3v1Tag();
    auto Put = [&](const char* Name, const std::string& Value) {
        if (Value.empty()) return;
        Tags.RemoveAll(Name);
        Tags.Add(Name)->Value = Value;
    };
    Put(fieldname::Title, T.Title);
    Put(fieldname::Artist, T.Artist);
    Put(fieldname::Album, T.Album);
    Put(fieldname::Year, T.Year);
    Put(fieldname::Comment, T.Comment);
    if (T.Track != 0) {
        Tags.RemoveAll(fieldname::TrackNumber);
        Tags.RemoveAll("TRACK");
        Tags.Add(fieldname::TrackNumber)->Value = std::to_string(T.Track);
    }
    Put(fieldname::Genre, T.Genre);
    Tags.Loaded = true;
}

void Prepare(TTags& Tags) {
    TID3v1Tag& T = Tags.ID3v1Tag();
    T.Revision1 = true;
    // Whole texts: the block cuts them to their widths when it is built, and
    // the Lyrics3 extended fields keep the full texts.
    T.Title = Tags.GetText(fieldname::Title);
    T.Artist = Tags.GetText(fieldname::Artist);
    T.Album = Tags.GetText(fieldname::Album);
    // The comment without a description is the user's; described ones hold
    // players' own data (loudness, gapless figures) that means nothing here.
    const TTag* Comment = mapping::PlainEntry(Tags, fieldname::Comment);
    T.Comment = Comment ? Comment->Value : std::string();
    T.Genre = Tags.GetText(fieldname::Genre);
    // The four-digit year of a full date; a year without four digits as it is.
    const std::string Year = Tags.GetText(fieldname::Year);
    T.Year = mapping::FourDigitYear(Year);
    if (T.Year.empty()) T.Year = Year;
    if (T.Year.empty()) T.Year = mapping::FourDigitYear(Tags.GetText("RELEASEDATE"));
    if (T.Year.empty()) T.Year = mapping::FourDigitYear(Tags.GetText("RECORDINGDATE"));
    // "4/10" is track 4.
    T.Track = TrackByte(mapping::NumberAndTotal(Tags, true).Number);
    if (T.Track == 0) T.Track = TrackByte(mapping::SplitNumberTotal(Tags.GetText("TRACK")).Number);
}

int Save(TTags& Tags, const std::string& FileName, bool /*Buffered*/, TStream* Stream) {
    Prepare(Tags);
    const bool WriteLyrics = !Tags.ID3v1Tag().LyricsFrames.empty();
    if (Stream) {
        Stream->Seek(0);
        return Tags.ID3v1Tag().SaveToStream(*Stream, WriteLyrics);
    }
    return Tags.ID3v1Tag().SaveToFile(FileName, WriteLyrics);
}

void DeleteNative(TTags& Tags, const TTag& Entry) {
    TID3v1Tag& T = Tags.ID3v1Tag();
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

bool Holds(const TTag& Entry) {
    static constexpr const char* Names[] = {fieldname::Title, fieldname::Artist,      fieldname::Album, fieldname::Year,
                                            fieldname::Genre, fieldname::TrackNumber, "TRACK"};
    for (const char* n : Names)
        if (text::SameText(Entry.Name, n)) return true;
    // Only the comment without a description has a field there.
    return text::SameText(Entry.Name, fieldname::Comment) && Entry.Description.empty();
}

int Strip(const std::string& FileName) { return RemoveID3v1TagFromFile(FileName, false); }

bool StripFailed(int NativeCode) {
    return NativeCode == id3v1::CannotOpen || NativeCode == id3v1::WriteError || NativeCode == id3v1::ReadOnly;
}

}  // namespace id3v1module
