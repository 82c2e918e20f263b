// FLAC carried in Ogg: the metadata blocks travel one per packet after a
// first page that holds the mapping header with STREAMINFO. Reading fills
// the same TFlacLayout as native FLAC; writing packs the new blocks into
// pages and renumbers the stream's later pages.
#pragma once

#include <cstdint>
#include <vector>

#include "tags/file_edit.h"
#include "tags/flac/flac_tag.h"

// The edit that replaces the metadata pages of the Ogg FLAC stream in Source
// (described by Layout) by pages holding Blocks (the last-block flags are set
// here) and a padding block: in place with the padding absorbing the
// difference when that fits and the padding rule (tags/padding.h) allows,
// otherwise FreshPadding bytes of padding. Returns a flacresult code.
int BuildOggFlacEdit(TStream& Source, const TFlacLayout& Layout, const std::vector<TFlacBlock>& Blocks,
                     int64_t FreshPadding, bool ForceReWrite, TFileEdit& Edit);
