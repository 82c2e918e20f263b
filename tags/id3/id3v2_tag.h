// ID3v2 tag (reading and writing arrive with their own work; this holds nothing yet).
#pragma once

#include <cstdint>
#include <string>

#include "tags/stream.h"
#include "tags/tag_types.h"
#include "tags/id3/mpeg_audio.h"

class TID3v2Tag {
public:
    bool Loaded = false;
    std::string SourceFileName;
    bool ParseAudioAttributes = true;
    bool ParseCoverArts = true;
    uint32_t PaddingToWrite = 4096;
    bool PreserveFileDateTime = false;

    void Clear() { Loaded = false; SourceFileName.clear(); }
    bool Assign(const TID3v2Tag& Source) { Loaded = Source.Loaded; SourceFileName = Source.SourceFileName; return true; }
    uint32_t Size() const { return 0; }
    TSourceFileType SourceFileType() const { return sftUnknown; }
    const TMPEGStreamInfo& MPEGStream() const { return FMPEG; }
    TMPEGStreamInfo FMPEG;
    int LoadFromFile(const std::string&, bool /*Buffered*/ = true) { Clear(); return 65535; }
    int LoadFromStream(TStream&, bool /*Buffered*/ = true) { Clear(); return 65535; }
    int SaveToFile(const std::string&) { return 65535; }
    int SaveToStream(TStream&) { return 65535; }
    void RemoveUnsynchronisationOnAllFrames() {}
    void DeCompressAllFrames() {}
    int DeleteFrames(const std::string&) { return 0; }
};

int RemoveID3v2TagFromFile(const std::string& FileName, bool PreserveFileDateTime = false);
