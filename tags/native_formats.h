// The container's formats as one table. Each row ties a tag kind (see
// tags/tag_formats.h) to its native object in TTags and to its format module
// (FOLDER/*_module.h): the free functions that merge, delete, save and strip
// it. The container's loops run over the rows instead of naming every kind.
// Adding a kind means adding its folder with its module, and its row here.
//
// Internal to the tag library (included by the container's source files).
#pragma once

#include <concepts>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>

#include "tags/flac/flac_module.h"
#include "tags/flac/flac_tag.h"
#include "tags/ogg/ogg_module.h"
#include "tags/ogg/opus_tag.h"
#include "tags/ape/apev2_module.h"
#include "tags/ape/apev2_tag.h"
#include "tags/id3/id3v1_module.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_module.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/mp4/mp4_module.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/native_stub.h"
#include "tags/stream.h"
#include "tags/tag_formats.h"
#include "tags/tags.h"
#include "tags/wav/wav_module.h"
#include "tags/wav/wav_tag.h"
#include "tags/asf/wma_module.h"
#include "tags/asf/wma_tag.h"

// What the container needs of every native tag class. Loads and saves may
// take an extra flag (buffered reading, the ID3v1 writer's Lyrics3 block).
template <class T>
concept NativeTagObject = requires(T Tag, const T& Other, const std::string& Name, TStream& Stream) {
    { Tag.Loaded } -> std::convertible_to<bool>;
    { Tag.SourceFileName } -> std::convertible_to<std::string>;
    Tag.Clear();
    { Other.Size() } -> std::convertible_to<int64_t>;
    { Tag.Assign(Other) } -> std::convertible_to<bool>;
    requires(
        requires {
            { Tag.LoadFromFile(Name) } -> std::convertible_to<int>;
        } ||
        requires {
            { Tag.LoadFromFile(Name, true) } -> std::convertible_to<int>;
        });
    requires(
        requires {
            { Tag.LoadFromStream(Stream) } -> std::convertible_to<int>;
        } ||
        requires {
            { Tag.LoadFromStream(Stream, true) } -> std::convertible_to<int>;
        });
    requires(
        requires {
            { Tag.SaveToFile(Name) } -> std::convertible_to<int>;
        } ||
        requires {
            { Tag.SaveToFile(Name, true) } -> std::convertible_to<int>;
        });
    requires(
        requires {
            { Tag.SaveToStream(Stream) } -> std::convertible_to<int>;
        } ||
        requires {
            { Tag.SaveToStream(Stream, true) } -> std::convertible_to<int>;
        });
};

// When a kind's reader runs on a file.
enum class TReadWhen {
    Always,
    // Only on a file no other reader claimed (ID3v2, WAV) and whose audio
    // format is not recognised; never on a stream.
    UnclaimedFileOnly,
};

// A row of the table; its native class is checked against NativeTagObject
// where the row is declared, so a class that lacks a member fails the build.
template <class TNative>
struct TNativeRow {
    static_assert(NativeTagObject<TNative>, "a native tag class lacks what the container calls");
    using Native = TNative;
    TTagFormat Info;
    std::unique_ptr<TNative> TTags::*Object;
    // Merges the loaded native tag into the container's entries and pictures.
    void (*Merge)(TTags& Tags);
    // Removes from the native tag what stands for a container entry.
    void (*DeleteNative)(TTags& Tags, const TTag& Entry);
    // Writes the kind into a file (Stream null) or a stream; a native code.
    int (*Save)(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream);
    // Removes the kind from a file; a native code.
    int (*Remove)(const std::string& FileName);
    // Whether a Remove result means the tag was there but could not be
    // removed (reported by an automatic strip); null: never reported.
    bool (*RemoveFailed)(int NativeCode) = nullptr;
    TReadWhen ReadWhen = TReadWhen::Always;
    // Merged even when only pictures are asked for (OnlyParseCoverArts).
    bool MergeForPicturesOnly = true;
    // Runs after a successful load of the native object.
    void (*AfterLoad)(TNative& Native) = nullptr;
    // For a kind players read beside ID3v2 on an MPEG or WAVE file: whether
    // it has a place for an entry (see TTags::PrepareOverflowView). Null for
    // the other kinds.
    bool (*Holds)(const TTag& Entry) = nullptr;

    static constexpr bool Built = !std::is_base_of_v<TNativeTagStub, TNative>;
};

