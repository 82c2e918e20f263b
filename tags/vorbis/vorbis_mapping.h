// The exchange between the container and a list of Vorbis comments, shared
// by the two kinds that carry one (FLAC, and Ogg Vorbis / Opus): their
// modules (tags/flac/flac_mapping.cpp, tags/ogg/ogg_mapping.cpp) differ only
// in where the comments and pictures live.
//
// Internal to the tag library.
#pragma once

#include <cstdint>
#include <vector>

#include "tags/vorbis/vorbis_comment.h"

class TCoverArt;
class TTag;
class TTags;

namespace vorbismapping {

// Merges the comments into the container's entries. With ControlToSpace
// (FLAC), control characters read as spaces.
void LoadComments(TTags& Tags, std::vector<TVorbisComment>& Comments, bool ControlToSpace);
// Rewrites the comments from the container's entries, changing only what
// the caller changed.
void PrepareComments(const TTags& Tags, std::vector<TVorbisComment>& Comments, bool ControlToSpace);
// Removes the comments that stand for Entry.
void DeleteMatching(std::vector<TVorbisComment>& Comments, const TTag& Entry, bool ControlToSpace);
// The picture block fields of a container picture; FromFile: the picture
// was loaded from this tag and keeps its stored fields.
vorbis::TPictureInfo PictureInfoOf(TCoverArt& C, bool FromFile);
void FillCoverArt(TCoverArt& C, const vorbis::TPictureInfo& Info, std::vector<uint8_t> Data);

}  // namespace vorbismapping
