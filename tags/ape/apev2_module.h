// The APEv2 tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in apev2_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/ape/apev2_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
class TTag;
class TTags;
class TAPEv2Tag;

namespace apev2module {

// What the native library's result codes mean (tags/tag_error.h).
inline constexpr TNativeError Errors[] = {
    {apev2result::NoTag, TTagError::NoTag},
    {apev2result::NothingToWrite, TTagError::NothingToWrite},
    {apev2result::CannotOpen, TTagError::CannotOpen},
    {apev2result::ItemTooLarge, TTagError::Damaged},
    {apev2result::UnsupportedVersion, TTagError::UnsupportedVersion},
    {apev2result::DamagedFooter, TTagError::Damaged},
    {apev2result::ReadOnly, TTagError::ReadOnly},
};
// The container's number for each native code 1..12 (see MapNativeResult).
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0};

// The extensions (upper case, with the dot) of files whose audio no reader
// recognised that an automatic save gives this kind.
inline constexpr const char* Extensions[] = {".APE", ".MPC", ".WV", ".OFR"};
// The audio formats whose principal tag this kind is: an automatic save of
// such a file that holds none of its own tags writes this kind.
inline constexpr int PrincipalFor[] = {audioformat::Monkey, audioformat::OptimFrog, audioformat::Musepack,
                                       audioformat::WavPack};

// Merges the loaded native tag into the container's entries and pictures:
// a later kind replaces, name by name, what an earlier one supplied.
void Merge(TTags& Tags);
// Adds the pictures of From to the container's; whether it held any.
bool MergePictures(TTags& Tags, TAPEv2Tag& From);
// Fills the native tag from the container's entries and pictures.
void Prepare(TTags& Tags);
// Prepares and writes the kind into a file (Stream null) or a stream; a
// native result code.
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
// Removes from the native tag what stands for a container entry.
void DeleteNative(TTags& Tags, const TTag& Entry);
// Removes the kind from a file; a native result code.
int Strip(const std::string& FileName);
// Whether a Strip result means the tag was there but could not be
// removed (reported by an automatic strip).
bool StripFailed(int NativeCode);

}  // namespace apev2module