struct TNativeFormats {
    // One row per kind, in save order.
    static constexpr auto Rows =
        std::make_tuple(TNativeRow<TAPEv2Tag>{{ttAPEv2, TNativeLibrary::APEv2, tagkind::APEv2, "apev2"},
                                              &TTags::FAPEv2Tag,
                                              apev2module::Merge,
                                              apev2module::DeleteNative,
                                              apev2module::Save,
                                              apev2module::Strip,
                                              apev2module::StripFailed},
                        TNativeRow<TFlacTag>{{ttFlac, TNativeLibrary::Flac, tagkind::Flac, "flac"},
                                             &TTags::FFlacTag,
                                             flacmodule::Merge,
                                             flacmodule::DeleteNative,
                                             flacmodule::Save,
                                             flacmodule::Strip,
                                             flacmodule::StripFailed},
                        TNativeRow<TID3v1Tag>{{ttID3v1, TNativeLibrary::ID3v1, tagkind::ID3v1, "id3v1"},
                                              &TTags::FID3v1Tag,
                                              id3v1module::Merge,
                                              id3v1module::DeleteNative,
                                              id3v1module::Save,
                                              id3v1module::Strip,
                                              id3v1module::StripFailed,
                                              TReadWhen::Always,
                                              false,
                                              nullptr,
                                              id3v1module::Holds},
                        TNativeRow<TID3v2Tag>{{ttID3v2, TNativeLibrary::ID3v2, tagkind::ID3v2, "id3v2"},
                                              &TTags::FID3v2Tag,
                                              id3v2module::Merge,
                                              id3v2module::DeleteNative,
                                              id3v2module::Save,
                                              id3v2module::Strip,
                                              id3v2module::StripFailed,
                                              TReadWhen::Always,
                                              true,
                                              [](TID3v2Tag& Tag) {
                                                  Tag.RemoveUnsynchronisationOnAllFrames();
                                                  Tag.DeCompressAllFrames();
                                              }},
                        TNativeRow<TMP4Tag>{{ttMP4, TNativeLibrary::MP4, tagkind::MP4, "mp4"},
                                            &TTags::FMP4Tag,
                                            mp4module::Merge,
                                            mp4module::DeleteNative,
                                            mp4module::Save,
                                            mp4module::Strip,
                                            mp4module::StripFailed},
                        TNativeRow<TOpusTag>{{ttOpusVorbis, TNativeLibrary::Ogg, tagkind::Ogg, "ogg"},
                                             &TTags::FOggTag,
                                             oggmodule::Merge,
                                             oggmodule::DeleteNative,
                                             oggmodule::Save,
                                             oggmodule::Strip,
                                             oggmodule::StripFailed},
                        TNativeRow<TWAVTag>{{ttWAV, TNativeLibrary::WAV, tagkind::WAV, "wav"},
                                            &TTags::FWAVTag,
                                            wavmodule::Merge,
                                            wavmodule::DeleteNative,
                                            wavmodule::Save,
                                            wavmodule::Strip,
                                            wavmodule::StripFailed,
                                            TReadWhen::Always,
                                            false,
                                            nullptr,
                                            wavmodule::Holds},
                        TNativeRow<TWMATag>{{ttWMA, TNativeLibrary::WMA, tagkind::WMA, "wma"},
                                            &TTags::FWMATag,
                                            wmamodule::Merge,
                                            wmamodule::DeleteNative,
                                            wmamodule::Save,
                                            wmamodule::Strip,
                                            nullptr,
                                            TReadWhen::UnclaimedFileOnly});

    // Calls F(Row) for every row, in order.
    template <class F>
    static void ForEach(F&& Fn) {
        std::apply([&](const auto&... Row) { (Fn(Row), ...); }, Rows);
    }

    // The native object of a row in a container.
    template <class TRow>
    static typename TRow::Native& Object(TTags& Tags, const TRow& Row) {
        return *(Tags.*(Row.Object));
    }
    template <class TRow>
    static const typename TRow::Native& Object(const TTags& Tags, const TRow& Row) {
        return *(Tags.*(Row.Object));
    }
};

// Loads a native object from a file or a stream with the arguments its class
// takes (buffered reading where it offers it).
template <class T>
int LoadNativeFromFile(T& Tag, const std::string& Name) {
    if constexpr (requires { Tag.LoadFromFile(Name, true); })
        return Tag.LoadFromFile(Name, true);
    else
        return Tag.LoadFromFile(Name);
}
// Loads a native object from the file the container opened once, through
// the view every reader of the load shares, with the same result as its
// LoadFromFile; a class that cannot take the view opens the file by name.
template <class T>
int LoadNativeFromOpenFile(T& Tag, TStream& View, const std::string& Name) {
    if constexpr (requires { Tag.LoadFromOpenFile(View, Name); }) {
        View.Seek(0);
        return Tag.LoadFromOpenFile(View, Name);
    } else {
        return LoadNativeFromFile(Tag, Name);
    }
}
template <class T>
int LoadNativeFromStream(T& Tag, TStream& Stream, bool Buffered) {
    if constexpr (requires { Tag.LoadFromStream(Stream, Buffered); })
        return Tag.LoadFromStream(Stream, Buffered);
    else
        return Tag.LoadFromStream(Stream);
}
