// ID3v1(.1) block and Lyrics3 v2.00 block: reading, writing and removal.
#include "tags/id3/id3v1_tag.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "tags/byte_io.h"
#include "tags/file_util.h"
#include "tags/riff/riff_chunks.h"
#include "tags/text.h"
#include "tags/trailer_edit.h"

namespace {

using namespace id3v1;

// The genre table, index 0..191.
constexpr std::array<const char*, GenreCount> GenreNames = {"Blues",
                                                            "Classic Rock",
                                                            "Country",
                                                            "Dance",
                                                            "Disco",
                                                            "Funk",
                                                            "Grunge",
                                                            "Hip-Hop",
                                                            "Jazz",
                                                            "Metal",
                                                            "New Age",
                                                            "Oldies",
                                                            "Other",
                                                            "Pop",
                                                            "R&B",
                                                            "Rap",
                                                            "Reggae",
                                                            "Rock",
                                                            "Techno",
                                                            "Industrial",
                                                            "Alternative",
                                                            "Ska",
                                                            "Death Metal",
                                                            "Pranks",
                                                            "Soundtrack",
                                                            "Euro-Techno",
                                                            "Ambient",
                                                            "Trip-Hop",
                                                            "Vocal",
                                                            "Jazz+Funk",
                                                            "Fusion",
                                                            "Trance",
                                                            "Classical",
                                                            "Instrumental",
                                                            "Acid",
                                                            "House",
                                                            "Game",
                                                            "Sound Clip",
                                                            "Gospel",
                                                            "Noise",
                                                            "AlternRock",
                                                            "Bass",
                                                            "Soul",
                                                            "Punk",
                                                            "Space",
                                                            "Meditative",
                                                            "Instrumental Pop",
                                                            "Instrumental Rock",
                                                            "Ethnic",
                                                            "Gothic",
                                                            "Darkwave",
                                                            "Techno-Industrial",
                                                            "Electronic",
                                                            "Pop-Folk",
                                                            "Eurodance",
                                                            "Dream",
                                                            "Southern Rock",
                                                            "Comedy",
                                                            "Cult",
                                                            "Gangsta",
                                                            "Top 40",
                                                            "Christian Rap",
                                                            "Pop/Funk",
                                                            "Jungle",
                                                            "Native American",
                                                            "Cabaret",
                                                            "New Wave",
                                                            "Psychedelic",
                                                            "Rave",
                                                            "Showtunes",
                                                            "Trailer",
                                                            "Lo-Fi",
                                                            "Tribal",
                                                            "Acid Punk",
                                                            "Acid Jazz",
                                                            "Polka",
                                                            "Retro",
                                                            "Musical",
                                                            "Rock & Roll",
                                                            "Hard Rock",
                                                            "Folk",
                                                            "Folk-Rock",
                                                            "National Folk",
                                                            "Swing",
                                                            "Fast Fusion",
                                                            "Bebob",
                                                            "Latin",
                                                            "Revival",
                                                            "Celtic",
                                                            "Bluegrass",
                                                            "Avantgarde",
                                                            "Gothic Rock",
                                                            "Progressive Rock",
                                                            "Psychedelic Rock",
                                                            "Symphonic Rock",
                                                            "Slow Rock",
                                                            "Big Band",
                                                            "Chorus",
                                                            "Easy Listening",
                                                            "Acoustic",
                                                            "Humour",
                                                            "Speech",
                                                            "Chanson",
                                                            "Opera",
                                                            "Chamber Music",
                                                            "Sonata",
                                                            "Symphony",
                                                            "Booty Bass",
                                                            "Primus",
                                                            "Porn Groove",
                                                            "Satire",
                                                            "Slow Jam",
                                                            "Club",
                                                            "Tango",
                                                            "Samba",
                                                            "Folklore",
                                                            "Ballad",
                                                            "Power Ballad",
                                                            "Rhythmic Soul",
                                                            "Freestyle",
                                                            "Duet",
                                                            "Punk Rock",
                                                            "Drum Solo",
                                                            "A capella",
                                                            "Euro-House",
                                                            "Dance Hall",
                                                            "Goa",
                                                            "Drum & Bass",
                                                            "Club-House",
                                                            "Hardcore",
                                                            "Terror",
                                                            "Indie",
                                                            "BritPop",
                                                            "Negerpunk",
                                                            "Polsk Punk",
                                                            "Beat",
                                                            "Christian Gangsta Rap",
                                                            "Heavy Metal",
                                                            "Black Metal",
                                                            "Crossover",
                                                            "Contemporary Christian",
                                                            "Christian Rock",
                                                            "Merengue",
                                                            "Salsa",
                                                            "Trash Metal",
                                                            "Anime",
                                                            "JPop",
                                                            "SynthPop",
                                                            "Abstract",
                                                            "Art Rock",
                                                            "Baroque",
                                                            "Bhangra",
                                                            "Big Beat",
                                                            "Breakbeat",
                                                            "Chillout",
                                                            "Downtempo",
                                                            "Dub",
                                                            "EBM",
                                                            "Eclectic",
                                                            "Electro",
                                                            "Electroclash",
                                                            "Emo",
                                                            "Experimental",
                                                            "Garage",
                                                            "Global",
                                                            "IDM",
                                                            "Illbient",
                                                            "Industro-Goth",
                                                            "Jam Band",
                                                            "Krautrock",
                                                            "Leftfield",
                                                            "Lounge",
                                                            "Math Rock",
                                                            "New Romantic",
                                                            "Nu-Breakz",
                                                            "Post-Punk",
                                                            "Post-Rock",
                                                            "Psytrance",
                                                            "Shoegaze",
                                                            "Space Rock",
                                                            "Trop Rock",
                                                            "World Music",
                                                            "Neoclassical",
                                                            "Audiobook",
                                                            "Audio Theatre",
                                                            "Neue Deutsche Welle",
                                                            "Podcast",
                                                            "Indie Rock",
                                                            "G-Funk",
                                                            "Dubstep",
                                                            "Garage Rock",
                                                            "Psybient"};
static_assert(GenreNames.size() == 192);

constexpr std::string_view TagMagic = "TAG";
constexpr std::string_view LyricsBegin = "LYRICSBEGIN";
constexpr std::string_view LyricsEnd = "LYRICS200";

bool StartsWith(const std::vector<uint8_t>& Bytes, size_t At, std::string_view Magic) {
    return At <= Bytes.size() && Magic.size() <= Bytes.size() - At &&
           std::memcmp(Bytes.data() + At, Magic.data(), Magic.size()) == 0;
}

// A fixed-width decimal field of ASCII digits only; nullopt for anything else,
// so a damaged size never turns into a position.
std::optional<int64_t> ParseDigits(const uint8_t* Bytes, size_t Count) {
    int64_t Value = 0;
    for (size_t i = 0; i < Count; ++i) {
        if (Bytes[i] < '0' || Bytes[i] > '9') return std::nullopt;
        Value = Value * 10 + (Bytes[i] - '0');
    }
    return Value;
}

// Count bytes at Position; what the stream does not hold reads as zeros.
std::vector<uint8_t> ReadZeroFilledAt(TStream& S, int64_t Position, int64_t Count) {
    std::vector<uint8_t> Buf = ReadAt(S, Position, Count).Bytes();
    Buf.resize((size_t)Count, 0);
    return Buf;
}

// Where the 128 bytes of a possible ID3v1 block are: the last 128 bytes, or
// the whole stream when it is not longer.
int64_t TagBlockOffset(int64_t StreamSize) { return StreamSize <= TagSize ? 0 : StreamSize - TagSize; }

// Lyrics3 fields are ISO-8859-1 by the format's definition, but this library
// writes UTF-8; reading valid UTF-8 as such keeps repeated saves from
// re-encoding the text each time.
std::string DecodeLyricsText(std::string_view Bytes) {
    return text::IsValidUtf8(Bytes) ? std::string(Bytes) : text::Latin1ToUtf8(Bytes);
}

struct TParsedField {
    std::string ID, Data;
};

// Lyrics3 v2.00 block:
//   "LYRICSBEGIN"
//   repeated: ID (3 bytes) | size (5 ASCII digits) | data (size bytes)
//   size of all the above (6 ASCII digits) | "LYRICS200"
// Block holds "LYRICSBEGIN" and the fields. A field that does not fit, or a
// size that is not digits, makes the whole block unreadable.
bool ParseLyricsFields(const std::vector<uint8_t>& Block, std::vector<TParsedField>& Fields) {
    TByteReader R(Block);
    try {
        R.skip(LyricsBeginSize);
        while (!R.atEnd()) {
            std::string ID = text::Latin1ToUtf8(R.str(3));
            auto Size = ParseDigits(R.bytes(5).data(), 5);
            if (!Size) return false;
            std::string Data = R.str((size_t)*Size);
            Fields.push_back({std::move(ID), DecodeLyricsText(Data)});
        }
    } catch (const ETagFormat&) {
        return false;
    }
    return true;
}

void AppendDigits(std::vector<uint8_t>& Out, int64_t Value, int Width) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "%0*lld", Width, (long long)Value);
    Out.insert(Out.end(), Buf, Buf + Width);
}

