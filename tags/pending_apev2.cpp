// Container members of a native kind whose reader and writer are not built
// yet. This file goes when the format's own mapping file arrives.
#include "tags/tags.h"

#include "tags/id3/apev2_tag.h"

void TTags::LoadAPEv2Tags() {}
void TTags::PrepareAPEv2Tag() {}
int TTags::SaveAPEv2Tag(const std::string& FileName, TStream* Stream) {
    PrepareAPEv2Tag();
    return Stream ? FAPEv2Tag->SaveToStream(*Stream) : FAPEv2Tag->SaveToFile(FileName);
}
bool TTags::LoadAPEv2CoverArts(TAPEv2Tag&) { return false; }
void TTags::DeleteNativeAPEv2(const TTag&) {}
int RemoveAPEv2FromFile(const std::string&) { return 65535; }
