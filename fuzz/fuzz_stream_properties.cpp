// Runs the MPEG scan and the WavPack, Musepack and Monkey's Audio header
// readers on any bytes: each gives a result and finite, non-negative values.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_common.h"
#include "tags/audio_headers.h"
#include "tags/mpeg/mpeg_audio.h"
#include "tags/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TReadMemoryStream S(Data, (int64_t)Size);
    // The first byte chooses where the audio is said to start, as an ID3v2
    // tag's size would.
    const int64_t Start = Size > 0 ? Data[0] * 7 : 0;

    TMPEGStreamInfo Info;
    const bool Found = ScanMPEGAudio(S, Start, DefaultMPEGSearchLength, Info);
    FUZZ_REQUIRE(Found == Info.Found, "scan result and Found disagree");
    FUZZ_REQUIRE(std::isfinite(Info.PlayTime) && Info.PlayTime >= 0, "MPEG play time not a duration");
    FUZZ_REQUIRE(Info.BitRate >= 0 && Info.SampleCount >= 0, "negative MPEG bit rate or sample count");
    FUZZ_REQUIRE(Info.APEv2TagSize >= 0 && Info.APEv2TagSize <= (int64_t)Size, "APE tag larger than the input");
    FUZZ_REQUIRE(Info.ID3v1TagSize >= 0 && Info.ID3v1TagSize <= (int64_t)Size, "ID3v1 tag larger than the input");
    if (Found) FUZZ_REQUIRE(Info.MPEGInfo.Position >= Start && Info.MPEGInfo.Position < (int64_t)Size, "frame outside");

    TWAVPackfile WavPack;
    if (WavPack.LoadFromStream(S, 0))
        FUZZ_REQUIRE(std::isfinite(WavPack.FDuration) && WavPack.FDuration >= 0 && std::isfinite(WavPack.FBitrate),
                     "WavPack duration not finite");

    TMPEGplus Musepack;
    if (Musepack.LoadFromStream(S, Start, 0)) {
        FUZZ_REQUIRE(std::isfinite(Musepack.GetDuration()) && Musepack.GetDuration() >= 0,
                     "Musepack duration not finite");
        (void)Musepack.GetBitRate();
        (void)Musepack.GetProfile();
        (void)Musepack.GetChannelMode();
    }

    TMonkey Monkey;
    if (Monkey.LoadFromStream(S, Start, 0))
        FUZZ_REQUIRE(std::isfinite(Monkey.FDuration) && Monkey.FDuration > 0 && Monkey.FTotalSamples > 0,
                     "Monkey's Audio valid without a duration");
    return 0;
}