void AppendText(std::vector<uint8_t>& Out, std::string_view Text) { Out.insert(Out.end(), Text.begin(), Text.end()); }

}  // namespace

// ---------------------------------------------------------------------------

TID3v1Defaults& ID3v1Defaults() {
    static TID3v1Defaults Defaults;
    return Defaults;
}

std::string ID3v1GenreIndexToName(int Index) {
    if (Index >= 0 && Index < GenreCount) return GenreNames[(size_t)Index];
    if (Index == 255 || Index < 0 || Index > 255) return "";
    return std::to_string(Index);
}

uint8_t ID3v1GenreNameToIndex(const std::string& Name) {
    // No genre is byte 255, as other tools write and read it; 12 ("Other")
    // would give every such file a genre it never had.
    if (text::Trim(Name).empty()) return GenreNone;
    if (auto Number = text::ParseInt(Name); Number && *Number >= 0) {
        // A number beyond one byte has no ID3v1 genre; keeping only its low
        // byte would name an unrelated genre.
        return *Number <= 255 ? (uint8_t)*Number : GenreOther;
    }
    std::string_view Wanted = Name == "Psychadelic" ? std::string_view("Psychedelic") : std::string_view(Name);
    for (int i = 0; i < GenreCount; ++i)
        if (Wanted == GenreNames[(size_t)i]) return (uint8_t)i;
    return GenreOther;
}

