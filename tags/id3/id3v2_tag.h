// ID3v2 tag (versions 2.2, 2.3 and 2.4): header values plus an ordered list
// of frames whose bodies are kept as raw bytes.
//
// Ownership: a TID3v2Tag owns its frames; a TID3v2Frame owns its body; a
// chapter frame (CHAP / CTOC) owns its sub-frame list. Parent / Root links
// point back without owning. Accessors parse a body on demand and build it
// anew (tags/id3/id3v2_frames.cpp); reading is tags/id3/id3v2_tag.cpp,
// writing and removal tags/id3/id3v2_write.cpp.
//
// No exception leaves this API: loads and saves return integer codes
// (see TID3v2Result below).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tags/item_list.h"
#include "tags/padding.h"
#include "tags/stream.h"
#include "tags/tag_types.h"
#include "tags/riff/container_audio.h"
#include "tags/mpeg/mpeg_audio.h"

enum TID3v2TextEncoding : int32_t { teUnicode, teUTF8, teANSI };
enum TID3v2SaveVersion : int32_t { sfid3v2NoChange, sfid3v23, sfid3v24 };

// Result codes of loading, saving and removing.
namespace id3v2result {
inline constexpr int Success = 0;
inline constexpr int NoTag = 1;
inline constexpr int NoFrames = 2;  // nothing written; when removing: no tag found
inline constexpr int FileOpenFailed = 4;
inline constexpr int ContainerError = 5;
inline constexpr int WriteFailed = 6;
inline constexpr int ContainerUnsound = 7;
inline constexpr int UnsupportedVersion = 8;
inline constexpr int RF64WithoutWave = 9;
inline constexpr int ContainerTooLarge = 10;
inline constexpr int NotExclusive = 11;
inline constexpr int ReadOnly = 12;
inline constexpr int Failure = 65535;
}  // namespace id3v2result

// Limits for hostile input, named once.
namespace id3v2limit {
// Largest body a compressed frame may inflate to (also when its declared size is larger).
inline constexpr uint32_t MaxInflatedFrameSize = 64u * 1024 * 1024;
// Chapter frames nest sub-frames; deeper nesting is kept raw.
inline constexpr int MaxChapterDepth = 4;
}  // namespace id3v2limit

using TID3v2FrameID = std::array<uint8_t, 4>;
// First four characters of Text, a shorter text filled with zero bytes.
TID3v2FrameID ID3v2FrameID(const std::string& Text);
std::string ID3v2FrameIDText(const TID3v2FrameID& ID);  // stops at the first zero byte
// Every character "A".."Z" or "0".."9" (3 of them for version 2.2).
bool ValidID3v2FrameID(const TID3v2FrameID& ID, int MajorVersion);

class TByteReader;
class TID3v2Frames;
class TID3v2Tag;
namespace id3v2 {
bool ReadFrames(TByteReader& R, TID3v2Frames& List, int MajorVersion, bool TagUnsynchronised, int Depth);
}

// How a save writes the tag, beside its frames: options a load keeps.
struct TID3v2WriteOptions {
    // The padding of a tag written anew (tags/padding.h); a tag that fits
    // its old place keeps it by the padding rule.
    TPaddingOption Padding;
    // Version 2.2 tags are written as 2.3; this may force 2.3 or 2.4.
    TID3v2SaveVersion Version = sfid3v2NoChange;
    TID3v2TextEncoding PictureTextEncoding = teUnicode;
    bool PreserveFileDateTime = false;
};

class TID3v2Frame {
public:
    explicit TID3v2Frame(TID3v2Frames* Parent) : Parent(Parent) {}
    virtual ~TID3v2Frame() = default;

    bool FWasUnsynchronised = false;
    TID3v2FrameID ID{};
    TID3v2Frames* Parent;       // not owned
    uint32_t Size = 0;          // body size as read
    std::vector<uint8_t> Data;  // the frame body
    uint16_t Flags = 0;
    bool TagAlterPreservation = false, FileAlterPreservation = false, ReadOnly = false;
    bool Compressed = false, Encrypted = false, GroupingIdentity = false;
    bool Unsynchronised = false, DataLengthIndicator = false;
    uint8_t GroupIdentifier = 0;
    uint8_t EncryptionMethod = 0;
    uint32_t DataLengthIndicatorValue = 0;
    bool AlreadyParsed = false;

    std::string IDText() const { return ID3v2FrameIDText(ID); }
    bool IsID(const char* Text) const { return ID == ID3v2FrameID(Text); }

