// Ogg Vorbis / Opus comments (not built yet: holds nothing).
#pragma once
#include "tags/native_stub.h"
class TOpusTag : public TNativeTagStub {
public:
    bool Assign(const TOpusTag& Source) { Loaded = Source.Loaded; SourceFileName = Source.SourceFileName; return true; }
};
int RemoveOggTagFromFile(const std::string& FileName);
// Ogg stream format of a stream positioned at an "OggS" page: 7 Vorbis, 6 Opus, 8 Theora, 0 other.
int DetectOggStreamFormat(TStream& Stream, int64_t Offset);