int TID3LyricsFrame::Index() const {
    if (!Parent) return -1;
    for (size_t i = 0; i < Parent->LyricsFrames.size(); ++i)
        if (Parent->LyricsFrames[i].get() == this) return (int)i;
    return -1;
}

TID3v1Tag::TID3v1Tag() {
    const TID3v1Defaults& D = ID3v1Defaults();
    TrimText = D.TrimText;
    TreatUnknownGenresAsOther = D.TreatUnknownGenresAsOther;
    ReturnANSIText = D.ReturnANSIText;
    SetANSIText = D.SetANSIText;
    PreserveFileDateTime = D.PreserveFileDateTime;
    Clear();
}

TID3v1Tag::~TID3v1Tag() { Clear(); }

void TID3v1Tag::Clear() {
    SourceFileName.clear();
    Loaded = false;
    Revision1 = false;
    Title.clear();
    Artist.clear();
    Album.clear();
    Year.clear();
    Comment.clear();
    Track = 0;
    TrackString.clear();
    Genre.clear();
    LyricsFrames.clear();
    LyricsHasTimeStamp = false;
    InhibitTracksForRandomSelection = false;
    FLyricsTagSize = 0;
    FFileSize = 0;
}

bool TID3v1Tag::Assign(const TID3v1Tag& Source) {
    if (&Source == this) return true;
    Clear();
    SourceFileName = Source.SourceFileName;
    Loaded = Source.Loaded;
    Revision1 = Source.Revision1;
    Title = Source.Title;
    Artist = Source.Artist;
    Album = Source.Album;
    Year = Source.Year;
    Comment = Source.Comment;
    Track = Source.Track;
    TrackString = Source.TrackString;
    Genre = Source.Genre;
    for (const auto& F : Source.LyricsFrames) AddLyricsFrame(F->ID)->Data = F->Data;
    LyricsHasTimeStamp = Source.LyricsHasTimeStamp;
    InhibitTracksForRandomSelection = Source.InhibitTracksForRandomSelection;
    return true;
}

// --- lyrics fields ---------------------------------------------------------

TID3LyricsFrame* TID3v1Tag::AddLyricsFrame(const std::string& ID) {
    LyricsFrames.push_back(std::make_unique<TID3LyricsFrame>(this, ID));
    return LyricsFrames.back().get();
}

TID3LyricsFrame* TID3v1Tag::FindLyricsFrame(const std::string& ID) const {
    for (const auto& F : LyricsFrames)
        if (F->ID == ID) return F.get();
    return nullptr;
}

