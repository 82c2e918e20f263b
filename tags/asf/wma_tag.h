// TWMATag: the attributes of a Windows Media (ASF) file as an ordered list of
// frames (name, data type, raw value), read and written through our own ASF
// header editor (asf_header.h). The tag owns its frames; a frame points back
// to its tag without owning it.
//
// A "WM/Picture" frame holds the value as it is stored in the file: picture
// type (1 byte), data length (DWORD), MIME type and description as
// NUL-terminated UTF-16LE texts, then the picture bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tags/item_list.h"

class TStream;
class TWMATag;

// Attribute data types; UNKNOWN marks a frame whose value was never set.
enum WMT_ATTR_DATATYPE : uint16_t {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
    WMT_TYPE_UNKNOWN = 7,
};

namespace wmaresult {
inline constexpr int Success = 0;
inline constexpr int NoFile = 1;
inline constexpr int NotAsf = 4;
inline constexpr int ReadOnly = 6;
inline constexpr int Failed = 0xFFFF;
}  // namespace wmaresult

class TWMATagFrame {
public:
    explicit TWMATagFrame(TWMATag* Parent) : Parent(Parent) {}

    std::string Name;
    WMT_ATTR_DATATYPE Format = WMT_TYPE_UNKNOWN;
    std::vector<uint8_t> Value;
    TWMATag* Parent;

    bool SetText(const std::string& Text);
    std::string GetText() const;
    // DWORD/BOOL 4 bytes, QWORD 8, WORD 2; false for any other format.
    bool SetInteger(WMT_ATTR_DATATYPE NewFormat, uint64_t Number);
    int64_t GetInteger() const;
    bool IsNumeric() const;
    void SetAsGUID(const uint8_t Guid[16]);
    bool GetAsGUID(uint8_t Guid[16]) const;
    // name=value lines <-> the stored list form (items separated by CR LF).
    bool SetList(const std::vector<std::string>& List);
    bool GetList(std::vector<std::string>& List) const;
    bool IsCoverArt() const { return Name == "WM/Picture"; }
    void Clear();
    bool Assign(const TWMATagFrame& Source);
    int GetIndex() const;
    bool Delete();
};

class TWMATag {
public:
    TWMATag() = default;
    TWMATag(const TWMATag&) = delete;
    TWMATag& operator=(const TWMATag&) = delete;

    std::string SourceFileName;
    bool Loaded = false;
    int64_t FFileSize = 0;
    // Attribute names compare ignoring ASCII case, as every lookup of this
    // reader always has.
    TItemList<std::unique_ptr<TWMATagFrame>, itemlist::TAsciiCaseBlindName> Frames;
    std::string FCodecInfo, FCodecDescription;
    // The first audio stream's format, from the stream properties (0 unknown).
    uint16_t Channels = 0, BitsPerSample = 0;
    uint32_t SampleRate = 0;
    bool NormalizeRatingTo255 = false;
    // Unified values as the container's merge left them, per name (kept by
    // the container's WMA mapping; a save leaves unchanged names alone).
    std::vector<std::pair<std::string, std::vector<std::string>>> LoadedValues;
    bool PreserveFileDateTime = false;

    int LoadFromFile(const std::string& FileName);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName);
    // Reads from a stream (used by tests and fuzzing; the container reads files).
    int LoadFromStream(TStream& Stream);
    int SaveToFile(const std::string& FileName);
    // Writes into a stream holding the same file; the stream is re-read first.
    int SaveToStream(TStream& Stream);

    void Clear();
    int64_t Size() const { return CalculateTagSize(); }
    bool Assign(const TWMATag& Source);

    int Count() const { return (int)Frames.size(); }
    TWMATagFrame* AddFrame(const std::string& Name);
    bool DeleteFrame(int Index) { return Frames.Delete(Index); }
    // Deletes the first attribute of that name.
    bool DeleteFrameByName(const std::string& Name) { return Frames.DeleteFirst(Name); }
    void DeleteAllFrames() { Frames.clear(); }
    int FrameExists(const std::string& Name) const { return Frames.Exists(Name); }  // ignoring case; -1 when none
    int FrameTypeCount(const std::string& Name) const { return Frames.TypeCount(Name); }
    TWMATagFrame* Frame(const std::string& Name) const;

    std::string GetText(const std::string& Name) const;
    void SetText(const std::string& Name, const std::string& Text);
    int64_t GetInteger(const std::string& Name) const;
    int SetInteger(const std::string& Name, WMT_ATTR_DATATYPE Format, uint64_t Value);
    bool GetList(const std::string& Name, std::vector<std::string>& List) const;
    void SetList(const std::string& Name, const std::vector<std::string>& List);

    int CoverArtCount() const;
    int GetFrameIndexOfCoverArtIndex(int CoverIndex) const;
    void DeleteAllCoverArts();
    int AddCoverArtFrame(const std::vector<uint8_t>& Picture, const std::string& MIMEType,
                         const std::string& Description, uint32_t PictureType);
    bool SetCoverArtFrame(int Index, const std::vector<uint8_t>& Picture, const std::string& Description,
                          uint32_t PictureType, const std::string& MIMEType);
    bool GetCoverArtFromFrame(int Index, std::vector<uint8_t>& Picture, std::string& Description, uint32_t& PictureType,
                              std::string& MIMEType) const;
    bool GetCoverArtInfo(int Index, std::string& MIMEType, uint32_t& CoverArtSize, std::string& Description,
                         uint32_t& PictureType) const;
    int64_t CalculateTagSize() const;

    // Values of the computed attributes.
    int64_t Duration() const { return GetInteger("Duration") / 10000; }  // milliseconds
    uint32_t BitRate() const;                                            // kbit/s
    int64_t NumberOfFrames() const { return GetInteger("NumberOfFrames"); }
    int64_t FileSize() const { return GetInteger("FileSize"); }
    bool Seekable() const { return GetInteger("Seekable") > 0; }
    bool HasAudio() const { return GetInteger("HasAudio") > 0; }
    bool HasVideo() const { return GetInteger("HasVideo") > 0; }
    bool IsProtected() const { return GetInteger("Is_Protected") > 0; }
    const std::string& CodecInfo() const { return FCodecInfo; }
    const std::string& CodecDescription() const { return FCodecDescription; }

private:
    int Load(TStream* Stream, const std::string& FileName);
    int Save(TStream* Stream, const std::string& FileName);
};
