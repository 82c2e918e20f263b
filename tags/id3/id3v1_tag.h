// TID3v1Tag: the fixed 128-byte ID3v1(.1) block at the very end of a file and
// the optional Lyrics3 v2.00 block directly in front of it.
//
// The tag owns its Lyrics3 fields (TID3LyricsFrame); each field points back
// to its tag without owning it. The unified container owns one TID3v1Tag and
// translates it to and from unified names (id3v1_mapping.cpp). Every public
// operation returns a result code and never throws:
//   0 success, 3 file missing / cannot be opened, 4 reading failed,
//   5 writing failed, 6 file is read-only, 65535 no tag or any other failure.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tags/stream.h"
#include "tags/trailer_edit.h"

class TID3v1Tag;

namespace id3v1 {
inline constexpr int Success = 0;
inline constexpr int CannotOpen = 3;
inline constexpr int ReadError = 4;
inline constexpr int WriteError = 5;
inline constexpr int ReadOnly = 6;
inline constexpr int NoTag = 65535;

inline constexpr int64_t TagSize = 128;
// Lyrics3 v2.00 trailer: 6-digit size + "LYRICS200".
inline constexpr int64_t LyricsTrailerSize = 15;
inline constexpr int64_t LyricsBeginSize = 11;  // "LYRICSBEGIN"
// What the decimal size fields can express.
inline constexpr int64_t MaxLyricsFieldSize = 99999;   // 5 digits
inline constexpr int64_t MaxLyricsBlockSize = 999999;  // 6 digits
inline constexpr int GenreCount = 192;
inline constexpr uint8_t GenreOther = 12;
inline constexpr uint8_t GenreNone = 255;
}  // namespace id3v1

// One Lyrics3 field: a three-character ID ("LYR", "IND", "EAL", "EAR",
// "ETT", ...) and its text (UTF-8 inside the library).
class TID3LyricsFrame {
public:
    TID3LyricsFrame(TID3v1Tag* Parent, std::string ID) : Parent(Parent), ID(std::move(ID)) {}
    TID3v1Tag* Parent;  // not owned
    std::string ID;
    std::string Data;
    int Index() const;
};

// Library-wide option defaults, copied into every new TID3v1Tag.
struct TID3v1Defaults {
    bool TrimText = true;
    bool TreatUnknownGenresAsOther = false;
    bool ReturnANSIText = true;
    bool SetANSIText = true;
    bool PreserveFileDateTime = false;
};
TID3v1Defaults& ID3v1Defaults();

class TID3v1Tag {
public:
    TID3v1Tag();
    ~TID3v1Tag();
    TID3v1Tag(const TID3v1Tag&) = delete;
    TID3v1Tag& operator=(const TID3v1Tag&) = delete;

    std::string SourceFileName;
    bool Loaded = false;
    bool Revision1 = false;
    std::string Title, Artist, Album, Year, Comment;
    uint8_t Track = 0;
    std::string TrackString;
    std::string Genre;
    std::vector<std::unique_ptr<TID3LyricsFrame>> LyricsFrames;
    bool LyricsHasTimeStamp = false;
    bool InhibitTracksForRandomSelection = false;

    // Options (kept by Clear and Assign).
    bool TrimText;
    bool TreatUnknownGenresAsOther;
    bool ReturnANSIText;
    bool SetANSIText;
    bool PreserveFileDateTime;

    // Total bytes of the Lyrics3 block found on load (size field + 15), 0 if none.
    uint32_t LyricsSize() const { return FLyricsTagSize; }
    int64_t FileSize() const { return FFileSize; }
    // Bytes the container counts for this tag.
    int64_t Size() const { return Loaded ? id3v1::TagSize : 0; }

    void Clear();
    bool Assign(const TID3v1Tag& Source);

    int LoadFromFile(const std::string& FileName);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName);
    int LoadFromStream(TStream& TagStream);
    // Reads a 128-byte block at MemoryAddress; nullptr gives 65535.
    int LoadFromMemory(const void* MemoryAddress);
    int SaveToFile(const std::string& FileName, bool WriteLyricsTag);
    int SaveToStream(TStream& TagStream, bool WriteLyricsTag);
    // 0 when a well-formed Lyrics3 block sits in front of the ID3v1 block.
    int LoadLyricsTag(TStream& TagStream);
    // Appends a Lyrics3 block at the end of the stream, replacing one that
    // already ends the stream.
    int LyricsTagSaveToStream(TStream& TagStream);

    TID3LyricsFrame* AddLyricsFrame(const std::string& ID);
    TID3LyricsFrame* FindLyricsFrame(const std::string& ID) const;
    TID3LyricsFrame* SetLyricsFrame(const std::string& ID, const std::string& Value);
    bool DeleteLyricsFrame(int Index);
    bool DeleteLyricsFrame(const std::string& ID);
    std::string GetLyrics() const;
    void SetLyrics(const std::string& Text);

private:
    int LoadFromStreamInner(TStream& TagStream);
    std::vector<uint8_t> BuildTagBlock() const;
    bool BuildLyricsBlock(std::vector<uint8_t>& Out) const;
    // The ID3v1 block, with a Lyrics3 block in front of it when asked; false
    // when the Lyrics3 block cannot be built.
    bool BuildTrailerChange(TTrailerChange& Change, bool WriteLyricsTag) const;

    uint32_t FLyricsTagSize = 0;
    int64_t FFileSize = 0;
};

// Strips the ID3v1 block (and a Lyrics3 block in front of it) from a file.
int RemoveID3v1TagFromFile(const std::string& FileName, bool PreserveFileDateTime = false);
// 0..191: table name; 255: ""; 192..254: the number as text.
std::string ID3v1GenreIndexToName(int Index);
// Number texts 0..255 give that byte; a table name its index; anything else 12 ("Other").
uint8_t ID3v1GenreNameToIndex(const std::string& Name);
