// The ID3v1 (with its Lyrics3 block) tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in id3v1_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/id3/id3v1_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
class TTag;
class TTags;
class TID3v1Tag;

namespace id3v1module {

// The kind's module. Each name below is documented at the row field of the
// same name in tags/native_formats.h (TNativeRow; Strip and StripFailed are
// the row's Remove and RemoveFailed). MergePictures and Prepare stand behind
// the container's picture-only merge and prepare accessors.
inline constexpr TNativeError Errors[] = {
    {id3v1::CannotOpen, TTagError::CannotOpen},
    {id3v1::ReadError, TTagError::Damaged},
    {id3v1::WriteError, TTagError::WriteFailed},
    {id3v1::ReadOnly, TTagError::ReadOnly},
    {id3v1::NoTag, TTagError::NoTag},
};
inline constexpr TContainerCodes ContainerCodes = {0, 0, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0};

void Merge(TTags& Tags);
void Prepare(TTags& Tags);
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
void DeleteNative(TTags& Tags, const TTag& Entry);
int Strip(const std::string& FileName);
bool StripFailed(int NativeCode);
// Players read this kind beside ID3v2 on an MPEG or WAVE file: whether it
// has a place for Entry (a value it cannot hold goes into an ID3v2 tag
// instead of being dropped).
bool Holds(const TTag& Entry);

}  // namespace id3v1module
