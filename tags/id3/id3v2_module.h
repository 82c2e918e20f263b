// The ID3v2 tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in id3v2_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/id3/id3v2_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
struct TStreamValues;
class TTag;
class TTags;
class TID3v2Tag;

namespace id3v2module {

// What the native library's result codes mean (tags/tag_error.h).
inline constexpr TNativeError Errors[] = {
    {id3v2result::NoTag, TTagError::NoTag},
    {id3v2result::NoFrames, TTagError::NothingToWrite},
    {id3v2result::FileOpenFailed, TTagError::CannotOpen},
    {id3v2result::ContainerError, TTagError::Damaged},
    {id3v2result::WriteFailed, TTagError::WriteFailed},
    {id3v2result::ContainerUnsound, TTagError::Damaged},
    {id3v2result::UnsupportedVersion, TTagError::UnsupportedVersion},
    {id3v2result::RF64WithoutWave, TTagError::NotThisFormat},
    {id3v2result::ContainerTooLarge, TTagError::TooLarge},
    {id3v2result::NotExclusive, TTagError::Busy},
    {id3v2result::ReadOnly, TTagError::ReadOnly},
};
// The container's number for each native code 1..12 (see MapNativeResult).
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 0};

// The extensions (upper case, with the dot) of files whose audio no reader
// recognised that an automatic save gives this kind.
inline constexpr const char* Extensions[] = {".WAV", ".WAVE", ".RF64", ".BWF",  ".MPG", ".MP1", ".MP2", ".MP3",
                                             ".MPA", ".AIFF", ".AIF",  ".AIFC", ".AFC", ".DSF", ".DFF"};
// The audio formats whose principal tag this kind is: an automatic save of
// such a file that holds none of its own tags writes this kind.
inline constexpr int PrincipalFor[] = {audioformat::MPEG, audioformat::Wave,   audioformat::RF64, audioformat::AIFF,
                                       audioformat::AIFC, audioformat::DSDIFF, audioformat::DSF};

// Merges the loaded native tag into the container's entries and pictures:
// a later kind replaces, name by name, what an earlier one supplied.
void Merge(TTags& Tags);
// Adds the pictures of From to the container's; whether it held any.
bool MergePictures(TTags& Tags, TID3v2Tag& From);
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
// Runs before an automatic save writes the tag as the principal tag of a
// file that held none of its own.
void BeforePrincipalSave(TID3v2Tag& Tag);
// The stream properties the kind's reader found.
TStreamValues StreamValues(const TTags& Tags);

}  // namespace id3v2module
