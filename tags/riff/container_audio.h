// Stream values of the containers the ID3v2 reader recognises: RIFF WAVE,
// RF64 WAVE, AIFF / AIFC, DSF and DSDIFF.
//
// ReadContainerAudio reads the format information of one container into a
// TContainerAudio (a plain value; nothing is owned). Every size read from the
// file is checked against what remains before it is used; a damaged or
// truncated container leaves its values at 0 and never fails a load. The
// stream position is put back where it was.
#pragma once

#include <cstdint>
#include <string>

#include "tags/stream.h"
#include "tags/tag_types.h"

// The WAVE format chunk from its size field on (little-endian on disk).
struct TWaveFmt {
    uint32_t fmtSize = 0;
    uint16_t FormatTag = 0;  // 0xFFFE: extensible
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    // Extensible format only (0 otherwise).
    uint16_t cbSize = 0;
    uint16_t ValidBitsPerSample = 0;
    uint32_t ChannelMask = 0;
    uint8_t SubFormat[16] = {};
};

// The AIFF / AIFC common chunk.
struct TAIFFInformation {
    uint16_t Channels = 0;
    uint32_t SampleFrames = 0;
    uint16_t SampleSize = 0;
    double SampleRate = 0;
    std::string CompressionID;  // AIFC only, four characters
    std::string Compression;    // AIFC only, UTF-8
};

enum TDSFChannelType : int32_t {
    dsfctUnknown,
    dsfctMono,
    dsfctStereo,
    dsfct3Channels,
    dsfctQuad,
    dsfct4Channels,
    dsfct5Channels,
    dsfct51Channels
};

struct TDSFInfo {
    uint32_t FormatVersion = 0;
    uint32_t FormatID = 0;
    TDSFChannelType ChannelType = dsfctUnknown;
    uint32_t ChannelNumber = 0;
    uint32_t SamplingFrequency = 0;  // Hz
    uint32_t BitsPerSample = 0;
    uint64_t SampleCount = 0;  // per channel
    uint32_t BlockSizePerChannel = 0;
    double PlayTime = 0;  // seconds
    // kbit/s: sample count x channels x bits / 8 / play time / 125, rounded; 0 without a play time.
    uint32_t BitRate() const;
};

struct TDFFInfo {
    std::string FormatVersion;  // "1.0", "1.3", "1.4", "1.5" or ""
    uint32_t SampleRate = 0;    // Hz
    uint16_t ChannelNumber = 0;
    std::string CompressionName;   // "Not Compressed", "DST Encoded"
    uint64_t SampleCount = 0;      // per channel
    double PlayTime = 0;           // seconds
    uint32_t BitRate = 0;          // kbit/s (uncompressed rate)
    uint64_t SoundDataLength = 0;  // bytes
    uint32_t DSTFramesCount = 0;
    uint16_t DSTFramesRate = 0;  // frames per second
    double Ratio = 0;            // compressed / uncompressed size

    void ResetData() { *this = TDFFInfo{}; }
    // True when the stream is a DSDIFF file with form type "DSD " (after an
    // ID3v2 tag at its start, if any), whatever follows. Fields are not reset first.
    bool LoadFromStream(TStream& Stream);
    bool LoadFromFile(const std::string& FileName);
};

struct TContainerAudio {
    TSourceFileType Type = sftUnknown;
    double PlayTime = 0;      // seconds (WAVE, RF64, AIFF, DSF)
    int64_t SampleCount = 0;  // WAVE, RF64, DSF
    uint32_t BitRate = 0;     // kbit/s (WAVE, RF64, AIFF, DSF)
    TWaveFmt WAVInfo;
    TAIFFInformation AIFFInfo;
    TDSFInfo DSFInfo;
    TDFFInfo DFFInfo;
};

// Reads the stream values of a container of the given type (sftWAVE,
// sftRF64, sftAIFF, sftDSF, sftDFF); other types give all zeros.
TContainerAudio ReadContainerAudio(TStream& Stream, TSourceFileType Type);
// The big-endian 80-bit extended-precision number of an AIFF common chunk.
double DecodeExtended80(const uint8_t Bytes[10]);
