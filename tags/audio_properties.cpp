#include "tags/audio_properties.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "tags/flac/flac_tag.h"
#include "tags/ogg/opus_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/tags.h"
#include "tags/wav/wav_tag.h"
#include "tags/asf/wma_tag.h"

namespace {

// One source's answer to one question. A Value of 0 is no answer and the
// search goes on, unless Final says that this source's 0 is the answer.
template <typename T>
struct TAnswer {
    T Value = 0;
    bool Final = false;
};

// What one source (a header reader or a native tag reader) knows about the
// stream. Each kind of source fills one of these in its own small function
// below; a kind that knows nothing leaves it all zero.
struct TStreamValues {
    double PlayTime = 0;
    TAnswer<uint32_t> BitRate;
    TAnswer<uint16_t> Channels;
    TAnswer<uint16_t> BitsPerSample;
    TAnswer<uint32_t> SamplesPerSec;
    TAnswer<int64_t> SampleCount;
};

// A play time counts only when it is a real, positive number of seconds; a
// reader that divided by zero must not show up as a NaN duration.
bool IsPlayTime(double Seconds) { return std::isfinite(Seconds) && Seconds > 0; }

template <typename T>
T Clamped(double V) {
    if (!(V > 0)) return 0;
    if (V >= double(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return T(V);
}
template <typename T>
T ClampedInt(int64_t V) {
    if (V <= 0) return 0;
    if (uint64_t(V) >= uint64_t(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return T(V);
}

// ---- header readers ----

// WavPack and Monkey's Audio readers answer the same way; only the name of
// their sample count differs.
template <class TReader>
TStreamValues LosslessHeaderValues(const TReader& R, int64_t Samples) {
    TStreamValues V;
    V.PlayTime = R.FDuration;
    V.BitRate.Value = Clamped<uint32_t>(std::round(R.FBitrate));
    V.Channels.Value = ClampedInt<uint16_t>(R.FChannels);
    V.BitsPerSample.Value = ClampedInt<uint16_t>(R.FBits);
    V.SamplesPerSec = {ClampedInt<uint32_t>(R.FSampleRate), true};
    V.SampleCount.Value = Samples;
    return V;
}

TStreamValues WavPackValues(const TWAVPackfile& R) { return LosslessHeaderValues(R, R.FSamples); }

TStreamValues MusepackValues(const TMPEGplus& R) {
    TStreamValues V;
    V.PlayTime = R.GetDuration();
    V.BitRate.Value = R.GetBitRate();
    V.Channels.Value = R.FChannelCount != 0 ? R.FChannelCount : 2;
    V.BitsPerSample = {0, true};
    V.SamplesPerSec = {R.FSampleRate, true};
    V.SampleCount.Value = R.FSampleCount;
    return V;
}

TStreamValues MonkeyValues(const TMonkey& R) { return LosslessHeaderValues(R, R.FTotalSamples); }

// ---- native tag readers ----

// MPEG audio found by the ID3v2 reader.
TStreamValues MPEGValues(const TMPEGStreamInfo& M) {
    TStreamValues V;
    V.PlayTime = M.PlayTime;
    V.BitRate.Value = ClampedInt<uint32_t>(M.BitRate);
    switch (M.MPEGInfo.ChannelMode) {
        case tmpegcmUnknown: break;  // no answer
        case tmpegcmMono: V.Channels.Value = 1; break;
        case tmpegcmDualChannel:
        case tmpegcmJointStereo:
        case tmpegcmStereo: V.Channels.Value = 2; break;
        default: V.Channels = {0, true}; break;
    }
    // MPEG audio has no sample width: once the stream is known, 0 is the answer.
    V.BitsPerSample = {0, M.MPEGInfo.SampleRate != 0};
    V.SamplesPerSec.Value = M.MPEGInfo.SampleRate;
    V.SampleCount.Value = M.SampleCount;
    return V;
}

// The WAVE, RF64, AIFF, DSF and DFF containers the ID3v2 reader recognises
// carry their own stream values: AIFF's play time is rounded to whole
// seconds, its rate rounded; a DFF stream has one bit per sample.
TStreamValues ContainerValues(const TID3v2Tag& Tag) {
    TStreamValues V;
    const TContainerAudio& A = Tag.ContainerAudio();
    switch (Tag.SourceFileType()) {
        case sftWAVE:
        case sftRF64:
            V.PlayTime = A.PlayTime;
            V.BitRate.Value = A.BitRate;
            V.Channels.Value = A.WAVInfo.Channels;
            V.BitsPerSample.Value = A.WAVInfo.BitsPerSample;
            V.SamplesPerSec.Value = A.WAVInfo.SamplesPerSec;
            V.SampleCount.Value = A.SampleCount;
            break;
        case sftAIFF:
            V.PlayTime = IsPlayTime(A.PlayTime) ? std::nearbyint(A.PlayTime) : 0;
            V.BitRate.Value = A.BitRate;
            V.Channels.Value = A.AIFFInfo.Channels;
            V.BitsPerSample.Value = A.AIFFInfo.SampleSize;
            V.SamplesPerSec.Value = Clamped<uint32_t>(std::nearbyint(A.AIFFInfo.SampleRate));
            V.SampleCount.Value = A.AIFFInfo.SampleFrames;
            break;
        case sftDSF:
            V.PlayTime = A.DSFInfo.PlayTime;
            V.BitRate.Value = A.DSFInfo.BitRate();
            V.Channels.Value = ClampedInt<uint16_t>(A.DSFInfo.ChannelNumber);
            V.BitsPerSample.Value = ClampedInt<uint16_t>(A.DSFInfo.BitsPerSample);
            V.SamplesPerSec.Value = A.DSFInfo.SamplingFrequency;
            V.SampleCount.Value = ClampedInt<int64_t>((int64_t)std::min<uint64_t>(A.DSFInfo.SampleCount, INT64_MAX));
            break;
        case sftDFF:
            V.PlayTime = A.DFFInfo.PlayTime;
            V.BitRate.Value = A.DFFInfo.BitRate;
            V.Channels.Value = A.DFFInfo.ChannelNumber;
            V.BitsPerSample.Value = 1;
            V.SamplesPerSec.Value = A.DFFInfo.SampleRate;
            V.SampleCount.Value = (int64_t)std::min<uint64_t>(A.DFFInfo.SampleCount, INT64_MAX);
            break;
        default: break;
    }
    return V;
}

TStreamValues ID3v2Values(const TID3v2Tag& Tag) {
    switch (Tag.SourceFileType()) {
        case sftMPEG: return MPEGValues(Tag.MPEGStream());
        case sftWAVE:
        case sftRF64:
        case sftAIFF:
        case sftDSF:
        case sftDFF: return ContainerValues(Tag);
        default: return {};
    }
}

// FLAC stream info (play time only when the stream info is valid): bit
// rate, channels, bits, sample rate, total samples.
TStreamValues FlacValues(const TTags& Tags) {
    const TFlacTag& F = Tags.FlacTag();
    TStreamValues V;
    V.PlayTime = F.Playtime();
    V.BitRate.Value = F.Bitrate();
    V.Channels.Value = F.Channels;
    V.BitsPerSample.Value = F.BitsPerSample;
    V.SamplesPerSec.Value = F.SampleRate;
    V.SampleCount.Value = ClampedInt<int64_t>((int64_t)F.SampleCount);
    return V;
}
// Ogg Vorbis / Opus headers: Opus answers its bit rate, channel count, input
// sample rate; Vorbis its bit rate (final even when 0), channel count and
// sample rate; either gives bits 0 (final once the channel count is known),
// play time and sample count.
TStreamValues OggValues(const TTags& Tags) {
    const TOpusTag& O = Tags.OggVorbisAndOpusTag();
    TStreamValues V;
    if (!O.Loaded || (O.Format != ofOpus && O.Format != ofVorbis)) return V;
    V.PlayTime = O.Info.PlayTime;
    V.BitRate = {O.Info.BitRate, O.Format == ofVorbis};
    V.Channels.Value = O.Info.Channels;
    V.BitsPerSample = {0, O.Info.Channels != 0};
    V.SamplesPerSec.Value = O.Info.SampleRate;
    V.SampleCount.Value = ClampedInt<int64_t>((int64_t)O.Info.SampleCount);
    return V;
}
// WAV format chunk: play time, bit rate, channels, samples per second, bits
// per sample, sample count.
TStreamValues WAVValues(const TTags& Tags) {
    TStreamValues V;
    const TWAVTag& W = Tags.WAVTag();
    if (!W.StreamRead) return V;
    V.PlayTime = W.PlayTime;
    V.BitRate.Value = ClampedInt<uint32_t>(W.BitRate);
    V.Channels.Value = W.Attributes.Channels;
    V.BitsPerSample.Value = W.Attributes.BitsPerSample;
    V.SamplesPerSec.Value = W.Attributes.SamplesPerSec;
    V.SampleCount.Value = ClampedInt<int64_t>((int64_t)std::min<uint64_t>(W.SampleCount, INT64_MAX));
    return V;
}
// MP4 track data: play time, bit rate (final once the media-data size is
// known), channels, bits per sample, sample rate; no sample count.
TStreamValues MP4Values(const TTags& Tags) {
    const TMP4Tag& M = Tags.MP4Tag();
    TStreamValues V;
    V.PlayTime = M.Playtime;
    V.BitRate = {M.BitRate, M.mdatAtomSize > 0};
    V.Channels.Value = M.AudioChannelCount;
    V.BitsPerSample.Value = ClampedInt<uint16_t>(M.AudioResolution);
    V.SamplesPerSec.Value = M.AudioSampleRate;
    return V;
}
// WMA header: duration in milliseconds (play time ÷ 1000), bit rate, the
// number of frames as sample count, and the audio stream's channels, sample
// rate and bits per sample.
TStreamValues WMAValues(const TTags& Tags) {
    TStreamValues V;
    const TWMATag& W = Tags.WMATag();
    if (!W.Loaded) return V;
    V.PlayTime = double(W.Duration()) / 1000.0;
    V.BitRate.Value = W.BitRate();
    V.SampleCount.Value = W.NumberOfFrames();
    V.Channels.Value = W.Channels;
    V.SamplesPerSec.Value = W.SampleRate;
    V.BitsPerSample.Value = W.BitsPerSample;
    return V;
}

TStreamValues KindValues(const TTags& Tags, TTagType Kind) {
    switch (Kind) {
        case ttFlac: return FlacValues(Tags);
        case ttOpusVorbis: return OggValues(Tags);
        case ttWAV: return WAVValues(Tags);
        case ttMP4: return MP4Values(Tags);
        case ttID3v2: return ID3v2Values(Tags.ID3v2Tag());
        case ttWMA: return WMAValues(Tags);
        default: return {};  // APEv2, ID3v1 and the rest carry no stream values
    }
}

// The five properties other than the play time: the present header readers
// (WavPack, Musepack, Monkey's Audio), then the native kinds in the order of
// TagLoadPriority; the first non-zero or final answer wins.
template <typename T, typename Pick>
T FirstAnswer(const TSourceAudioAttributes& A, Pick P) {
    auto Decides = [&](const TStreamValues& V, T& Out) {
        const TAnswer<T> Answer = P(V);
        if (Answer.Value == 0 && !Answer.Final) return false;
        Out = Answer.Value;
        return true;
    };
    T Result = 0;
    if (A.WAVPackAttributes && Decides(WavPackValues(*A.WAVPackAttributes), Result)) return Result;
    if (A.MusePackAttributes && Decides(MusepackValues(*A.MusePackAttributes), Result)) return Result;
    if (A.MonkeyAttributes && Decides(MonkeyValues(*A.MonkeyAttributes), Result)) return Result;
    if (!A.Parent) return 0;
    for (TTagType Kind : A.Parent->TagLoadPriority)
        if (Decides(KindValues(*A.Parent, Kind), Result)) return Result;
    return 0;
}

}  // namespace

void TSourceAudioAttributes::ClearReaders() {
    WAVPackAttributes.reset();
    MusePackAttributes.reset();
    MonkeyAttributes.reset();
}

void TSourceAudioAttributes::LoadHeaderReaders(TStream& Stream, bool WavPack, bool MusePack, bool Monkey,
                                               int64_t APEv2Size, int64_t ID3v2Size, int64_t RestTagsSize) {
    ClearReaders();
    if (WavPack) {
        auto R = std::make_unique<TWAVPackfile>();
        if (Stream.Seek(0) == 0 && R->LoadFromStream(Stream, APEv2Size)) WAVPackAttributes = std::move(R);
    }
    if (MusePack) {
        auto R = std::make_unique<TMPEGplus>();
        if (Stream.Seek(0) == 0 && R->LoadFromStream(Stream, ID3v2Size, RestTagsSize))
            MusePackAttributes = std::move(R);
    }
    if (Monkey) {
        auto R = std::make_unique<TMonkey>();
        if (Stream.Seek(0) == 0 && R->LoadFromStream(Stream, ID3v2Size, RestTagsSize)) MonkeyAttributes = std::move(R);
    }
}

double TSourceAudioAttributes::PlayTime() const {
    // A present header reader answers, even with 0.
    if (WAVPackAttributes) return IsPlayTime(WAVPackAttributes->FDuration) ? WAVPackAttributes->FDuration : 0;
    if (MusePackAttributes) {
        const double T = MusePackAttributes->GetDuration();
        return IsPlayTime(T) ? T : 0;
    }
    if (MonkeyAttributes) return IsPlayTime(MonkeyAttributes->FDuration) ? MonkeyAttributes->FDuration : 0;
    if (!Parent) return 0;

    const TTags& Tags = *Parent;
    const TSourceFileType Source = Tags.ID3v2Tag().SourceFileType();
    const TStreamValues ID3v2 = ID3v2Values(Tags.ID3v2Tag());
    // MPEG audio ranks after the formats with exact stream headers, the
    // containers the ID3v2 reader recognises after WMA.
    const double Order[] = {
        FlacValues(Tags).PlayTime,
        OggValues(Tags).PlayTime,
        WAVValues(Tags).PlayTime,
        MP4Values(Tags).PlayTime,
        Source == sftMPEG ? ID3v2.PlayTime : 0,
        WMAValues(Tags).PlayTime,
        Source != sftMPEG ? ID3v2.PlayTime : 0,
    };
    for (double T : Order)
        if (IsPlayTime(T)) return T;
    return 0;
}

uint32_t TSourceAudioAttributes::BitRate() const {
    return FirstAnswer<uint32_t>(*this, [](const TStreamValues& V) { return V.BitRate; });
}
uint16_t TSourceAudioAttributes::Channels() const {
    return FirstAnswer<uint16_t>(*this, [](const TStreamValues& V) { return V.Channels; });
}
uint16_t TSourceAudioAttributes::BitsPerSample() const {
    return FirstAnswer<uint16_t>(*this, [](const TStreamValues& V) { return V.BitsPerSample; });
}
uint32_t TSourceAudioAttributes::SamplesPerSec() const {
    return FirstAnswer<uint32_t>(*this, [](const TStreamValues& V) { return V.SamplesPerSec; });
}
int64_t TSourceAudioAttributes::SampleCount() const {
    return FirstAnswer<int64_t>(*this, [](const TStreamValues& V) { return V.SampleCount; });
}

bool IsValidWavPackStream(TStream& Stream) {
    TWAVPackfile R;
    return R.LoadFromStream(Stream, 0);
}

bool IsValidMusepackStream(TStream& Stream, int64_t ID3v2Size) {
    TMPEGplus R;
    return R.LoadFromStream(Stream, ID3v2Size, 0);
}
