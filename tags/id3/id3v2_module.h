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

// The kind's module. Each name below is documented at the row field of the
// same name in tags/native_formats.h (TNativeRow; Strip and StripFailed are
// the row's Remove and RemoveFailed). MergePictures and Prepare stand behind
// the container's picture-only merge and prepare accessors.
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
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 0};

inline constexpr const char* Extensions[] = {".WAV", ".WAVE", ".RF64", ".BWF",  ".MPG", ".MP1", ".MP2", ".MP3",
                                             ".MPA", ".AIFF", ".AIF",  ".AIFC", ".AFC", ".DSF", ".DFF"};
inline constexpr int PrincipalFor[] = {audioformat::MPEG, audioformat::Wave,   audioformat::RF64, audioformat::AIFF,
                                       audioformat::AIFC, audioformat::DSDIFF, audioformat::DSF};

void Merge(TTags& Tags);
bool MergePictures(TTags& Tags, TID3v2Tag& From);
void Prepare(TTags& Tags);
int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
void DeleteNative(TTags& Tags, const TTag& Entry);
int Strip(const std::string& FileName);
bool StripFailed(int NativeCode);
// Runs before an automatic save writes the tag as the principal tag of a
// file that held none of its own.
void BeforePrincipalSave(TID3v2Tag& Tag);
TStreamValues StreamValues(const TTags& Tags);

}  // namespace id3v2module
