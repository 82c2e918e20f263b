// The MP4 tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in mp4_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/mp4/mp4_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
struct TStreamValues;
class TTag;
class TTags;
class TMP4Tag;

namespace mp4module {

// The kind's module. Each name below is documented at the row field of the
// same name in tags/native_formats.h (TNativeRow; Strip and StripFailed are
// the row's Remove and RemoveFailed). MergePictures and Prepare stand behind
// the container's picture-only merge and prepare accessors.
inline constexpr TNativeError Errors[] = {
    {mp4result::NoTag, TTagError::NoTag},
    {mp4result::NothingToWrite, TTagError::NothingToWrite},
    {mp4result::FileOpenFailed, TTagError::CannotOpen},
    {mp4result::ReadError, TTagError::Damaged},
    {mp4result::UnsafeLayout, TTagError::UnsafeLayout},
    {mp4result::NotMP4, TTagError::NotThisFormat},
    {mp4result::ChunkOffsetsFailed, TTagError::UnsafeLayout},
    {mp4result::ChunkOffsets64Failed, TTagError::UnsafeLayout},
};
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 13, 9, 10, 14, 19, 20};

inline constexpr const char* Extensions[] = {".MP4", ".M4A", ".M4B", ".ALAC"};
inline constexpr int PrincipalFor[] = {audioformat::MP4};

void Merge(TTags& Tags);
bool MergePictures(TTags& Tags, TMP4Tag& From);
void Prepare(TTags& Tags);
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
void DeleteNative(TTags& Tags, const TTag& Entry);
int Strip(const std::string& FileName);
bool StripFailed(int NativeCode);
TStreamValues StreamValues(const TTags& Tags);

}  // namespace mp4module