TID3LyricsFrame* TID3v1Tag::SetLyricsFrame(const std::string& ID, const std::string& Value) {
    TID3LyricsFrame* F = FindLyricsFrame(ID);
    if (!F) F = AddLyricsFrame(ID);
    F->Data = Value;
    return F;
}

bool TID3v1Tag::DeleteLyricsFrame(int Index) {
    if (Index < 0 || Index >= (int)LyricsFrames.size()) return false;
    LyricsFrames.erase(LyricsFrames.begin() + Index);
    return true;
}

bool TID3v1Tag::DeleteLyricsFrame(const std::string& ID) {
    TID3LyricsFrame* F = FindLyricsFrame(ID);
    return F && DeleteLyricsFrame(F->Index());
}

std::string TID3v1Tag::GetLyrics() const {
    std::string Result;
    for (const auto& F : LyricsFrames)
        if (F->ID == "LYR") Result = F->Data;
    return Result;
}

void TID3v1Tag::SetLyrics(const std::string& Text) {
    if (Text.empty()) {
        DeleteLyricsFrame(std::string("LYR"));
        return;
    }
    SetLyricsFrame("LYR", Text);
}

// --- loading ---------------------------------------------------------------

int TID3v1Tag::LoadFromFile(const std::string& FileName) {
    Clear();
    if (!fileutil::FileExists(FileName)) return CannotOpen;
    auto S = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!S) return CannotOpen;
    return LoadFromOpenFile(*S, FileName);
}

int TID3v1Tag::LoadFromOpenFile(TStream& File, const std::string& FileName) {
    int Result = LoadFromStream(File);
    if (Result == Success) SourceFileName = FileName;
    return Result;
}

int TID3v1Tag::LoadFromMemory(const void* MemoryAddress) {
    Clear();
    if (!MemoryAddress) return NoTag;
    TReadMemoryStream S(MemoryAddress, TagSize);
    return LoadFromStream(S);
}

int TID3v1Tag::LoadFromStream(TStream& TagStream) {
    try {
        int Result = LoadFromStreamInner(TagStream);
        if (Result != Success) Clear();
        return Result;
    } catch (const ETagFormat&) {
        Clear();
        return ReadError;
    }
}

// ID3v1 block, the last 128 bytes (text fields zero-padded):
//   0 "TAG" | 3 title 30 | 33 artist 30 | 63 album 30 | 93 year 4 |
//   97 comment 30 (ID3v1.1: comment 28, byte 125 zero, byte 126 track) |
//   127 genre index
int TID3v1Tag::LoadFromStreamInner(TStream& TagStream) {
    Clear();
    const int64_t StreamSize = TagStream.Size();
    FFileSize = StreamSize;
    std::vector<uint8_t> B = ReadZeroFilledAt(TagStream, TagBlockOffset(StreamSize), TagSize);
    if (!StartsWith(B, 0, TagMagic)) return NoTag;
    // "TAG" inside an APEv2 tag that ends the file is no ID3v1 block.
    if (StreamSize > TagSize && !FindTrailer(TagStream).ID3v1().Present()) return NoTag;

    auto Field = [&](size_t Offset, size_t Width) {
        size_t Len = 0;
        while (Len < Width && B[Offset + Len] != 0) ++Len;
        std::string_view Raw(reinterpret_cast<const char*>(B.data() + Offset), Len);
        std::string Value = ReturnANSIText ? text::AnsiToUtf8(Raw) : text::Latin1ToUtf8(Raw);
        return TrimText ? text::Trim(Value) : Value;
    };
    Title = Field(3, 30);
    Artist = Field(33, 30);
    Album = Field(63, 30);
    Year = Field(93, 4);
    Comment = Field(97, 30);

    const uint8_t GenreByte = B[127];
    if (TreatUnknownGenresAsOther)
        Genre = GenreByte < GenreCount ? GenreNames[GenreByte] : GenreByte == GenreNone ? "" : GenreNames[GenreOther];
    else
        Genre = ID3v1GenreIndexToName(GenreByte);
    if (TrimText) Genre = text::Trim(Genre);

    if (B[125] != 0) {
        Track = 0;
        TrackString.clear();
        Revision1 = false;
    } else {
        Track = B[126];
        TrackString = std::to_string(Track);
        Revision1 = true;
    }

    if (StreamSize > TagSize) LoadLyricsTag(TagStream);
    FFileSize = StreamSize;
    Loaded = true;
    return Success;
}

