// The WMA tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in wma_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/asf/wma_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
struct TStreamValues;
class TTag;
class TTags;
class TWMATag;

namespace wmamodule {

// The kind's module. Each name below is documented at the row field of the
// same name in tags/native_formats.h (TNativeRow; Strip and StripFailed are
// the row's Remove and RemoveFailed). MergePictures and Prepare stand behind
// the container's picture-only merge and prepare accessors.
inline constexpr TNativeError Errors[] = {
    {wmaresult::NoFile, TTagError::CannotOpen},
    {wmaresult::NotAsf, TTagError::NotThisFormat},
    {wmaresult::ReadOnly, TTagError::ReadOnly},
    {wmaresult::Failed, TTagError::WriteFailed},
};
inline constexpr TContainerCodes ContainerCodes = {2, 15, 16, 17, 18, 0, 0, 0, 0, 0, 0, 0};

inline constexpr const char* Extensions[] = {".WMA", ".WMV", ".ASF"};

void Merge(TTags& Tags);
bool MergePictures(TTags& Tags, TWMATag& From);
void Prepare(TTags& Tags);
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
void DeleteNative(TTags& Tags, const TTag& Entry);
int Strip(const std::string& FileName);
TStreamValues StreamValues(const TTags& Tags);

}  // namespace wmamodule
