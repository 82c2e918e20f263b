// Unified mapping of ID3v2 frames (arrives with the frame bodies).
#include "tags/tags.h"
#include "tags/id3/id3v2_tag.h"

void TTags::LoadID3v2Tags() {}
void TTags::PrepareID3v2Tag() {}
int TTags::SaveID3v2Tag(const std::string& FileName, bool, TStream* Stream) {
    PrepareID3v2Tag();
    return Stream ? FID3v2Tag->SaveToStream(*Stream) : FID3v2Tag->SaveToFile(FileName);
}
bool TTags::LoadID3v2CoverArts(TID3v2Tag&) { return false; }
void TTags::DeleteNativeID3v2(const TTag&) {}
int RemoveID3v2TagFromFile(const std::string&, bool) { return 65535; }
