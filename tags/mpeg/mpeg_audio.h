// MPEG audio stream properties: the frame search after an ID3v2 tag, the
// first frame header, the Xing / Info / VBRI header and the measurement of
// the tags at the end of the file (APE tag footer, ID3v1 with Lyrics3). The
// ID3v2 reader runs ScanMPEGAudio on every file in which it found no other
// container and keeps the TMPEGStreamInfo it returns.
//
// Every routine here reads only what it needs: at most the search window
// after the tag, the first frame's VBR header and the last 160 bytes. Bytes
// beyond the end of the stream read as zero, so a short or truncated file
// simply fails the format tests. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>

#include "tags/stream.h"

enum TMPEGVersion : int32_t { tmpegvUnknown, tmpegv1, tmpegv2, tmpegv25 };
enum TMPEGLayer : int32_t { tmpeglUnknown, tmpegl1, tmpegl2, tmpegl3 };
enum TMPEGChannelMode : int32_t { tmpegcmUnknown, tmpegcmMono, tmpegcmDualChannel, tmpegcmJointStereo, tmpegcmStereo };
enum TMPEGModeExtension : int32_t { tmpegmeUnknown, tmpegmeNone, tmpegmeIntensity, tmpegmeMS, tmpegmeIntensityMS };
enum TMPEGEmphasis : int32_t { tmpegeUnknown, tmpegeNo, tmpege5015, tmpegeCCITJ17 };

// The first frame header and the values of its VBR header. Every field is
// zero before a decode. Fields "copied as they lie" hold the file's bytes in
// file order, without byte-order conversion.
struct TMPEGHeader {
    int64_t Position = 0;   // offset of the frame's first byte
    uint32_t Header = 0;    // the four header bytes, big-endian
    int32_t FrameSize = 0;  // bytes including the header; 0 when the rate is 0
    TMPEGVersion Version = tmpegvUnknown;
    TMPEGLayer Layer = tmpeglUnknown;
    bool CRC = false;         // protection bit 0: a CRC follows the header
    uint32_t BitRate = 0;     // kbit/s; 65535 for free format, 0 for index 15
    uint32_t SampleRate = 0;  // Hz; 0 for the reserved index
    bool Padding = false;
    bool _Private = false;
    TMPEGChannelMode ChannelMode = tmpegcmUnknown;
    TMPEGModeExtension ModeExtension = tmpegmeUnknown;
    bool Copyrighted = false;
    bool Original = false;
    TMPEGEmphasis Emphasis = tmpegeUnknown;

    // VBR header ("Xing", "Info" or "VBRI").
    bool VBR = false;        // a "Xing" or "VBRI" header was found
    int64_t FrameCount = 0;  // 0 when not given
    uint32_t Quality = 0;
    int64_t Bytes = 0;  // stream bytes according to the VBR header
    bool HasInfo = false, HasXing = false, HasVBRI = false;

    // Encoder extension after the Xing / Info fields.
    std::string EncoderShortVersionString;  // 9 bytes, one character per byte
    uint8_t InfoTagRevision = 0;
    uint8_t VBRMethod = 0;
    int32_t LowpassFilterValue = 0;     // Hz
    float PeakSignalSmplitude = 0;      // as it lies
    uint16_t RadioReplayGain = 0;       // as it lies
    uint16_t AudiophileReplayGain = 0;  // as it lies
    uint8_t EncodingFlags = 0;
    uint8_t ATHType = 0;
    uint8_t ABROrMinimalBitrate = 0;
    int32_t EncoderDelay = 0;    // samples
    int32_t EncoderPadding = 0;  // samples
    uint8_t Misc = 0;
    uint8_t MP3Gain = 0;
    uint16_t PresetAndSurroundInfo = 0;  // as it lies
    uint32_t MusicLength = 0;            // as it lies
    uint16_t MusicCRC = 0;               // as it lies
    uint16_t CRC16OfInfoTag = 0;         // as it lies
};

// What the MPEG scan of one stream found.
struct TMPEGStreamInfo {
    bool Found = false;        // frame sync found: the file is MPEG audio
    TMPEGHeader MPEGInfo;      // zero unless the audio attributes were parsed
    double PlayTime = 0;       // seconds; 0 when not known
    int64_t SampleCount = 0;   // 0 when the VBR header gives no frame count
    int32_t BitRate = 0;       // kbit/s
    int32_t APEv2TagSize = 0;  // size field of an APE tag footer at the end, 0 when none
    int64_t ID3v1TagSize = 0;  // 128 plus a Lyrics3 block, 0 when no ID3v1 tag
    int64_t FileSize = 0;      // stream size at the scan
};

// Rounds of the frame search when nobody sets another value.
inline constexpr int32_t DefaultMPEGSearchLength = 4096;

// Scans Stream from StartPosition (the end of the ID3v2 tag, or 0) for MPEG
// frames, at most SearchLength + 1 rounds, and fills Info. With
// ParseAudioAttributes off only Info.Found (and FileSize) are set. Returns
// Info.Found. The stream is left at the frame found, else at StartPosition.
bool ScanMPEGAudio(TStream& Stream, int64_t StartPosition, int32_t SearchLength, TMPEGStreamInfo& Info,
                   bool ParseAudioAttributes = true);

// --- the steps of the scan, usable on their own ---

// The frame search alone: the offset of the first frame whose header and the
// header one frame further on both pass the header test, or -1.
int64_t FindMPEGFrame(TStream& Stream, int64_t StartPosition, int32_t SearchLength);
// Decodes four header bytes (B[0] is the FF byte) found at Position.
TMPEGHeader DecodeMPEGHeader(const uint8_t B[4], int64_t Position);
// Frame size of four header bytes, 0 when they are no usable frame header.
int32_t MPEGHeaderTest(const uint8_t B[4]);
// Reads the Xing / Info / VBRI header of the frame Header describes.
void ReadMPEGVBRHeader(TStream& Stream, TMPEGHeader& Header);

// --- values derived from the header ---

// Samples per frame: 384, 1152 or 576; 0 for an unknown version or layer.
int32_t MPEGSamplesPerFrame(TMPEGVersion Version, TMPEGLayer Layer);
// Seconds of audio per frame; 0.026 when the header gives none (only for
// MPEG files: callers check the source type).
double MPEGFramePlayTime(const TMPEGHeader& Header);
// Samples of the stream from the VBR frame count less the encoder delay and
// padding; 0 when no frame count is known.
int64_t MPEGSampleCount(const TMPEGHeader& Header);
// Play time from the frame count when there is one; otherwise the estimate
// from the bytes between the first frame and the trailing tags at BitRate.
double MPEGPlayTime(const TMPEGHeader& Header, int32_t BitRate, int64_t FileSize, int64_t ID3v1TagSize,
                    int32_t APEv2TagSize);
// kbit/s: for a VBR stream with a known play time, the average over the audio
// bytes; otherwise the header's bit rate.
int32_t MPEGBitRate(const TMPEGHeader& Header, double PlayTime, int64_t FileSize, int32_t APEv2TagSize);
// Seconds from the text of a "TLEN" frame (milliseconds as a decimal
// integer); 0 when the text is no such number.
double PlayTimeFromTLEN(const std::string& Text);
// The play time the ID3v2 reader answers: with UseTLEN, the "TLEN" frame's
// when it gives one; otherwise, for MPEG audio (IsMPEG), the scan's.
double MPEGReaderPlayTime(const TMPEGStreamInfo& Info, bool IsMPEG, bool UseTLEN, const std::string& TLENText);
