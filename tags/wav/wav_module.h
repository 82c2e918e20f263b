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

// The kind's module. Each name below is documented at the row field of the
// same name in tags/native_formats.h (TNativeRow; Strip and StripFailed are
// the row's Remove and RemoveFailed). MergePictures and Prepare stand behind
// the container's picture-only merge and prepare accessors.
inline constexpr TNativeError Errors[] = {
    {wavresult::NoFile, TTagError::CannotOpen}, {wavresult::NoTemp, TTagError::WriteFailed},
    {wavresult::Structure, TTagError::Damaged}, {wavresult::NotWave, TTagError::NotThisFormat},
    {wavresult::TooLarge, TTagError::TooLarge}, {wavresult::OpenFailed, TTagError::CannotOpen},
    {wavresult::ReadOnly, TTagError::ReadOnly},
};
inline constexpr TContainerCodes ContainerCodes = {1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 0};

inline constexpr const char* Extensions[] = {".WAV", ".WAVE", ".RF64", ".BWF"};
inline constexpr int PrincipalFor[] = {audioformat::Wave, audioformat::RF64};

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
TStreamValues StreamValues(const TTags& Tags);

}  // namespace wavmodule