int TID3v1Tag::LoadLyricsTag(TStream& TagStream) {
    const int64_t StreamSize = TagStream.Size();
    if (StreamSize <= TagSize) return NoTag;
    const int64_t End = StreamSize - TagSize;
    const int64_t Start = FindLyrics3BlockEndingAt(TagStream, End);
    if (Start < 0) return NoTag;
    const int64_t BlockSize = End - LyricsTrailerSize - Start;
    std::vector<uint8_t> Block = ReadAt(TagStream, Start, BlockSize).Bytes();
    std::vector<TParsedField> Fields;
    // A damaged block is left as it is: the ID3v1 fields still load, and the
    // block is not rewritten from a partial reading.
    if (!ParseLyricsFields(Block, Fields)) return NoTag;

    FLyricsTagSize = (uint32_t)(BlockSize + LyricsTrailerSize);
    for (auto& F : Fields) {
        if (F.ID == "IND") {
            LyricsHasTimeStamp = F.Data.size() > 1 && F.Data[1] == '1';
            InhibitTracksForRandomSelection = F.Data.size() > 2 && F.Data[2] == '1';
        } else if (F.ID == "EAL" || F.ID == "EAR" || F.ID == "ETT") {
            // The extended field holds the text the 30-byte field had to cut.
            std::string& Short = F.ID == "EAL" ? Album : F.ID == "EAR" ? Artist : Title;
            if (F.Data.find(Short) != std::string::npos) Short = F.Data;
        }
        AddLyricsFrame(F.ID)->Data = std::move(F.Data);
    }
    return Success;
}

// --- saving ----------------------------------------------------------------

std::vector<uint8_t> TID3v1Tag::BuildTagBlock() const {
    std::vector<uint8_t> B((size_t)TagSize, 0);
    std::memcpy(B.data(), TagMagic.data(), 3);
    auto Put = [&](size_t Offset, size_t Width, const std::string& Value) {
        std::string Bytes;
        if (SetANSIText) {
            Bytes = text::Utf8ToAnsi(Value);
        } else {
            for (char16_t C : text::Utf8ToU16(Value)) Bytes.push_back((char)(C & 0xFF));
        }
        std::memcpy(B.data() + Offset, Bytes.data(), std::min(Width, Bytes.size()));
    };
    Put(3, 30, Title);
    Put(33, 30, Artist);
    Put(63, 30, Album);
    Put(93, 4, Year);
    Put(97, 30, Comment);
    B[127] = ID3v1GenreNameToIndex(Genre);
    // A comment of 29 or 30 bytes leaves no room for the track number.
    if (B[125] == 0) B[126] = Track;
    return B;
}

// Fills Out with a whole Lyrics3 v2.00 block. False when a value or the
// block cannot be expressed in the 5- and 6-digit size fields: such a block
// is refused whole rather than written cut or with wrong sizes.
bool TID3v1Tag::BuildLyricsBlock(std::vector<uint8_t>& Out) const {
    Out.clear();
    AppendText(Out, LyricsBegin);
    // The indications: lyrics present, time stamps, and (optional, so a
    // block read with two keeps two) random selection inhibited.
    const auto* OldInd = FindLyricsFrame("IND");
    std::string Ind = OldInd && OldInd->Data.size() >= 2 && OldInd->Data.size() <= 9 ? OldInd->Data : "000";
    Ind[0] = FindLyricsFrame("LYR") ? '1' : '0';
    Ind[1] = LyricsHasTimeStamp ? '1' : '0';
    if (Ind.size() > 2)
        Ind[2] = InhibitTracksForRandomSelection ? '1' : '0';
    else if (InhibitTracksForRandomSelection)
        Ind += '1';
    AppendText(Out, "IND");
    AppendDigits(Out, (int64_t)Ind.size(), 5);
    AppendText(Out, Ind);
    for (const auto& F : LyricsFrames) {
        if (F->Data.empty() || F->ID == "IND") continue;
        const std::string& Value = F->ID == "EAL" ? Album : F->ID == "EAR" ? Artist : F->ID == "ETT" ? Title : F->Data;
        if (Value.empty()) continue;
        if ((int64_t)Value.size() > MaxLyricsFieldSize) return false;
        // IDs are read as ISO-8859-1, so they are written back byte for byte.
        std::string ID = text::Utf8ToLatin1(F->ID);
        ID.resize(3, ' ');
        AppendText(Out, ID);
        AppendDigits(Out, (int64_t)Value.size(), 5);
        AppendText(Out, Value);
        if ((int64_t)Out.size() > MaxLyricsBlockSize) return false;
    }
    const int64_t Count = (int64_t)Out.size();
    AppendDigits(Out, Count, 6);
    AppendText(Out, LyricsEnd);
    return true;
}

