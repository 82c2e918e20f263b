// What one source (a header reader or a native tag reader) knows about the
// audio stream, as TSourceAudioAttributes asks it: each format module that
// reads stream properties fills one of these, and a kind that knows nothing
// leaves it all zero.
//
// Internal to the tag library.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// One source's answer to one question. A Value of 0 is no answer and the
// search goes on, unless Final says that this source's 0 is the answer.
template <typename T>
struct TAnswer {
    T Value = 0;
    bool Final = false;
};

struct TStreamValues {
    double PlayTime = 0;
    TAnswer<uint32_t> BitRate;
    TAnswer<uint16_t> Channels;
    TAnswer<uint16_t> BitsPerSample;
    TAnswer<uint32_t> SamplesPerSec;
    TAnswer<int64_t> SampleCount;
};

namespace streamvalues {

// A play time counts only when it is a real, positive number of seconds; a
// reader that divided by zero must not show up as a NaN duration.
inline bool IsPlayTime(double Seconds) { return std::isfinite(Seconds) && Seconds > 0; }

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

}  // namespace streamvalues
