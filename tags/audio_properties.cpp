#include "tags/audio_properties.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "tags/native_formats.h"
#include "tags/stream_values.h"
#include "tags/tags.h"

namespace {

using namespace streamvalues;

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

// The values of a native kind's reader, from its format module.
TStreamValues KindValues(const TTags& Tags, TTagType Kind) {
    TStreamValues V;
    TNativeFormats::ForEach([&](const auto& Row) {
        if (Row.Info.Kind == Kind && Row.StreamValues) V = Row.StreamValues(Tags);
    });
    return V;
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
    const TStreamValues ID3v2 = KindValues(Tags, ttID3v2);
    // MPEG audio ranks after the formats with exact stream headers, the
    // containers the ID3v2 reader recognises after WMA.
    const double Order[] = {
        KindValues(Tags, ttFlac).PlayTime,      KindValues(Tags, ttOpusVorbis).PlayTime,
        KindValues(Tags, ttWAV).PlayTime,       KindValues(Tags, ttMP4).PlayTime,
        Source == sftMPEG ? ID3v2.PlayTime : 0, KindValues(Tags, ttWMA).PlayTime,
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