int TID3v1Tag::LyricsTagSaveToStream(TStream& TagStream) {
    try {
        std::vector<uint8_t> Block;
        if (!BuildLyricsBlock(Block)) return NoTag;
        return ReplaceTrailerMember(TagStream, TTrailerKind::Lyrics3, Block, false) == TEditResult::Success ? Success
                                                                                                            : NoTag;
    } catch (const ETagFormat&) {
        return NoTag;
    }
}

// The new ID3v1 block replaces the old one (or follows the other tags at
// the end), with a Lyrics3 block in front of it when asked; an APEv2 tag
// before them stays as it is. A failed write leaves the old bytes.
bool TID3v1Tag::BuildTrailerChange(TTrailerChange& Change, bool WriteLyricsTag) const {
    if (WriteLyricsTag) {
        std::vector<uint8_t> Block;
        if (!BuildLyricsBlock(Block)) return false;
        Change.Set(TTrailerKind::Lyrics3, std::move(Block));
    }
    Change.Set(TTrailerKind::ID3v1, BuildTagBlock());
    return true;
}

int TID3v1Tag::SaveToStream(TStream& TagStream, bool WriteLyricsTag) {
    try {
        TTrailerChange Change;
        if (!BuildTrailerChange(Change, WriteLyricsTag)) return WriteError;
        return ReplaceTrailerMembers(TagStream, Change, false) == TEditResult::Success ? Success : WriteError;
    } catch (const ETagFormat&) {
        return WriteError;
    }
}

int TID3v1Tag::SaveToFile(const std::string& FileName, bool WriteLyricsTag) {
    const bool Existed = fileutil::FileExists(FileName);
    fileutil::TModTimeKeeper Time(FileName, PreserveFileDateTime && Existed);
    if (Existed && fileutil::IsReadOnly(FileName)) return ReadOnly;
    int Result;
    if (Existed) {
        // By name, so that a Lyrics3 block that grows or shrinks is written
        // as a new file and a killed save cannot tear it.
        try {
            TTrailerChange Change;
            if (!BuildTrailerChange(Change, WriteLyricsTag)) return WriteError;
            const TEditResult r = ReplaceTrailerMembersInFile(FileName, Change, true);
            Result = r == TEditResult::Success ? Success : r == TEditResult::OpenFailed ? CannotOpen : WriteError;
        } catch (const ETagFormat&) {
            return WriteError;
        }
    } else {
        auto S = TFileStream::Open(FileName, TFileMode::fmCreateExclusive);
        if (!S) return CannotOpen;
        Result = SaveToStream(*S, WriteLyricsTag);
        if (Result == Success && !S->Flush()) Result = WriteError;
    }
    if (Result == Success) SourceFileName = FileName;
    return Result;
}

// --- removal ---------------------------------------------------------------

int RemoveID3v1TagFromFile(const std::string& FileName, bool PreserveFileDateTime) {
    try {
        if (!fileutil::FileExists(FileName)) return NoTag;
        fileutil::TModTimeKeeper Time(FileName, PreserveFileDateTime);
        if (fileutil::IsReadOnly(FileName)) return ReadOnly;
        {
            auto S = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
            if (!S) return CannotOpen;
            if (!FindTrailer(*S).ID3v1().Present()) return NoTag;
        }
        // A Lyrics3 block goes together with the tag; when its trailer is
        // damaged it is no block, and only the ID3v1 block is cut, so the
        // tag asked to be removed is really gone and nothing unrecognised
        // is thrown away.
        const TTrailerChange Change = TTrailerChange().Remove(TTrailerKind::Lyrics3).Remove(TTrailerKind::ID3v1);
        return ReplaceTrailerMembersInFile(FileName, Change) == TEditResult::Success ? Success : WriteError;
    } catch (const ETagFormat&) {
        return NoTag;
    }
}
