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
#include <span>
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
#include "tags/native_codes.h"
#include "tags/native_stub.h"
#include "tags/stream.h"
#include "tags/stream_values.h"
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

inline constexpr TContainerCodes NoContainerCodes = {};

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
    // The extensions of files whose audio no reader recognised that an
    // automatic save gives this kind (see DefaultTagKindsForExtension).
    std::span<const char* const> Extensions = {};
    // An automatic strip removes the kind only from a file named with one of
    // its Extensions.
    bool StripNamedOnly = false;
    // The audio formats whose principal tag this kind is: an automatic save
    // of such a file writes it when none of the file's own tags was written.
    std::span<const int> PrincipalFor = {};
    // Runs before such a save into a file writes the kind as the principal tag.
    void (*BeforePrincipalSave)(TNative& Native) = nullptr;
    // The stream properties the kind's reader found (tags/stream_values.h);
    // null for a kind whose reader finds none.
    TStreamValues (*StreamValues)(const TTags& Tags) = nullptr;
    // What the native library's result codes mean, and the container's
    // number for each (tags/native_codes.h).
    std::span<const TNativeError> Errors = {};
    std::span<const int, 12> ContainerCodes = NoContainerCodes;

    static constexpr bool Built = !std::is_base_of_v<TNativeTagStub, TNative>;
};

struct TNativeFormats {
    // One row per kind, in save order.
    static constexpr auto Rows =
        std::make_tuple(TNativeRow<TAPEv2Tag>{.Info = {ttAPEv2, TNativeLibrary::APEv2, tagkind::APEv2, "apev2"},
                                              .Object = &TTags::FAPEv2Tag,
                                              .Merge = apev2module::Merge,
                                              .DeleteNative = apev2module::DeleteNative,
                                              .Save = apev2module::Save,
                                              .Remove = apev2module::Strip,
                                              .RemoveFailed = apev2module::StripFailed,
                                              .Extensions = apev2module::Extensions,
                                              .PrincipalFor = apev2module::PrincipalFor,
                                              .Errors = apev2module::Errors,
                                              .ContainerCodes = apev2module::ContainerCodes},
                        TNativeRow<TFlacTag>{.Info = {ttFlac, TNativeLibrary::Flac, tagkind::Flac, "flac"},
                                             .Object = &TTags::FFlacTag,
                                             .Merge = flacmodule::Merge,
                                             .DeleteNative = flacmodule::DeleteNative,
                                             .Save = flacmodule::Save,
                                             .Remove = flacmodule::Strip,
                                             .RemoveFailed = flacmodule::StripFailed,
                                             .Extensions = flacmodule::Extensions,
                                             .PrincipalFor = flacmodule::PrincipalFor,
                                             .StreamValues = flacmodule::StreamValues,
                                             .Errors = flacmodule::Errors,
                                             .ContainerCodes = flacmodule::ContainerCodes},
                        TNativeRow<TID3v1Tag>{.Info = {ttID3v1, TNativeLibrary::ID3v1, tagkind::ID3v1, "id3v1"},
                                              .Object = &TTags::FID3v1Tag,
                                              .Merge = id3v1module::Merge,
                                              .DeleteNative = id3v1module::DeleteNative,
                                              .Save = id3v1module::Save,
                                              .Remove = id3v1module::Strip,
                                              .RemoveFailed = id3v1module::StripFailed,
                                              .MergeForPicturesOnly = false,
                                              .Holds = id3v1module::Holds,
                                              .Errors = id3v1module::Errors,
                                              .ContainerCodes = id3v1module::ContainerCodes},
                        TNativeRow<TID3v2Tag>{.Info = {ttID3v2, TNativeLibrary::ID3v2, tagkind::ID3v2, "id3v2"},
                                              .Object = &TTags::FID3v2Tag,
                                              .Merge = id3v2module::Merge,
                                              .DeleteNative = id3v2module::DeleteNative,
                                              .Save = id3v2module::Save,
                                              .Remove = id3v2module::Strip,
                                              .RemoveFailed = id3v2module::StripFailed,
                                              .AfterLoad =
                                                  [](TID3v2Tag& Tag) {
                                                      Tag.RemoveUnsynchronisationOnAllFrames();
                                                      Tag.DeCompressAllFrames();
                                                  },
                                              .Extensions = id3v2module::Extensions,
                                              .PrincipalFor = id3v2module::PrincipalFor,
                                              .BeforePrincipalSave = id3v2module::BeforePrincipalSave,
                                              .StreamValues = id3v2module::StreamValues,
                                              .Errors = id3v2module::Errors,
                                              .ContainerCodes = id3v2module::ContainerCodes},
                        TNativeRow<TMP4Tag>{.Info = {ttMP4, TNativeLibrary::MP4, tagkind::MP4, "mp4"},
                                            .Object = &TTags::FMP4Tag,
                                            .Merge = mp4module::Merge,
                                            .DeleteNative = mp4module::DeleteNative,
                                            .Save = mp4module::Save,
                                            .Remove = mp4module::Strip,
                                            .RemoveFailed = mp4module::StripFailed,
                                            .Extensions = mp4module::Extensions,
                                            .PrincipalFor = mp4module::PrincipalFor,
                                            .StreamValues = mp4module::StreamValues,
                                            .Errors = mp4module::Errors,
                                            .ContainerCodes = mp4module::ContainerCodes},
                        TNativeRow<TOpusTag>{.Info = {ttOpusVorbis, TNativeLibrary::Ogg, tagkind::Ogg, "ogg"},
                                             .Object = &TTags::FOggTag,
                                             .Merge = oggmodule::Merge,
                                             .DeleteNative = oggmodule::DeleteNative,
                                             .Save = oggmodule::Save,
                                             .Remove = oggmodule::Strip,
                                             .RemoveFailed = oggmodule::StripFailed,
                                             .Extensions = oggmodule::Extensions,
                                             .PrincipalFor = oggmodule::PrincipalFor,
                                             .StreamValues = oggmodule::StreamValues,
                                             .Errors = oggmodule::Errors,
                                             .ContainerCodes = oggmodule::ContainerCodes},
                        TNativeRow<TWAVTag>{.Info = {ttWAV, TNativeLibrary::WAV, tagkind::WAV, "wav"},
                                            .Object = &TTags::FWAVTag,
                                            .Merge = wavmodule::Merge,
                                            .DeleteNative = wavmodule::DeleteNative,
                                            .Save = wavmodule::Save,
                                            .Remove = wavmodule::Strip,
                                            .RemoveFailed = wavmodule::StripFailed,
                                            .MergeForPicturesOnly = false,
                                            .Holds = wavmodule::Holds,
                                            .Extensions = wavmodule::Extensions,
                                            .PrincipalFor = wavmodule::PrincipalFor,
                                            .StreamValues = wavmodule::StreamValues,
                                            .Errors = wavmodule::Errors,
                                            .ContainerCodes = wavmodule::ContainerCodes},
                        TNativeRow<TWMATag>{.Info = {ttWMA, TNativeLibrary::WMA, tagkind::WMA, "wma"},
                                            .Object = &TTags::FWMATag,
                                            .Merge = wmamodule::Merge,
                                            .DeleteNative = wmamodule::DeleteNative,
                                            .Save = wmamodule::Save,
                                            .Remove = wmamodule::Strip,
                                            .ReadWhen = TReadWhen::UnclaimedFileOnly,
                                            .Extensions = wmamodule::Extensions,
                                            .StripNamedOnly = true,
                                            .StreamValues = wmamodule::StreamValues,
                                            .Errors = wmamodule::Errors,
                                            .ContainerCodes = wmamodule::ContainerCodes});

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
