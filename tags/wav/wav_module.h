// The WAVE (RIFF INFO, bext and cart) tag kind as a module of the container: how its native tag
// merges into the unified entries and pictures, is prepared from them and
// written, loses what stands for one entry, and is stripped from a file.
// It also says what its native result codes mean, which file extensions
// and audio formats call for it, and what its reader knows of the stream.
// The container reaches it through the kind's row (tags/native_formats.h);
// the accessors TTags keeps for it are thin wrappers (tags/format_accessors.cpp).
// Implemented in wav_mapping.cpp beside this header.
//
// Internal to the tag library.
#pragma once

#include <string>

#include "tags/wav/wav_tag.h"
#include "tags/native_codes.h"
#include "tags/tag_types.h"

class TStream;
struct TStreamValues;
class TTag;
class TTags;
class TWAVTag;

namespace wavmodule {

// What the native library's result codes mean (tags/tag_error.h).
inline constexpr TNativeError Errors[] = {
    {wavresult::NoFile, TTagError::CannotOpen}, {wavresult::NoTemp, TTagError::WriteFailed},
    {wavresult::Structure, TTagError::Damaged}, {wavresult::NotWave, TTagError::NotThisFormat},
    {wavresult::TooLarge, TTagError::TooLarge}, {wavresult::OpenFailed, TTagError::CannotOpen},
    {wavresult::ReadOnly, TTagError::ReadOnly},
};
// The container's number for each native code 1..12 (see MapNativeResult).
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 0};

// The extensions (upper case, with the dot) of files whose audio no reader
// recognised that an automatic save gives this kind.
inline constexpr const char* Extensions[] = {".WAV", ".WAVE", ".RF64", ".BWF"};
// The audio formats whose principal tag this kind is: an automatic save of
// such a file that holds none of its own tags writes this kind.
inline constexpr int PrincipalFor[] = {audioformat::Wave, audioformat::RF64};

// Merges the loaded native tag into the container's entries and pictures:
// a later kind replaces, name by name, what an earlier one supplied.
void Merge(TTags& Tags);
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
// Players read this kind beside ID3v2 on an MPEG or WAVE file: whether it
// has a place for Entry (a value it cannot hold goes into an ID3v2 tag
// instead of being dropped).
bool Holds(const TTag& Entry);
// The stream properties the kind's reader found.
TStreamValues StreamValues(const TTags& Tags);

}  // namespace wavmodule
