// The container's formats as one table. Each row ties a tag kind (see
// tags/tag_formats.h) to its native object in TTags and to the container
// members that merge, delete, save and strip it; the container's loops run
// over the rows instead of naming every kind. Adding a kind means adding its
// row here and its members in its own folder.
//
// Internal to the tag library (included by the container's source files).
#pragma once

#include <concepts>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>

#include "tags/flac/flac_tag.h"
#include "tags/ogg/opus_tag.h"
#include "tags/ape/apev2_tag.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/native_stub.h"
#include "tags/stream.h"
#include "tags/tag_formats.h"
#include "tags/tags.h"
#include "tags/wav/wav_tag.h"
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
    void (TTags::*Merge)();
    // Removes from the native tag what stands for a container entry.
    void (TTags::*DeleteNative)(const TTag&);
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
    static int StripWMA(const std::string& FileName) {
        TWMATag Wma;
        Wma.LoadFromFile(FileName);
        Wma.Clear();
        return Wma.SaveToFile(FileName);
    }

    // One row per kind, in save order.
    static constexpr auto Rows = std::make_tuple(
        TNativeRow<TAPEv2Tag>{{ttAPEv2, TNativeLibrary::APEv2, tagkind::APEv2, "apev2"},
                              &TTags::FAPEv2Tag,
                              &TTags::LoadAPEv2Tags,
                              &TTags::DeleteNativeAPEv2,
                              [](TTags& T, const std::string& N, bool, TStream* S) { return T.SaveAPEv2Tag(N, S); },
                              [](const std::string& N) { return RemoveAPEv2TagFromFile(N, false); },
                              // An APE tag still there afterwards (damaged, or the file could
                              // not be written) is a failure; "none found" is not.
                              [](int R) { return R != apev2result::Success && R != apev2result::NoTag; }},
        TNativeRow<TFlacTag>{{ttFlac, TNativeLibrary::Flac, tagkind::Flac, "flac"},
                             &TTags::FFlacTag,
                             &TTags::LoadFlacTags,
                             &TTags::DeleteNativeFlac,
                             [](TTags& T, const std::string& N, bool B, TStream* S) { return T.SaveFlacTag(N, B, S); },
                             [](const std::string& N) { return RemoveFlacTagFromFile(N); },
                             [](int R) { return R == flacresult::WriteFailed || R == flacresult::CannotRewrite; }},
        TNativeRow<TID3v1Tag>{
            {ttID3v1, TNativeLibrary::ID3v1, tagkind::ID3v1, "id3v1"},
            &TTags::FID3v1Tag,
            &TTags::LoadID3v1Tags,
            &TTags::DeleteNativeID3v1,
            [](TTags& T, const std::string& N, bool, TStream* S) { return T.SaveID3v1Tag(N, S); },
            [](const std::string& N) { return RemoveID3v1TagFromFile(N, false); },
            [](int R) { return R == id3v1::CannotOpen || R == id3v1::WriteError || R == id3v1::ReadOnly; },
            TReadWhen::Always,
            false,
            nullptr,
            &TTags::ID3v1CanHold},
        TNativeRow<TID3v2Tag>{
            {ttID3v2, TNativeLibrary::ID3v2, tagkind::ID3v2, "id3v2"},
            &TTags::FID3v2Tag,
            &TTags::LoadID3v2Tags,
            &TTags::DeleteNativeID3v2,
            [](TTags& T, const std::string& N, bool B, TStream* S) { return T.SaveID3v2Tag(N, B, S); },
            [](const std::string& N) { return RemoveID3v2TagFromFile(N, false); },
            [](int R) {
                return R == id3v2result::FileOpenFailed || R == id3v2result::WriteFailed || R == id3v2result::ReadOnly;
            },
            TReadWhen::Always,
            true,
            [](TID3v2Tag& Tag) {
                Tag.RemoveUnsynchronisationOnAllFrames();
                Tag.DeCompressAllFrames();
            }},
        TNativeRow<TMP4Tag>{{ttMP4, TNativeLibrary::MP4, tagkind::MP4, "mp4"},
                            &TTags::FMP4Tag,
                            &TTags::LoadMP4Tags,
                            &TTags::DeleteNativeMP4,
                            [](TTags& T, const std::string& N, bool B, TStream* S) { return T.SaveMP4Tag(N, B, S); },
                            [](const std::string& N) { return RemoveMP4TagFromFile(N); },
                            [](int R) {
                                return R == mp4result::FileOpenFailed || R == mp4result::UnsafeLayout ||
                                       R == mp4result::ChunkOffsetsFailed || R == mp4result::ChunkOffsets64Failed;
                            }},
        TNativeRow<TOpusTag>{
            {ttOpusVorbis, TNativeLibrary::Ogg, tagkind::Ogg, "ogg"},
            &TTags::FOggTag,
            &TTags::LoadOggVorbisAndOpusTags,
            &TTags::DeleteNativeOgg,
            [](TTags& T, const std::string& N, bool, TStream* S) { return T.SaveOggVorbisAndOpusTag(N, S); },
            [](const std::string& N) { return RemoveOggTagFromFile(N); },
            [](int R) { return R == oggresult::WriteFailed || R == oggresult::CannotRewrite; }},
        TNativeRow<TWAVTag>{{ttWAV, TNativeLibrary::WAV, tagkind::WAV, "wav"},
                            &TTags::FWAVTag,
                            &TTags::LoadWAVTags,
                            &TTags::DeleteNativeWAV,
                            [](TTags& T, const std::string& N, bool, TStream* S) { return T.SaveWAVTag(N, S); },
                            [](const std::string& N) { return RemoveWAVTagFromFile(N); },
                            // Chunks found that could not be written out of the file.
                            [](int R) { return R == wavresult::OpenFailed || R == wavresult::Failed; },
                            TReadWhen::Always,
                            false,
                            nullptr,
                            &TTags::WAVCanHold},
        TNativeRow<TWMATag>{{ttWMA, TNativeLibrary::WMA, tagkind::WMA, "wma"},
                            &TTags::FWMATag,
                            &TTags::LoadWMATags,
                            &TTags::DeleteNativeWMA,
                            [](TTags& T, const std::string& N, bool, TStream* S) {
                                return S ? tagresult::WMAToStream : T.SaveWMATag(N);
                            },
                            // Only files named as WMA are rewritten by an automatic strip.
                            [](const std::string& N) { return StripWMA(N); },
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
