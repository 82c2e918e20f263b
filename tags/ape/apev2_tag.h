// TAPEv2Tag: the APE tag (read as version 1.0 or 2.0, written as 2.0) at the
// end of a file, in front of an optional Lyrics3 v2.00 block and an optional
// ID3v1 block.
//
// The tag owns its items (TAPEv2Frame); each item owns its raw value and
// points back to its tag without owning it. The unified container owns one
// TAPEv2Tag and translates it to and from unified names
// (tags/ape/apev2_mapping.cpp). Keys are unique, compared ignoring case: a
// text item holds several values separated by 0x00. No exception leaves
// this API: every load, save and removal returns a code (apev2result).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tags/item_list.h"
#include "tags/stream.h"
#include "tags/tag_types.h"

namespace apev2result {
inline constexpr int Success = 0;
inline constexpr int NoTag = 1;
inline constexpr int NothingToWrite = 2;  // empty tag and none in the file
inline constexpr int CannotOpen = 4;
inline constexpr int ItemTooLarge = 7;  // an item runs past the footer
inline constexpr int UnsupportedVersion = 8;
inline constexpr int DamagedFooter = 9;  // short, or a size / count the file cannot hold
inline constexpr int ReadOnly = 10;
inline constexpr int Failure = 65535;
}  // namespace apev2result

// Limits for hostile files, named once.
namespace apev2limit {
inline constexpr int64_t HeaderSize = 32;  // header and footer alike
// Smallest item: value size, flags, a one-byte key and its terminator.
inline constexpr int64_t MinItemSize = 10;
// Items read from one tag; a count beyond it (or beyond what the size can hold) is refused.
inline constexpr uint32_t MaxItems = 65536;
// Largest tag read or written; the size field is 32 bits.
inline constexpr int64_t MaxTagSize = 0x7FFFFFFF;
}  // namespace apev2limit

using TAPEv2FrameFormat = TTagFrameFormat;
enum TAPEv2PictureFormat : int32_t { pfUnknown, pfJPEG, pfPNG, pfBMP, pfGIF };

class TAPEv2Tag;

// One item.
class TAPEv2Frame {
public:
    explicit TAPEv2Frame(TAPEv2Tag* Parent) : Parent(Parent) {}

    std::string Name;  // the key, UTF-8
    TAPEv2FrameFormat Format = ffText;
    // The item kind of the flags (0 text, 1 binary, 2 external locator, 3
    // reserved). Kinds 2 and 3 are kept as read (Format ffUnknown).
    uint32_t Kind = 0;
    // The other flag bits as read (bit 0: read-only), written back as they were.
    uint32_t OtherFlags = 0;
    std::vector<uint8_t> Value;  // raw value bytes
    TAPEv2Tag* Parent;           // not owned
    bool AlreadyParsed = false;

    // Text items: the values (0x00-separated) joined by CR LF, each decoded as
    // UTF-8, else Windows-1252, trailing blanks and controls removed. Binary
    // items: "BINARY <size>".
    std::string GetText() const;
    std::string GetTextANSI() const;
    // The separate values of a text item.
    std::vector<std::string> GetValues() const;
    void SetText(const std::string& Text);
    void SetValues(const std::vector<std::string>& Values);
    // name=value pairs stored as "name CRLF value CRLF ...".
    void GetList(std::vector<std::string>& List) const;
    void SetList(const std::vector<std::string>& List);
    bool IsCoverArt() const;
    void Clear();
    void Assign(const TAPEv2Frame& Source);
    int Index() const;
};

// A picture item's content: description, 0x00, picture file.
struct TAPEv2CoverArtInfo {
    std::string Description;
    TAPEv2PictureFormat Format = pfUnknown;
    std::vector<uint8_t> Data;
};

// Where a tag sits at the end of a stream (see LocateAPEv2Tag).
struct TAPEv2Location {
    int64_t KeptStart = 0;  // start of the Lyrics3 / ID3v1 blocks that stay behind the tag (stream size when none)
    bool Found = false;     // "APETAGEX" footer right before KeptStart
    int64_t TagStart = 0;   // header when there is one, else first item; KeptStart when not found
    int64_t ItemsStart = 0;
    bool HasHeader = false;
    uint32_t Version = 0, Size = 0, ItemCount = 0, Flags = 0;
};
// Finds the footer behind which only an ID3v1 block, a Lyrics3 block or
// both may follow, and checks it: a footer whose size or item count the
// stream cannot hold gives DamagedFooter, an unknown version
// UnsupportedVersion; no footer gives Success with Found false.
int LocateAPEv2Tag(TStream& Stream, TAPEv2Location& Where);

