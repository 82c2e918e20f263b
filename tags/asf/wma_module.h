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

// What the native library's result codes mean (tags/tag_error.h).
inline constexpr TNativeError Errors[] = {
    {wmaresult::NoFile, TTagError::CannotOpen},
    {wmaresult::NotAsf, TTagError::NotThisFormat},
    {wmaresult::ReadOnly, TTagError::ReadOnly},
    {wmaresult::Failed, TTagError::WriteFailed},
};
// The container's number for each native code 1..12 (see MapNativeResult).
inline constexpr TContainerCodes ContainerCodes = {2, 15, 16, 17, 18, 0, 0, 0, 0, 0, 0, 0};

// The extensions (upper case, with the dot) of files whose audio no reader
// recognised that an automatic save gives this kind.
inline constexpr const char* Extensions[] = {".WMA", ".WMV", ".ASF"};

// Merges the loaded native tag into the container's entries and pictures:
// a later kind replaces, name by name, what an earlier one supplied.
void Merge(TTags& Tags);
// Adds the pictures of From to the container's; whether it held any.
bool MergePictures(TTags& Tags, TWMATag& From);
// Fills the native tag from the container's entries and pictures.
void Prepare(TTags& Tags);
// Prepares and writes the kind into a file (Stream null) or a stream; a
// native result code.
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
// Removes from the native tag what stands for a container entry.
void DeleteNative(TTags& Tags, const TTag& Entry);
// Removes the kind from a file; a native result code.
int Strip(const std::string& FileName);
// The stream properties the kind's reader found.
TStreamValues StreamValues(const TTags& Tags);

}  // namespace wmamodule
