// Header readers for the three formats whose tags carry no stream values:
// WavPack, Musepack and Monkey's Audio. Each reads a few fixed bytes at the
// start of the audio and answers channels, sample rate, bits, sample count,
// play time and bit rate. They also serve the audio-format recognition.
//
// Every LoadFromStream resets all fields first. A header that cannot be read
// completely makes the reader invalid; nothing is raised to the caller.
#pragma once

#include <cstdint>
#include <string>

#include "tags/stream.h"

// WavPack: version 4 block header, or a version 3 file (a RIFF WAVE whose
// "data" chunk begins with a "wvpk" header).
class TWAVPackfile {
public:
    int64_t FFileSize = 0;
    bool FValid = false;
    int32_t FFormatTag = 0;
    int32_t FVersion = 0;
    int32_t FChannels = 0;
    int32_t FSampleRate = 0;
    int32_t FBits = 0;
    double FBitrate = 0;   // kbit/s
    double FDuration = 0;  // seconds
    std::string FEncoder;
    int64_t FTagSize = 0;  // bytes of trailing tags, given by the caller
    int64_t FSamples = 0;
    int64_t FBSamples = 0;

    bool LoadFromFile(const std::string& FileName, int64_t TagSize);
    bool LoadFromStream(TStream& Stream, int64_t TagSize);
    std::string GetChannelMode() const;
    // Compressed size in percent of the raw PCM size; 0 when unknown.
    double GetRatio() const;

private:
    void Reset();
    void ReadVersion4(TStream& Stream);
    void ReadVersion3(TStream& Stream);
};

// Musepack: stream versions 4 to 7.1 (a 32-byte header) and 8 ("MPCK"
// followed by a stream header packet).
class TMPEGplus {
public:
    bool FValid = false;
    uint8_t FChannelModeID = 0;  // 0 unknown, 1 stereo, 2 joint stereo
    int64_t FFileSize = 0;
    uint32_t FFrameCount = 0;
    uint16_t FBitRate = 0;
    uint8_t FStreamVersion = 0;  // 4, 5, 6, 7, 71 for 7.1, or the SV8 version byte
    uint32_t FSampleRate = 0;
    std::string FEncoder;
    uint8_t FProfileID = 0;
    int64_t FSampleCount = 0;   // stream version 8 only
    uint8_t FChannelCount = 0;  // stream version 8 only
    int64_t FTagsSize = 0;      // bytes of tags before and after the audio
    bool FSV8 = false;

    bool LoadFromFile(const std::string& FileName, int64_t ID3v2Size, int64_t RestTagsTotalSize);
    bool LoadFromStream(TStream& Stream, int64_t ID3v2Size, int64_t RestTagsTotalSize);
    double GetDuration() const;
    uint32_t GetBitRate() const;  // kbit/s
    std::string GetChannelMode() const;
    std::string GetProfile() const;
    bool GetCorrupted() const;
    double GetRatio() const;
    std::string GetStreamStreamVersionString() const;

private:
    void Reset();
    bool ReadSV8(TStream& Stream, int64_t Pos);
    bool ReadSV7(TStream& Stream, int64_t ID3v2Size);
};

// Monkey's Audio: the "MAC " header of versions before 3.98 and the
// descriptor plus header of 3.98 and later.
class TMonkey {
public:
    bool FValid = false;
    int32_t FVersion = 0;     // e.g. 3990
    std::string FVersionStr;  // e.g. "3.99"
    int32_t FChannels = 0;
    int32_t FSampleRate = 0;
    int32_t FBits = 0;
    uint32_t FPeakLevel = 0;
    double FPeakLevelRatio = 0;  // percent
    int64_t FTotalSamples = 0;
    double FBitrate = 0;   // kbit/s
    double FDuration = 0;  // seconds
    int32_t FCompressionMode = 0;
    std::string FCompressionModeStr;
    int32_t FFormatFlags = 0;
    bool FHasPeakLevel = false;
    bool FHasSeekElements = false;
    bool FWavNotStored = false;
    int64_t FFileSize = 0;

    bool LoadFromFile(const std::string& FileName, int64_t ID3v2Size, int64_t RestTagsTotalSize);
    bool LoadFromStream(TStream& Stream, int64_t ID3v2Size, int64_t RestTagsTotalSize);
    double GetRatio() const;

private:
    void Reset();
    bool ReadHeader(TStream& Stream, int64_t ID3v2Size, int64_t RestTagsTotalSize);
};
