// TOpusTag: the comment header of an Ogg stream of Vorbis or Opus audio (and
// of Theora video): vendor text and NAME=value fields, pictures as
// METADATA_BLOCK_PICTURE fields holding the Base64 text of a picture block.
// From the identification header it takes the channel count and sample
// rate, and on request (ParsePlayTime) the sample count, play time and bit
// rate.
//
// A save replaces the pages from the comment header to the end of the last
// header packet of the same logical stream. It writes in place when the new
// header pages fill the old ones exactly (padding behind the comment list
// taking up the difference), otherwise through the shared file edit; when
// the number of header pages changes, the later pages of that stream (and
// only that stream) are renumbered. Bytes that are not pages, such as a tag
// behind the last page, are never touched. An ID3v2 tag in front is kept.
//
// The unified container owns one TOpusTag and maps it (ogg_mapping.cpp, on
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

namespace oggresult {
inline constexpr int Success = 0;
inline constexpr int CannotOpen = 4;       // missing file, cannot be opened
inline constexpr int WriteFailed = 6;      // the new file could not be written or put in place
inline constexpr int BadHeader = 7;        // a length or page of the header is damaged
inline constexpr int NoCommentHeader = 9;  // no comment header this writer can replace
inline constexpr int CannotRewrite = 10;   // the file could not be opened for the rewrite
inline constexpr int ReadOnly = 11;
inline constexpr int Failure = 0xFFFF;  // not an Ogg stream of a known kind, or an error
}  // namespace oggresult

enum TOggFormat : int32_t { ofUnknown, ofVorbis, ofOpus, ofTheora };

using TOpusTagFrame = TVorbisComment;

class TOpusTag {
public:
    TOpusTag();

    // Options (kept by Clear).
    TPaddingOption Padding;  // of Vorbis and Opus comment headers written anew (tags/padding.h)
    bool UpperCaseFieldNamesToWrite = true;
    bool ParsePlayTime;
    bool PreserveFileDateTime = false;

    std::string SourceFileName;
    bool Loaded = false;
    std::string VendorString;
    // Field names compare ignoring ASCII case, as Vorbis comments define them.
    TItemList<TOpusTagFrame, itemlist::TAsciiCaseBlindName> Frames;
    TOggFormat Format = ofUnknown;

    // What the last load learnt about the stream.
    struct TInfo {
        int64_t FileSize = 0;
        int64_t ID3v2Size = 0;
        int64_t SPagePos = 0;   // first page of the comment header
        int64_t TagEndPos = 0;  // just after the last header page
        uint32_t Serial = 0;
        uint8_t Channels = 0;
        uint32_t SampleRate = 0;  // Opus: the input sample rate
        uint16_t PreSkip = 0;
        uint32_t BitRateNominal = 0;
        uint64_t SampleCount = 0;
        double PlayTime = 0;
        uint32_t BitRate = 0;  // kbit/s
    } Info;

    int64_t Size() const { return Loaded ? Info.TagEndPos - Info.SPagePos : 0; }
    void Clear();
    bool Assign(const TOpusTag& Source);

    int LoadFromFile(const std::string& FileName);
    // LoadFromFile on a file already open (File read from its start).
    int LoadFromOpenFile(TStream& File, const std::string& FileName);
    int LoadFromStream(TStream& Stream);
    int SaveToFile(const std::string& FileName);
    int SaveToStream(TStream& Stream);

    // Fields (names compared ignoring case).
    int Count() const { return (int)Frames.size(); }
    TOpusTagFrame& AddFrame(const std::string& Name);
    int AddTextFrame(const std::string& Name, const std::string& Text);
    bool DeleteFrame(int Index) { return Frames.Delete(Index); }
    // Deletes the first field of that name.
    bool DeleteFrameByName(const std::string& Name) { return Frames.DeleteFirst(Name); }
    void DeleteAllFrames() { Frames.clear(); }
    int FrameExists(const std::string& Name) const { return Frames.Exists(Name); }
    int FrameTypeCount(const std::string& Name) const { return Frames.TypeCount(Name); }
    std::string GetText(const std::string& Name);
    void SetText(const std::string& Name, const std::string& Text);

    // Pictures: fields of format vcfCoverArt.
    int CoverArtCount() const;
    void DeleteAllCoverArts();
    int AddCoverArtFrame(const vorbis::TPictureInfo& Info, std::span<const uint8_t> Data);
    bool GetCoverArtFromFrame(int Index, vorbis::TPictureInfo& Info, std::vector<uint8_t>& Data) const;

private:
    int Load(TStream& Stream);
    int Save(TStream* Target, const std::string& FileName);
};

// Removes every field but ENCODER (pictures too) from the file.
int RemoveOggTagFromFile(const std::string& FileName, uint32_t PaddingSize = 0, bool PreserveDateTime = false);
// Ogg stream format of the stream whose first page is at Offset: 7 Vorbis,
// 6 Opus, 8 Theora, 0 other.
int DetectOggStreamFormat(TStream& Stream, int64_t Offset);
