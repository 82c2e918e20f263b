// Container members of a native kind whose reader and writer are not built
// yet. This file goes when the format's own mapping file arrives.
#include "tags/tags.h"

#include "tags/flac_ogg/opus_tag.h"

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