class TAPEv2Tag {
public:
    TAPEv2Tag();
    ~TAPEv2Tag();
    TAPEv2Tag(const TAPEv2Tag&) = delete;
    TAPEv2Tag& operator=(const TAPEv2Tag&) = delete;

    std::string FileName;
    std::string SourceFileName;  // same as FileName; the container's common spelling
    bool Loaded = false;
    uint32_t Version = 0;
    uint32_t Flags = 0;
    uint32_t TagSizeField = 0;  // the footer's size field
    // Keys compare ignoring ASCII case, as the APEv2 format defines them.
    TItemList<std::unique_ptr<TAPEv2Frame>, itemlist::TAsciiCaseBlindName> Frames;
    bool UpperCaseFieldNamesToWrite = true;
    bool PreserveFileDateTime = false;

    int64_t FileSize() const { return FFileSize; }
    // Bytes the tag took in the file when loaded (header, items, footer); 0 when not loaded.
    int64_t Size() const { return Loaded ? FBytesOnDisk : 0; }

    int LoadFromFile(const std::string& FileName);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName);
    int LoadFromStream(TStream& TagStream);
    int SaveToFile(const std::string& FileName);
    int SaveToStream(TStream& Stream);

    TAPEv2Frame* AddFrame(const std::string& Name);
    bool DeleteFrame(int FrameIndex) { return Frames.Delete(FrameIndex); }
    void DeleteAllFrames();
    void DeleteAllCoverArts();
    void Clear();
    int Count() const { return (int)Frames.size(); }
    TAPEv2Frame* Frame(int Index) const { return Index >= 0 && Index < Count() ? Frames[Index].get() : nullptr; }
    int CoverArtCount() const;
    int GetFrameIndexOfCoverArtIndex(int CoverArtIndex) const;
    // Index of the first item whose key equals Name ignoring case, -1 if none.
    int FrameExists(const std::string& Name) const { return Frames.Exists(Name); }
    int FrameTypeCount(const std::string& Name) const { return Frames.TypeCount(Name); }
    int64_t CalculateTotalFramesSize() const;
    int64_t CalculateTagSize() const;
    TAPEv2Frame* AddTextFrame(const std::string& Name, const std::string& Text);
    TAPEv2Frame* AddBinaryFrame(const std::string& Name, const uint8_t* Data, size_t DataSize);
    // The first item of that key (ignoring case) gets the text; an empty text
    // deletes it; a missing one is added.
    void SetText(const std::string& Name, const std::string& Text);
    void SetList(const std::string& Name, const std::vector<std::string>& List);
    std::string GetText(const std::string& Name) const;
    void GetList(const std::string& Name, std::vector<std::string>& List) const;
    void RemoveEmptyFrames();
    TAPEv2Frame* AddCoverArtFrame(const std::string& Name, const std::vector<uint8_t>& Picture,
                                  const std::string& Description);
    bool SetCoverArtFrame(int Index, const std::vector<uint8_t>& Picture, const std::string& Description);
    bool GetCoverArtFromFrame(int Index, TAPEv2CoverArtInfo& Info) const;
    // Deletes the first item of that key (ignoring case).
    bool DeleteFrameByName(const std::string& Name) { return Frames.DeleteFirst(Name); }
    bool Assign(const TAPEv2Tag& Source);
    void ReSetAlreadyParsedState();

    // Header (when WithHeader), items and footer as they are written; empty
    // when there is nothing to write or the tag would exceed what its size
    // field holds.
    std::vector<uint8_t> Render(bool WithHeader = true) const;
    // Items from a tag body (the bytes from the first item to the footer's
    // start); the result code of a load.
    int ParseItems(const uint8_t* Data, size_t Size, uint32_t Count, uint32_t TagVersion);

private:
    int64_t FFileSize = 0;
    int64_t FBytesOnDisk = 0;
};

// Removes the APE tag from a file, keeping a Lyrics3 block and an ID3v1 block
// behind it. 0 removed, 1 none found, 4 cannot open, 8 / 9 damaged footer,
// 10 read-only, 65535 any other failure.
int RemoveAPEv2TagFromFile(const std::string& FileName, bool PreserveFileDateTime = false);

// The key a picture of a given type is stored under ("Cover Art (Front)" for
// 3), and the type of a key (also "Cover Art (Front) 2"); -1 when the key is
// no picture key.
std::string APEv2CoverKey(uint32_t PictureType);
int APEv2CoverTypeOfKey(const std::string& Key);
