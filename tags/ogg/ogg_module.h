// The Ogg Vorbis and Opus tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in ogg_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/ogg/opus_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
struct TStreamValues;
class TTag;
class TTags;
class TOpusTag;

namespace oggmodule {

// The kind's module. Each name below is documented at the row field of the
// same name in tags/native_formats.h (TNativeRow; Strip and StripFailed are
// the row's Remove and RemoveFailed). MergePictures and Prepare stand behind
// the container's picture-only merge and prepare accessors.
inline constexpr TNativeError Errors[] = {
    {oggresult::CannotOpen, TTagError::CannotOpen},    {oggresult::WriteFailed, TTagError::WriteFailed},
    {oggresult::BadHeader, TTagError::Damaged},        {oggresult::NoCommentHeader, TTagError::NotThisFormat},
    {oggresult::CannotRewrite, TTagError::CannotOpen}, {oggresult::ReadOnly, TTagError::ReadOnly},
};
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 8, 9, 10, 14, 0, 0};

inline constexpr const char* Extensions[] = {".OGG", ".OPUS", ".OGV"};
inline constexpr int PrincipalFor[] = {audioformat::Opus, audioformat::Vorbis, audioformat::Theora};

void Merge(TTags& Tags);
bool MergePictures(TTags& Tags, TOpusTag& From);
void Prepare(TTags& Tags);
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
void DeleteNative(TTags& Tags, const TTag& Entry);
int Strip(const std::string& FileName);
bool StripFailed(int NativeCode);
TStreamValues StreamValues(const TTags& Tags);

}  // namespace oggmodule