    void DecodeFlags3(uint16_t Word);
    uint16_t EncodeFlags3() const;
    void DecodeFlags4(uint16_t Word);
    uint16_t EncodeFlags4() const;
    // Deflates at the maximum level; false when the body is empty.
    bool Compress();
    // Inflates a zlib body of more than 4 bytes, capped by the declared size and
    // MaxInflatedFrameSize; false (body unchanged) when it cannot be inflated.
    bool DeCompress();
    void RemoveUnsynchronisation();
    void ApplyUnsynchronisation();
    virtual void Assign(const TID3v2Frame& Source);
    bool Delete();
    virtual void Clear();
    int Index() const;
    TID3v2Tag* Root() const;
};

class TID3v2FrameWithSubFrames : public TID3v2Frame {
public:
    explicit TID3v2FrameWithSubFrames(TID3v2Frames* Parent);
    ~TID3v2FrameWithSubFrames() override;
    std::unique_ptr<TID3v2Frames> SubFrames;
    // The body was understood completely, so it may be rebuilt from the fields.
    bool ParsedCleanly = false;
    void Assign(const TID3v2Frame& Source) override;
    void Clear() override;
};

// CHAP: element ID, start / end time, start / end offset, embedded frames.
class TID3v2FrameCHAP final : public TID3v2FrameWithSubFrames {
public:
    using TID3v2FrameWithSubFrames::TID3v2FrameWithSubFrames;
    std::string ElementID;
    uint32_t StartTime = 0, EndTime = 0, StartOffset = 0xFFFFFFFF, EndOffset = 0xFFFFFFFF;
    void Assign(const TID3v2Frame& Source) override;
};

// CTOC: element ID, flags, child element IDs, embedded frames.
class TID3v2FrameCTOC final : public TID3v2FrameWithSubFrames {
public:
    using TID3v2FrameWithSubFrames::TID3v2FrameWithSubFrames;
    std::string ElementID;
    bool TopLevel = false, Ordered = false;
    std::vector<std::string> ChildElementIDs;
    void Assign(const TID3v2Frame& Source) override;
};

// Frame IDs compare byte for byte over their four bytes: a wanted name is
// cut or filled with zero bytes to four (ID3v2FrameID), so "TIT2" and
// "tit2" are two IDs.
struct TID3v2FrameIDRule {
    using TKey = TID3v2FrameID;
    static TKey Key(std::string_view Name) { return ID3v2FrameID(std::string(Name)); }
    static bool Matches(const TID3v2Frame& Frame, const TKey& ID) { return Frame.ID == ID; }
};

// An ordered frame list with the accessors the unified mapping uses.
class TID3v2Frames {
public:
    explicit TID3v2Frames(TID3v2Tag* Root) : Root(Root) { Frames.reserve(1024); }
    virtual ~TID3v2Frames() = default;
    TID3v2Frames(const TID3v2Frames&) = delete;
    TID3v2Frames& operator=(const TID3v2Frames&) = delete;

    TID3v2Tag* Root;  // not owned
    TItemList<std::unique_ptr<TID3v2Frame>, TID3v2FrameIDRule> Frames;

    int AddFrame(const std::string& FrameID);
    TID3v2Frame* AddFrameEx(const std::string& FrameID);
    TID3v2Frame* AddFrameEx(const TID3v2FrameID& FrameID);
    int FrameExists(const std::string& FrameID) const { return Frames.Exists(FrameID); }
    int FrameTypeCount(const std::string& FrameID) const { return Frames.TypeCount(FrameID); }
    int GetFrameCount() const { return (int)Frames.size(); }
    TID3v2Frame* Frame(int Index) const {
        return Index >= 0 && Index < GetFrameCount() ? Frames[Index].get() : nullptr;
    }
    bool DeleteFrame(int FrameIndex) { return Frames.Delete(FrameIndex); }
    // Deletes the first frame with that ID.
    bool DeleteFrame(const std::string& FrameID) { return Frames.DeleteFirst(FrameID); }
    // Deletes every frame with that ID; returns how many went.
    int DeleteFrames(const std::string& FrameID) { return Frames.DeleteAll(FrameID); }
    void DeleteAllFrames();
    void Clear() { DeleteAllFrames(); }
    void AssignFrames(const TID3v2Frames& Source);
    int CoverArtCount() const { return FrameTypeCount("APIC"); }
    void DeleteAllCoverArts() { DeleteFrames("APIC"); }

