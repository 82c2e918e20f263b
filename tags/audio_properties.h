// Stream properties of the audio: play time, bit rate, channels, bits per
// sample, sample rate and sample count, each the first non-zero answer among
// the header readers and the native tag readers in a fixed order.
//
// TSourceAudioAttributes is owned by its container (Parent, not owned) and
// owns the three header readers, which the container's load creates only
// when their options are set and which are discarded when their header is
// invalid. Nothing is cached: every property is computed when it is read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tags/audio_headers.h"
#include "tags/stream.h"

class TTags;

class TSourceAudioAttributes {
public:
    explicit TSourceAudioAttributes(TTags* Parent) : Parent(Parent) {}
    std::unique_ptr<TWAVPackfile> WAVPackAttributes;
    std::unique_ptr<TMPEGplus> MusePackAttributes;
    std::unique_ptr<TMonkey> MonkeyAttributes;
    TTags* Parent;

    void ClearReaders();
    // Runs the header readers whose flags are set, each on the stream from
    // position 0 plus what it is told: WavPack the APEv2 size, Musepack and
    // Monkey's Audio the ID3v2 size and the size of the tags at the end. A
    // reader with an invalid header is discarded.
    void LoadHeaderReaders(TStream& Stream, bool WavPack, bool MusePack, bool Monkey, int64_t APEv2Size,
                           int64_t ID3v2Size, int64_t RestTagsSize);

    uint16_t Channels() const;
    uint32_t SamplesPerSec() const;
    uint16_t BitsPerSample() const;
    double PlayTime() const;  // seconds
    int64_t SampleCount() const;
    uint32_t BitRate() const;  // kbit/s
};

// Format recognition helpers for DetectAudioFormatOfStream: the WavPack
// reader from position 0, the Musepack reader from ID3v2Size.
bool IsValidWavPackStream(TStream& Stream);
bool IsValidMusepackStream(TStream& Stream, int64_t ID3v2Size);
