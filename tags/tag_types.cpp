#include "tags/tag_types.h"

#include "tags/native_formats.h"
#include "tags/text.h"

namespace {

constexpr const char* PictureTypeNames[PictureTypeCount] = {"Other",
                                                            "32x32 pixels 'file icon' (PNG only)",
                                                            "Other file icon",
                                                            "Cover (front)",
                                                            "Cover (back)",
                                                            "Leaflet page",
                                                            "Media (e.g. label side of CD)",
                                                            "Lead artist/lead performer/soloist",
                                                            "Artist/performer",
                                                            "Conductor",
                                                            "Band/Orchestra",
                                                            "Composer",
                                                            "Lyricist/text writer",
                                                            "Recording Location",
                                                            "During recording",
                                                            "During performance",
                                                            "Movie/video screen capture",
                                                            "A bright coloured fish",
                                                            "Illustration",
                                                            "Band/artist logotype",
                                                            "Publisher/Studio logotype"};

constexpr const char* TagTypeNames[] = {"None", "Automatic", "APEv2", "FLAC",    "ID3v1",   "ID3v2", "MP4",
                                        "Ogg",  "WAV",       "WMA",   "MP4Xtra", "Lyrics3", "MKV"};
static_assert(sizeof(TagTypeNames) / sizeof(TagTypeNames[0]) == ttMKV + 1);

}  // namespace

int MapNativeResult(TNativeLibrary Library, int NativeCode) {
    if (NativeCode == 0) return 0;
    int code = tagresult::Failure;
    TNativeFormats::ForEach([&](const auto& Row) {
        if (Row.Info.Library != Library || NativeCode < 1 || NativeCode > 12) return;
        if (Row.ContainerCodes[NativeCode - 1] != 0) code = Row.ContainerCodes[NativeCode - 1];
    });
    return code;
}

TTagLibraryDefaults& TagLibraryDefaults() {
    static TTagLibraryDefaults defaults;
    return defaults;
}

const char* PictureTypeName(uint32_t Type) { return Type < PictureTypeCount ? PictureTypeNames[Type] : ""; }

uint32_t PictureTypeFromName(const std::string& Name) {
    for (uint32_t i = 0; i < PictureTypeCount; ++i)
        if (text::SameText(Name, PictureTypeNames[i])) return i;
    return 0;
}

TTagPictureFormat PictureFormatFromMIMEType(const std::string& MIMEType) {
    if (text::SameText(MIMEType, "image/jpeg") || text::SameText(MIMEType, "image/jpg")) return tpfJPEG;
    if (text::SameText(MIMEType, "image/png")) return tpfPNG;
    if (text::SameText(MIMEType, "image/bmp")) return tpfBMP;
    if (text::SameText(MIMEType, "image/gif")) return tpfGIF;
    return tpfUnknown;
}

const char* TagTypeName(TTagType Type) { return Type >= ttNone && Type <= ttMKV ? TagTypeNames[Type] : ""; }