    // --- text frames ---
    std::string GetText(int FrameIndex, bool ReturnNativeText = false) const;
    std::string GetText(const std::string& FrameID, bool ReturnNativeText = false) const;
    bool GetTextMultiple(int FrameIndex, std::vector<std::string>& List) const;
    bool GetTextMultiple(const std::string& FrameID, std::vector<std::string>& List) const;
    bool SetText(const std::string& FrameID, const std::string& Text, TID3v2TextEncoding Encoding);
    bool SetTextMultiple(const std::string& FrameID, const std::vector<std::string>& List, TID3v2TextEncoding Encoding);
    bool SetRawText(const std::string& FrameID, const std::string& Text);

    // --- comments and lyrics ---
    std::string GetContent(int FrameIndex, std::string& LanguageID, std::string& Description) const;
    bool SetContent(const std::string& FrameID, const std::string& Content, TID3v2TextEncoding Encoding,
                    const std::string& Description, const std::string& LanguageID);
    // The same on the frame at FrameIndex (false when out of range).
    bool SetContentAt(int FrameIndex, const std::string& Content, TID3v2TextEncoding Encoding,
                      const std::string& Description, const std::string& LanguageID);

    // --- user-defined text ---
    std::string GetUserDefinedTextInformation(int FrameIndex, std::string& Description) const;
    bool GetUserDefinedTextInformationMultiple(int FrameIndex, std::string& Description,
                                               std::vector<std::string>& List) const;
    bool SetUserDefinedTextInformationMultiple(const std::string& FrameID, const std::string& Description,
                                               TID3v2TextEncoding Encoding, const std::vector<std::string>& List);
    int FindTXXXByDescription(const std::string& Description) const;
    bool SetTXXXByDescriptionMultiple(const std::string& Description, const std::vector<std::string>& List,
                                      TID3v2TextEncoding Encoding);

    // --- links ---
    std::string GetUserDefinedURLLink(int FrameIndex, std::string& Description) const;
    bool SetUserDefinedURLLink(const std::string& FrameID, const std::string& URL, TID3v2TextEncoding Encoding,
                               const std::string& Description);
    int FindUserDefinedURLLinkByDescription(const std::string& Description) const;
    bool SetUserDefinedURLLinkByDescription(const std::string& Description, const std::string& URL,
                                            TID3v2TextEncoding Encoding);
    std::string GetURL(int FrameIndex) const;
    std::string GetURL(const std::string& FrameID) const;
    bool SetURL(const std::string& FrameID, const std::string& URL);

    // --- counters ---
    uint32_t GetPlayCount(const std::string& FrameID = "PCNT") const;
    bool SetPlayCount(const std::string& FrameID, uint32_t PlayCount);
    bool GetPopularimeter(int FrameIndex, std::string& Email, uint32_t& PlayCounter, uint8_t& Rating) const;
    // Sets the rating byte of the POPM at FrameIndex, keeping its e-mail and counter.
    bool SetPopularimeterRating(int FrameIndex, uint8_t Rating);

    // --- involved-people lists: lines "role=name" ---
    bool GetListFrame(int FrameIndex, std::vector<std::string>& List) const;
    bool SetListFrame(const std::string& FrameID, const std::vector<std::string>& List, TID3v2TextEncoding Encoding);

    // --- pictures ---
    bool GetCoverPictureStream(int FrameIndex, std::vector<uint8_t>& Picture, uint32_t& CoverType,
                               std::string& Description, std::string& MIMEType) const;
    bool SetCoverPictureFromStream(int FrameIndex, const std::string& Description, uint32_t CoverType,
                                   const std::string& MIMEType, const std::vector<uint8_t>& Picture);

    // Rebuilds the bodies of chapter frames (and their sub-frames, depth first).
    void SetAllFrameDataStreams();

protected:
    int FindOrAdd(const std::string& FrameID);
};

class TID3v2ExtendedHeader3 {
public:
    uint32_t Size = 0;
    std::array<uint8_t, 4> CodedSize{};
    std::vector<uint8_t> Data;
    uint16_t Flags = 0;
    bool CRCPresent = false;
};

class TID3v2ExtendedHeader4 {
public:
    uint32_t Size = 0;
    std::array<uint8_t, 4> CodedSize{};
    uint8_t FlagBytes = 0;
    uint8_t Flags = 0;
    uint32_t ExtendedFlagsDataSize = 0;
    std::vector<uint8_t> ExtendedFlagsData;
    bool TagIsAnUpdate = false, CRCPresent = false, TagRestrictions = false;
};

class TID3v2Tag final : public TID3v2Frames {
public:
    TID3v2Tag();
    ~TID3v2Tag() override;

