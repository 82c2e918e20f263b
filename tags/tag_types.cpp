#include "tags/tag_types.h"

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

// Native result code n (1-based column) -> container code; 0 = no translation.
struct TResultRow {
    TNativeLibrary Library;
    int Codes[12];
};
constexpr TResultRow ResultTable[] = {
    {TNativeLibrary::ID3v2, {1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 0}},
    {TNativeLibrary::WAV, {1, 3, 4, 5, 6, 7, 8, 9, 10, 13, 14, 0}},
    {TNativeLibrary::MP4, {1, 3, 4, 5, 6, 7, 13, 9, 10, 14, 19, 20}},
    {TNativeLibrary::APEv2, {1, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0, 0}},
    {TNativeLibrary::Ogg, {1, 3, 4, 5, 6, 7, 8, 9, 10, 14, 0, 0}},
    {TNativeLibrary::Flac, {1, 3, 4, 5, 6, 7, 9, 10, 14, 0, 0, 0}},
    {TNativeLibrary::ID3v1, {0, 0, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0}},
    {TNativeLibrary::WMA, {2, 15, 16, 17, 18, 0, 0, 0, 0, 0, 0, 0}},
};

}  // namespace

int MapNativeResult(TNativeLibrary Library, int NativeCode) {
    if (NativeCode == 0) return 0;
    for (const auto& row : ResultTable) {
        if (row.Library != Library) continue;
        if (NativeCode >= 1 && NativeCode <= 12 && row.Codes[NativeCode - 1] != 0) return row.Codes[NativeCode - 1];
        return tagresult::Failure;
    }
    return tagresult::Failure;
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
