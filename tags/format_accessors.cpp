// The per-format accessors TTags offers its callers: each one hands over to
// the format's module (FOLDER/*_module.h), where the mapping lives.
#include "tags/native_formats.h"

void TTags::LoadAPEv2Tags() { apev2module::Merge(*this); }
void TTags::PrepareAPEv2Tag() { apev2module::Prepare(*this); }
int TTags::SaveAPEv2Tag(const std::string& Name, TStream* Stream) {
    return apev2module::Save(*this, Name, false, Stream);
}
bool TTags::LoadAPEv2CoverArts(TAPEv2Tag& From) { return apev2module::MergePictures(*this, From); }

void TTags::LoadFlacTags() { flacmodule::Merge(*this); }
void TTags::PrepareFlacTag() { flacmodule::Prepare(*this); }
int TTags::SaveFlacTag(const std::string& Name, bool Buffered, TStream* Stream) {
    return flacmodule::Save(*this, Name, Buffered, Stream);
}
bool TTags::LoadFlacCoverArts(TFlacTag& From) { return flacmodule::MergePictures(*this, From); }

void TTags::LoadID3v1Tags() { id3v1module::Merge(*this); }
void TTags::PrepareID3v1Tag() { id3v1module::Prepare(*this); }
int TTags::SaveID3v1Tag(const std::string& Name, TStream* Stream) {
    return id3v1module::Save(*this, Name, false, Stream);
}

void TTags::LoadID3v2Tags() { id3v2module::Merge(*this); }
void TTags::PrepareID3v2Tag() { id3v2module::Prepare(*this); }
int TTags::SaveID3v2Tag(const std::string& Name, bool Buffered, TStream* Stream) {
    return id3v2module::Save(*this, Name, Buffered, Stream);
}
bool TTags::LoadID3v2CoverArts(TID3v2Tag& From) { return id3v2module::MergePictures(*this, From); }

void TTags::LoadMP4Tags() { mp4module::Merge(*this); }
void TTags::PrepareMP4Tag() { mp4module::Prepare(*this); }
int TTags::SaveMP4Tag(const std::string& Name, bool Buffered, TStream* Stream) {
    return mp4module::Save(*this, Name, Buffered, Stream);
}
bool TTags::LoadMP4CoverArts(TMP4Tag& From) { return mp4module::MergePictures(*this, From); }

void TTags::LoadOggVorbisAndOpusTags() { oggmodule::Merge(*this); }
void TTags::PrepareOggVorbisAndOpusTag() { oggmodule::Prepare(*this); }
int TTags::SaveOggVorbisAndOpusTag(const std::string& Name, TStream* Stream) {
    return oggmodule::Save(*this, Name, false, Stream);
}
bool TTags::LoadOggVorbisAndOpusCoverArts(TOpusTag& From) { return oggmodule::MergePictures(*this, From); }

void TTags::LoadWAVTags() { wavmodule::Merge(*this); }
void TTags::PrepareWAVTag() { wavmodule::Prepare(*this); }
int TTags::SaveWAVTag(const std::string& Name, TStream* Stream) { return wavmodule::Save(*this, Name, false, Stream); }

void TTags::LoadWMATags() { wmamodule::Merge(*this); }
void TTags::PrepareWMATag() { wmamodule::Prepare(*this); }
int TTags::SaveWMATag(const std::string& Name) { return wmamodule::Save(*this, Name, false, nullptr); }
bool TTags::LoadWMACoverArts(TWMATag& From) { return wmamodule::MergePictures(*this, From); }
