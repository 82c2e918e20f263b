// Container members of the native kinds whose readers and writers are not
// built yet. Each block moves to its format's mapping file when that format
// arrives.
#include "tags/tags.h"

#include "tags/flac_ogg/flac_tag.h"
#include "tags/flac_ogg/opus_tag.h"
#include "tags/id3/apev2_tag.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/wma_wav/wav_tag.h"
#include "tags/wma_wav/wma_tag.h"

void TTags::LoadAPEv2Tags() {}
void TTags::PrepareAPEv2Tag() {}
int TTags::SaveAPEv2Tag(const std::string& FileName, TStream* Stream) {
    PrepareAPEv2Tag();
    return Stream ? FAPEv2Tag->SaveToStream(*Stream) : FAPEv2Tag->SaveToFile(FileName);
}
bool TTags::LoadAPEv2CoverArts(TAPEv2Tag&) { return false; }
void TTags::DeleteNativeAPEv2(const TTag&) {}
int RemoveAPEv2FromFile(const std::string&) { return 65535; }

void TTags::LoadFlacTags() {}
void TTags::PrepareFlacTag() {}
int TTags::SaveFlacTag(const std::string& FileName, bool, TStream* Stream) {
    PrepareFlacTag();
    return Stream ? FFlacTag->SaveToStream(*Stream) : FFlacTag->SaveToFile(FileName);
}
bool TTags::LoadFlacCoverArts(TFlacTag&) { return false; }
void TTags::DeleteNativeFlac(const TTag&) {}
int RemoveFlacTagFromFile(const std::string&) { return 65535; }

void TTags::LoadOggVorbisAndOpusTags() {}
void TTags::PrepareOggVorbisAndOpusTag() {}
int TTags::SaveOggVorbisAndOpusTag(const std::string& FileName, TStream* Stream) {
    PrepareOggVorbisAndOpusTag();
    return Stream ? FOggTag->SaveToStream(*Stream) : FOggTag->SaveToFile(FileName);
}
bool TTags::LoadOggVorbisAndOpusCoverArts(TOpusTag&) { return false; }
void TTags::DeleteNativeOgg(const TTag&) {}
int RemoveOggTagFromFile(const std::string&) { return 65535; }
int DetectOggStreamFormat(TStream&, int64_t) { return 0; }

void TTags::LoadMP4Tags() {}
void TTags::PrepareMP4Tag() {}
int TTags::SaveMP4Tag(const std::string& FileName, bool, TStream* Stream) {
    PrepareMP4Tag();
    return Stream ? FMP4Tag->SaveToStream(*Stream) : FMP4Tag->SaveToFile(FileName);
}
bool TTags::LoadMP4CoverArts(TMP4Tag&) { return false; }
void TTags::DeleteNativeMP4(const TTag&) {}
int RemoveMP4TagFromFile(const std::string&) { return 65535; }

void TTags::LoadWAVTags() {}
void TTags::PrepareWAVTag() {}
int TTags::SaveWAVTag(const std::string& FileName, TStream* Stream) {
    PrepareWAVTag();
    return Stream ? FWAVTag->SaveToStream(*Stream) : FWAVTag->SaveToFile(FileName);
}
void TTags::DeleteNativeWAV(const TTag&) {}
int RemoveWAVTagFromFile(const std::string&) { return 65535; }

void TTags::LoadWMATags() {}
void TTags::PrepareWMATag() {}
int TTags::SaveWMATag(const std::string& FileName) {
    PrepareWMATag();
    return FWMATag->SaveToFile(FileName);
}
bool TTags::LoadWMACoverArts(TWMATag&) { return false; }
void TTags::DeleteNativeWMA(const TTag&) {}
