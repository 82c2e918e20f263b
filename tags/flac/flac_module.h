// The FLAC tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in flac_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/flac/flac_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
struct TStreamValues;
class TTag;
class TTags;
class TFlacTag;

namespace flacmodule {

// The kind's module. Each name below is documented at the row field of the
// same name in tags/native_formats.h (TNativeRow; Strip and StripFailed are
// the row's Remove and RemoveFailed). MergePictures and Prepare stand behind
// the container's picture-only merge and prepare accessors.
inline constexpr TNativeError Errors[] = {
    {flacresult::NoTag, TTagError::NoTag},
    {flacresult::CannotOpen, TTagError::CannotOpen},
    {flacresult::WriteFailed, TTagError::WriteFailed},
    {flacresult::NotOggFlac, TTagError::NotThisFormat},
    {flacresult::NotFlac, TTagError::NotThisFormat},
    {flacresult::CannotRewrite, TTagError::CannotOpen},
    {flacresult::ReadOnly, TTagError::ReadOnly},
    {flacresult::TooLarge, TTagError::TooLarge},
};
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 9, 10, 14, 0, 0, 0};

inline constexpr const char* Extensions[] = {".FLAC", ".FLA", ".FLC", ".OGA"};
inline constexpr int PrincipalFor[] = {audioformat::Flac, audioformat::OggFlac};

void Merge(TTags& Tags);
bool MergePictures(TTags& Tags, TFlacTag& From);
void Prepare(TTags& Tags);
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
void DeleteNative(TTags& Tags, const TTag& Entry);
int Strip(const std::string& FileName);
bool StripFailed(int NativeCode);
TStreamValues StreamValues(const TTags& Tags);

}  // namespace flacmodule
