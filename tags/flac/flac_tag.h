// TFlacTag: the metadata of a FLAC stream, native ("fLaC") or carried in Ogg.
//
// It holds the VORBIS_COMMENT entries and the pictures of the PICTURE blocks
// (both owned), the vendor text and the STREAMINFO values. Every other
// metadata block (APPLICATION, SEEKTABLE, CUESHEET, reserved types) is not
// held: a save reads the file's structure again and writes those blocks back
// byte for byte, in their place. An ID3v2 tag in front of the stream is
// skipped when reading and kept byte for byte when writing.
//
// The unified container owns one TFlacTag and maps it (flac_mapping.cpp, on
// the Vorbis comment mapping in vorbis/vorbis_mapping.cpp).
// No exception leaves the public operations; results are the codes below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tags/item_list.h"
#include "tags/vorbis/vorbis_comment.h"
#include "tags/padding.h"
#include "tags/stream.h"

namespace flacresult {
inline constexpr int Success = 0;
inline constexpr int NoTag = 1;          // STREAMINFO is the only metadata block
inline constexpr int CannotOpen = 4;     // missing file, empty stream, open failed
inline constexpr int WriteFailed = 6;    // the new file could not be written or put in place
inline constexpr int NotOggFlac = 7;     // an Ogg stream, but not FLAC (Vorbis, Opus ...)
inline constexpr int NotFlac = 8;        // neither FLAC nor Ogg FLAC, or damaged metadata
inline constexpr int CannotRewrite = 9;  // the file could not be opened for the rewrite
inline constexpr int ReadOnly = 10;
inline constexpr int TooLarge = 11;  // a block would not fit its 24-bit length
inline constexpr int Failure = 0xFFFF;
}  // namespace flacresult

enum TFlacStreamType : int32_t { fstUnknown, fstNativeFlac, fstOggFlac };

// One picture of a PICTURE block.
struct TFlacPicture {
    vorbis::TPictureInfo Info;
    std::vector<uint8_t> Data;
};

// One metadata block as found in the file (the body is not kept for PADDING).
struct TFlacBlock {
    uint8_t Type = 0;
    std::vector<uint8_t> Body;
    bool PictureReadable = false;  // a PICTURE block whose fields decode
    uint32_t PaddingLength = 0;    // a PADDING block's length
};

// The metadata structure of a FLAC stream: where it lies, STREAMINFO, and
// the blocks after it in file order.
struct TFlacLayout {
    TFlacStreamType StreamType = fstUnknown;
    int64_t Prefix = 0;               // ID3v2 tag in front
    int64_t MetaStart = 0;            // native: the STREAMINFO header; Ogg: the first page
    int64_t AudioOffset = 0;          // just after the metadata
    std::vector<uint8_t> StreamInfo;  // STREAMINFO body
    std::vector<TFlacBlock> Blocks;
    bool Complete = false;  // a block with the last-block flag was reached
    // Ogg FLAC only: the serial number and the sequence number of the last metadata page.
    uint32_t OggSerial = 0;
    uint32_t OggLastSequence = 0;
    int OggPageCount = 0;  // metadata pages after the first page
    // The metadata packets can be replaced: they begin on the second page,
    // end a page, and no other stream's pages lie among them.
    bool OggWritable = false;
};

// The bytes of the PADDING blocks of a layout (their headers not counted).
int64_t PaddingOf(const TFlacLayout& L);

class TFlacTag {
public:
    TFlacTag();

    // Options (kept by Clear).
    bool PreserveFileDateTime;
    TPaddingOption Padding;  // of metadata written anew (tags/padding.h)
    bool UpperCaseFieldNamesToWrite;
    bool ForceReWrite = false;

    std::string SourceFileName;
    bool Loaded = false;
    std::string VendorString;
    // Field names compare ignoring ASCII case, as Vorbis comments define them.
    TItemList<TVorbisComment, itemlist::TAsciiCaseBlindName> Tags;
    std::vector<TFlacPicture> CoverArts;
    TFlacStreamType StreamType = fstUnknown;

    // STREAMINFO values.
    uint8_t Channels = 0;
    uint32_t SampleRate = 0;
    uint8_t BitsPerSample = 0;
    uint64_t SampleCount = 0;  // 36 bits
    bool Valid() const { return Channels && BitsPerSample && SampleRate && SampleCount; }
    double Playtime() const { return Valid() ? double(SampleCount) / SampleRate : 0; }
    uint32_t Bitrate() const;  // kbit/s over the audio data
    int64_t FileSize() const { return FFileSize; }
    int64_t AudioOffset() const { return FAudioOffset; }
    int64_t AudioSize() const { return FFileSize - FAudioOffset; }
    // Bytes of the metadata (everything from "fLaC" to the audio).
    int64_t Size() const { return Loaded ? FAudioOffset - FMetaStart : 0; }

    void Clear();
    bool Assign(const TFlacTag& Source);

    int LoadFromFile(const std::string& FileName, bool Buffered = true);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName, bool Buffered = true);
    int LoadFromStream(TStream& Stream, bool Buffered = true);
    int SaveToFile(const std::string& FileName, bool Buffered = true);
    int SaveToStream(TStream& Stream, bool Buffered = true);

    // Comments ("first match": first comment whose name equals ignoring case).
    int Count() const { return (int)Tags.size(); }
    TVorbisComment& AddTag(const std::string& Name);
    int AddTextTag(const std::string& Name, const std::string& Text);
    bool DeleteFrame(int Index) { return Tags.Delete(Index); }
    void DeleteAllFrames() { Tags.clear(); }
    int FrameExists(const std::string& Name) const { return Tags.Exists(Name); }
    int FrameTypeCount(const std::string& Name) const { return Tags.TypeCount(Name); }
    std::string GetText(const std::string& Name);
    void SetText(const std::string& Name, const std::string& Text);
    bool DeleteFrameByName(const std::string& Name) { return Tags.DeleteFirst(Name); }
    bool GetMultipleValues(const std::string& Name, std::vector<std::string>& Values);
    void SetMultipleValues(const std::string& Name, const std::vector<std::string>& Values);

    // Pictures.
    int CoverArtCount() const { return (int)CoverArts.size(); }
    int AddCoverArt(const vorbis::TPictureInfo& Info, std::vector<uint8_t> Data);
    bool DeleteCoverArt(int Index);
    void DeleteAllCoverArts() { CoverArts.clear(); }

private:
    int Load(TStream& Stream, bool Buffered);
    int Save(TStream* Stream, const std::string& FileName, bool Buffered);
    void TakeStreamInfo(const TFlacLayout& L);

    int64_t FFileSize = 0;
    int64_t FMetaStart = 0;
    int64_t FAudioOffset = 0;
};

// Reads the metadata structure of a native or Ogg FLAC stream (bodies of
// every block but PADDING). Returns a flacresult code; NoTag still fills
// StreamInfo.
int ReadFlacLayout(TStream& Stream, TFlacLayout& Layout);
// The same for FLAC in Ogg, the stream holding "OggS" at Layout.Prefix.
int ReadOggFlacLayout(TStream& Stream, TFlacLayout& Layout);

// Rewrites the file with an empty VORBIS_COMMENT block, no pictures, its
// other blocks unchanged and PaddingSize bytes of padding.
int RemoveFlacTagFromFile(const std::string& FileName, uint32_t PaddingSize = 0, bool PreserveDateTime = false);