    std::string SourceFileName;
    bool Loaded = false;
    // The header as last read.
    uint8_t Flags = 0;
    bool Unsynchronised = false, Compressed = false, ExtendedHeader = false, Experimental = false,
         FooterPresent = false;
    uint8_t MajorVersion = 3, MinorVersion = 0;

    // Options (kept by Clear).
    TID3v2WriteOptions WriteOptions;
    bool ParseAudioAttributes = true;
    uint32_t BeginningSearchLength = 0;
    int32_t MPEGSearchLength = 4096;
    bool AutoRemoveUnsynchronisation = true;
    bool ParseCoverArts = true;
    bool TrimText = true;

    uint32_t Size() const { return FSize; }
    TSourceFileType SourceFileType() const { return FSourceFileType; }
    int64_t FileSize() const { return FFileSize; }
    bool WasUnsynchronised() const { return FWasUnsynchronised; }
    const TMPEGStreamInfo& MPEGStream() const { return FMPEG; }
    const TContainerAudio& ContainerAudio() const { return FContainerAudio; }
    // Which container the last load found and where the tag sat in it.
    int64_t TagPosition() const { return FPosition; }
    // A frame of the last load ran past the tag's end.
    bool FramesDamaged() const { return FError; }
    // The padding of the tag as last read or written.
    uint32_t PaddingSize() const { return FPaddingSize; }
    const TID3v2ExtendedHeader4& ExtendedHeader4() const { return *FExtendedHeader4; }

    void Clear();
    bool Assign(const TID3v2Tag& Source);

    int LoadFromFile(const std::string& FileName, bool Buffered = true);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName, bool Buffered = true);
    int LoadFromStream(TStream& Stream, bool Buffered = true);
    int LoadFromMemory(const void* Address, int64_t Size);
    int LoadTagFromStream(TStream& Stream);

    bool RemoveUnsynchronisationOnAllFrames();
    bool ApplyUnsynchronisationOnAllFrames();
    bool DeCompressAllFrames();

    // --- writing (id3v2_write.cpp) ---
    int SaveToFile(const std::string& FileName, bool Buffered = true);
    int SaveToStream(TStream& Stream, bool Buffered = true);
    // The tag with Padding bytes of padding, written at the stream's position.
    int SaveTagToStream(TStream& Stream, uint32_t Padding);
    uint32_t CalculateTagSize(uint32_t Padding) const;
    uint32_t CalculateTotalFramesSize() const;
    uint32_t FullFrameSize(int FrameIndex) const;
    // The whole tag (header, frames, padding) as bytes; empty when the
    // version cannot be written.
    std::vector<uint8_t> RenderTag(uint32_t Padding) const;
    // RenderTag for a save: the padding is remembered as the tag's, and a
    // tag that cannot be rendered throws the format exception.
    std::vector<uint8_t> RenderForSave(uint32_t Padding);

private:
    // The frame reader marks the tag damaged when a frame runs past it.
    friend bool id3v2::ReadFrames(TByteReader& R, TID3v2Frames& List, int MajorVersion, bool TagUnsynchronised,
                                  int Depth);

    std::array<uint8_t, 4> FCodedSize{};
    int64_t FPosition = 0;
    TSourceFileType FSourceFileType = sftUnknown;
    int64_t FFileSize = 0;
    bool FWasUnsynchronised = false;
    std::unique_ptr<TID3v2ExtendedHeader3> FExtendedHeader3;
    std::unique_ptr<TID3v2ExtendedHeader4> FExtendedHeader4;
    uint32_t FPaddingSize = 0;
    bool FError = false;
    uint32_t FSize = 0;  // whole tag size including the 10-byte header
    TMPEGStreamInfo FMPEG;
    // WAVE / RF64 / AIFF / DSF / DFF stream values, read with the container
    // when ParseAudioAttributes is set.
    TContainerAudio FContainerAudio;
};

// Removes the ID3v2 tag from a plain file or from its WAV / RF64 / AIFF / DSF
// / DFF container. 0 removed, 2 no tag, 4 missing / unopenable, 12 read-only.
int RemoveID3v2TagFromFile(const std::string& FileName, bool PreserveFileDateTime = false);
// The same on a stream (used when an empty tag is saved to a stream).
int RemoveID3v2TagFromStream(TStream& Stream);

// A "TCON" text with genre references ("(17)", "(4)(17)Eurodisco", "(RX)") as plain names.
std::string ResolveID3v2Genre(const std::string& Value);
