// How much empty room a tag keeps around it, for every writer whose format
// has room: ID3v2 padding (in front of the audio and inside container
// chunks), the FLAC PADDING block, the MP4 free atom, the ASF Padding
// object, zero bytes behind an Ogg comment list and a RIFF JUNK chunk.
//
// A tag written anew (the file had no room for it, or not enough) gets
// PaddingFor(FileSize): one hundredth of the file, at least 4 KiB, at most
// 1 MiB, so that the next edits fit where the tag is. A tag that fits its
// old room stays where it is and its unused bytes become padding, as long as
// MayKeep allows: at most twice PaddingFor, so that the room left either
// side of a tag written anew absorbs a run of edits that grow and shrink
// it. A tag that grows, or keeps its size, never moves for its padding
// (a file from another tagger with more room keeps it); only a shrink that
// would leave more than that sends the tag to be written anew, which gives
// the surplus back to the file.
#pragma once

#include <cstdint>
#include <optional>

namespace padding {

inline constexpr int64_t Least = 4 * 1024;
inline constexpr int64_t Most = 1024 * 1024;
inline constexpr int64_t FileShare = 100;  // one hundredth of the file

// The padding a tag written anew gets in a file of FileSize bytes.
int64_t PaddingFor(int64_t FileSize);
// The most padding a shrunk tag keeps in its old place.
int64_t MostKept(int64_t FileSize);
// Whether a tag that fits its room may stay there with NewPadding bytes
// unused, where OldPadding were unused before.
bool MayKeep(int64_t NewPadding, int64_t OldPadding, int64_t FileSize);

}  // namespace padding

// A writer's padding option: by the rule above unless fixed. A fixed amount
// only changes what a tag written anew gets; a tag that fits its room still
// stays there by MayKeep.
struct TPaddingOption {
    std::optional<uint32_t> Fixed;

    static TPaddingOption Automatic() { return {}; }
    static TPaddingOption Exactly(uint32_t Bytes) { return {Bytes}; }
    int64_t ToWrite(int64_t FileSize) const { return Fixed ? (int64_t)*Fixed : padding::PaddingFor(FileSize); }
    bool operator==(const TPaddingOption&) const = default;
};
