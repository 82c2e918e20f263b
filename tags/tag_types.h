// Enumerations and small shared types of the unified tag container.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tags/padding.h"

enum TTagType : int32_t {
    ttNone,
    ttAutomatic,
    ttAPEv2,
    ttFlac,
    ttID3v1,
    ttID3v2,
    ttMP4,
    ttOpusVorbis,
    ttWAV,
    ttWMA,
    ttMP4Xtra,
    ttLyrics2,
    ttMKV
};

enum TTagPictureFormat : int32_t { tpfUnknown, tpfJPEG, tpfPNG, tpfBMP, tpfGIF, tpfTIFF };

enum TExtTagType : int32_t { ettUnknown, ettTXXX, ettWXXX };

// How an APEv2 or RIFF INFO item holds its value.
enum TTagFrameFormat : int32_t { ffUnknown, ffText, ffBinary };

enum TSourceFileType : int32_t { sftUnknown, sftMPEG, sftWAVE, sftRF64, sftAIFF, sftDSF, sftDFF };

using TTagPriority = std::array<TTagType, 9>;

inline constexpr TTagPriority DefaultTagLoadPriority = {ttFlac,  ttOpusVorbis, ttMP4, ttWAV, ttID3v2,
                                                        ttAPEv2, ttID3v1,      ttWMA, ttNone};

// Container result codes produced by the container itself.
namespace tagresult {
inline constexpr int Success = 0;
inline constexpr int NoData = 2;          // no memory block / strip of a missing file
inline constexpr int NothingToWrite = 3;  // treated as success
inline constexpr int FileNotFound = 5;    // load of a missing file or an empty stream
inline constexpr int WMAToStream = 10;
inline constexpr int Failure = 65535;
}  // namespace tagresult

// Native libraries whose result codes the container translates.
enum class TNativeLibrary { ID3v2, WAV, MP4, APEv2, Ogg, Flac, ID3v1, WMA };
int MapNativeResult(TNativeLibrary Library, int NativeCode);

// Audio format codes of DetectAudioFormatOfStream.
namespace audioformat {
inline constexpr int Unknown = 0, Monkey = 1, Flac = 2, OggFlac = 3, MPEG = 4, MP4 = 5, Opus = 6, Vorbis = 7,
                     Theora = 8, Wave = 9, RF64 = 10, AIFF = 11, AIFC = 12, DSDIFF = 13, DSF = 14, OptimFrog = 15,
                     Musepack = 16, WavPack = 17;
}

// Tag kind bits of DefaultTagKindsForExtension.
namespace tagkind {
inline constexpr int APEv2 = 4, Flac = 8, ID3v1 = 16, ID3v2 = 32, MP4 = 64, Ogg = 128, WAV = 256, WMA = 512;
}

// Library-wide option defaults, copied into every new container and native tag object.
struct TTagLibraryDefaults {
    bool UpperCaseFieldNamesToWrite = true;
    // The padding every writer leaves (tags/padding.h).
    TPaddingOption Padding;
    bool OggParsePlayTime = false;
    bool ParseWavPackAudioAttributes = false;
    bool ParseMusePackAudioAttributes = false;
    bool ParseMonkeyAudioAttributes = false;
    bool ParseAudioAttributes = true;
    bool ParseCoverArts = true;
    bool MP4KeepPadding = true;
    bool ID3v2WriteUTF8Text = false;
    bool PreserveFileDateTime = false;
    bool OnlyParseCoverArts = false;
};
TTagLibraryDefaults& TagLibraryDefaults();

// Picture types 0..20 with their texts; 3 is the front cover.
inline constexpr int PictureTypeCount = 21;
const char* PictureTypeName(uint32_t Type);  // "" outside 0..20
uint32_t PictureTypeFromName(const std::string& Name);
TTagPictureFormat PictureFormatFromMIMEType(const std::string& MIMEType);
const char* TagTypeName(TTagType Type);  // "ID3v1", "ID3v2", "APEv2", ...
