#include "tags/flac_ogg/ogg_flac.h"

int ReadOggFlacLayout(TStream&, TFlacLayout& Layout) {
    Layout.StreamType = fstUnknown;
    return flacresult::NotFlac;
}

int BuildOggFlacEdit(TStream&, const TFlacLayout&, const std::vector<TFlacBlock>&, uint32_t, bool, TFileEdit&) {
    return flacresult::Failure;
}
