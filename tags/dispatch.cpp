// Which native readers run on a file, in which order their contents are
// merged, which native tags a save writes, audio-format recognition, the
// tag kinds an extension calls for, and stripping every tag from a file.
#include <algorithm>
#include <cstring>

#include "tags/audio_properties.h"
#include "tags/byte_io.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/file_view.h"
#include "tags/riff/riff_chunks.h"
#include "tags/native_formats.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tags/text.h"

namespace {

// Runs one native reader; a failure inside it leaves that object unloaded
// and never stops the other readers.
template <typename TNative, typename F>
void ReadScope(TNative& Native, F&& Read) {
    try {
        Read();
    } catch (const ETagFormat&) {
        try {
            Native.Clear();
        } catch (const ETagFormat&) {}
    }
}

bool Magic(const uint8_t* Bytes, const char* Text) { return std::memcmp(Bytes, Text, std::strlen(Text)) == 0; }

std::string UpperExt(const std::string& FileName) { return text::UpperAscii(fileutil::ExtractFileExt(FileName)); }

// Whether the file holds an ID3v2 tag, at its start or in its container's
// tag chunk, whether readable or not. A save into a file this container
// loaded, whose ID3v2 reader nevertheless came back empty, means the tag
// there could not be read (a version this library does not know, a damaged
// header): a new tag would replace it and everything it holds would be lost,
// so that save is refused instead.
bool HoldsID3v2Tag(const std::string& FileName) {
    TID3v2Tag probe;
    probe.ParseAudioAttributes = false;
    probe.ParseCoverArts = false;
    return probe.LoadFromFile(FileName, true) != id3v2result::NoTag;
}

// Whether a row's kind is the principal tag of the audio format.
template <class TRow>
bool PrincipalFor(const TRow& Row, int Format) {
    return std::find(Row.PrincipalFor.begin(), Row.PrincipalFor.end(), Format) != Row.PrincipalFor.end();
}

// Whether Ext (upper case, with the dot) is among a row's extensions.
template <class TRow>
bool NamedFor(const TRow& Row, const std::string& Ext) {
    for (const char* e : Row.Extensions)
        if (Ext == e) return true;
    return false;
}

}  // namespace

// ---- loading --------------------------------------------------------------------

void TTags::CopyOptionsToNatives() {
    FID3v2Tag->ParseAudioAttributes = ParseAudioAttributes;
    FID3v2Tag->ParseCoverArts = ParseCoverArts;
}

int TTags::LoadFromFile(const std::string& Name) {
    Clear();
    Loaded = false;
    // A save of this file that was cut short is undone before anything is read.
    RecoverInterruptedSave(Name);
    // The file is opened once and every reader reads the same view of it,
    // its first and last blocks read once. Should the open fail, each
    // reader tries on its own and reports its own failure, as before.
    std::unique_ptr<TFileStream> file = TFileStream::Open(Name, TFileMode::fmOpenReadShared);
    if (!file && !fileutil::FileExists(Name)) return tagresult::FileNotFound;
    const std::string ext = UpperExt(Name);

    CopyOptionsToNatives();
    std::unique_ptr<TFileView> view;
    if (file) view = std::make_unique<TFileView>(*file);
    auto detectFormat = [&] {
        if (!view) return DetectAudioFormatOfFile(Name);
        view->Seek(0);
        return DetectAudioFormatOfStream(*view);
    };
    TNativeFormats::ForEach([&](const auto& Row) {
        auto& native = TNativeFormats::Object(*this, Row);
        if (Row.ReadWhen == TReadWhen::UnclaimedFileOnly &&
            (FID3v2Tag->Loaded || FWAVTag->Loaded || detectFormat() != audioformat::Unknown))
            return;
        ReadScope(native, [&] {
            const int result = view ? LoadNativeFromOpenFile(native, *view, Name) : LoadNativeFromFile(native, Name);
            if (result == 0 && Row.AfterLoad) Row.AfterLoad(native);
        });
    });

    const bool wv = ext == ".WV" && ParseWavPackAudioAttributes;
    const bool mpc = ext == ".MPC" && ParseMusePackAudioAttributes;
    const bool ape = ext == ".APE" && ParseMonkeyAudioAttributes;
    if ((wv || mpc || ape) && view) {
        if (TStream* stream = view.get(); stream->Seek(0) == 0) {
            try {
                const int64_t apeSize = FAPEv2Tag->Loaded ? FAPEv2Tag->Size() : 0;
                const int64_t id3v2Size = FID3v2Tag->Loaded ? FID3v2Tag->Size() : 0;
                FAudio->LoadHeaderReaders(*stream, wv, mpc, ape, apeSize, id3v2Size,
                                          apeSize + (FID3v1Tag->Loaded ? 128 : 0));
            } catch (const ETagFormat&) {
                FAudio->ClearReaders();
            }
        }
    }

    FileName = Name;
    Loaded = false;
    TNativeFormats::ForEach([&](const auto& Row) { Loaded = Loaded || TNativeFormats::Object(*this, Row).Loaded; });
    LoadTags();
    return tagresult::Success;
}

int TTags::LoadFromStream(TStream& Stream, bool Buffered) {
    Clear();
    Loaded = false;
    if (Stream.Size() <= 0) return tagresult::FileNotFound;

    auto atStart = [&] { return Stream.Seek(0) == 0; };
    TNativeFormats::ForEach([&](const auto& Row) {
        auto& native = TNativeFormats::Object(*this, Row);
        if (Row.ReadWhen != TReadWhen::Always || !atStart()) return;
        ReadScope(native, [&] {
            if (LoadNativeFromStream(native, Stream, Buffered) == 0 && Row.AfterLoad) Row.AfterLoad(native);
        });
    });

    if ((ParseWavPackAudioAttributes || ParseMusePackAudioAttributes || ParseMonkeyAudioAttributes) && atStart()) {
        try {
            const int64_t apeSize = FAPEv2Tag->Loaded ? FAPEv2Tag->Size() : 0;
            const int64_t id3v2Size = FID3v2Tag->Loaded ? FID3v2Tag->Size() : 0;
            FAudio->LoadHeaderReaders(Stream, ParseWavPackAudioAttributes, ParseMusePackAudioAttributes,
                                      ParseMonkeyAudioAttributes, apeSize, id3v2Size,
                                      apeSize + (FID3v1Tag->Loaded ? 128 : 0));
        } catch (const ETagFormat&) {
            FAudio->ClearReaders();
        }
    }

    FileName.clear();
    Loaded = false;
    TNativeFormats::ForEach([&](const auto& Row) { Loaded = Loaded || TNativeFormats::Object(*this, Row).Loaded; });
    LoadTags();
    return tagresult::Success;
}

int TTags::LoadFromMemory(const void* Address, int64_t Size) {
    if (!Address || Size <= 0) {
        Clear();
        return tagresult::NoData;
    }
    TReadMemoryStream stream(Address, Size);
    return LoadFromStream(stream, true);
}

void TTags::LoadTags() {
    for (int i = (int)TagLoadPriority.size() - 1; i >= 0; --i) {
        TNativeFormats::ForEach([&](const auto& Row) {
            if (Row.Info.Kind != TagLoadPriority[i] || !TNativeFormats::Object(*this, Row).Loaded) return;
            if (OnlyParseCoverArts && !Row.MergeForPicturesOnly) return;
            Row.Merge(*this);
        });
    }
}

// ---- saving ---------------------------------------------------------------------

int TTags::SaveKind(TTagType Kind, const std::string& Name, bool Buffered, TStream* Stream) {
    int native = tagresult::Failure;
    try {
        if (Stream) Stream->Seek(0);
        if (Kind == ttLyrics2) Kind = ttID3v1;
        if (!FindTagFormat(Kind)) return tagresult::Failure;
        if (Kind == ttID3v2 && !Stream && FileName == Name && !FID3v2Tag->Loaded && HoldsID3v2Tag(Name)) {
            native = id3v2result::UnsupportedVersion;
        } else {
            // A kind loaded from this file is written from its own view (see
            // PrepareSaveViews), then the caller's list comes back.
            TEntryList* view = nullptr;
            TPictureList* pictures = nullptr;
            if (!Stream && Name == FileName) {
                for (auto& [kind, entries] : FSaveViews)
                    if (kind == Kind) view = &entries;
                for (auto& [kind, own] : FSavePictureViews)
                    if (kind == Kind) pictures = &own;
            }
            auto swapViews = [&] {
                if (view) std::swap(FTags, *view);
                if (pictures) std::swap(FCoverArts, *pictures);
            };
            swapViews();
            try {
                TNativeFormats::ForEach([&](const auto& Row) {
                    if (Row.Info.Kind == Kind) native = Row.Save(*this, Name, Buffered, Stream);
                });
            } catch (...) {
                swapViews();
                throw;
            }
            swapViews();
        }
        // Every entry and picture of a tag loaded from this file was deleted:
        // the writer finds nothing to write and would leave the old tag in
        // place, reporting success. The tag goes.
        if (Kind == ttID3v2 && native == id3v2result::NoFrames && !Stream && FileName == Name && FID3v2Tag->Loaded &&
            !FUneditedSave)
            native = RemoveID3v2TagFromFile(Name, false);
    } catch (const ETagFormat&) {
        native = tagresult::Failure;
    }
    FLastSaveSteps.push_back({Kind, native});
    if (Kind == ttWMA && Stream) return tagresult::WMAToStream;
    return MapNativeResult(LibraryOf(Kind), native);
}

int TTags::SaveToFile(const std::string& Name, TTagType TagType) {
    fileutil::TModTimeKeeper keepTime(Name, PreserveFileDateTime);
    // Every kind below is written in one transaction: the file ends whole in
    // its old form or whole in its new one.
    TSaveTransaction transaction(Name);
    FLastSaveErrno = 0;
    const int result = SaveKindsToFile(Name, TagType);
    if (result != tagresult::Success && result != tagresult::NothingToWrite) {
        FLastSaveErrno = transaction.LastError();
        transaction.Rollback();
        return result;
    }
    if (transaction.Commit()) return result;
    FLastSaveErrno = transaction.LastError();
    return tagresult::Failure;
}

int TTags::SaveKindsToFile(const std::string& Name, TTagType TagType) {
    FLastSaveSteps.clear();
    // Every kind written below flushes the file; it reaches the disk once, at the end.
    TSyncScope syncOnce;
    int result = tagresult::Failure;
    bool performed = false;
    if (Name == FileName) PrepareSaveViews();
    // What the file's own tags cannot hold, worked out before any of them is
    // prepared for writing (see PrepareOverflowView).
    bool overflow = false, overflowPictures = false;
    if (TagType == ttAutomatic && Name == FileName && !NativeLoaded(ttID3v2)) {
        const int format = DetectAudioFormatOfFile(Name);
        if (format == audioformat::MPEG || format == audioformat::Wave || format == audioformat::RF64)
            overflow = PrepareOverflowView(overflowPictures);
    }
    struct TDropViews {
        TTags& Tags;
        ~TDropViews() {
            Tags.FSaveViews.clear();
            Tags.FSavePictureViews.clear();
            Tags.FUneditedSave = false;
        }
    } dropViews{*this};
    auto save = [&](TTagType kind) {
        result = SaveKind(kind, Name, true, nullptr);
        performed = true;
        return result;
    };

    if (TagType == ttAutomatic) {
        // Asked before any kind is written: the merge of the native tags is
        // what the load gave only until then.
        const bool unedited = Name == FileName && Loaded && !EditedSinceLoad();
        FUneditedSave = unedited;
        bool counted = false;
        // Stage 1: every native tag that was loaded from this same file.
        if (Name == FileName) {
            for (const TTagFormat& f : TagFormats())
                if (NativeLoaded(f.Kind) && save(f.Kind) == 0 && f.Kind != ttID3v1) counted = true;
            // Values those tags had no place for go into a new ID3v2 tag,
            // the pictures only when they are among them.
            if (overflow && counted) {
                std::vector<std::unique_ptr<TCoverArt>> hidden;
                if (!overflowPictures) hidden.swap(FCoverArts);
                save(ttID3v2);
                if (!overflowPictures) FCoverArts = std::move(hidden);
            }
        }
        // A save of the tags as they were loaded has nothing to add: the
        // kinds the file holds were written back (changing no byte), and
        // no kind the file lacks is added (an ID3v2 tag beside an MP3's
        // ID3v1 tag, say).
        if (!counted && unedited) counted = true;
        // Stage 2: the principal tag of the recognised audio format.
        bool recognised = false;
        if (!counted) {
            const int format = DetectAudioFormatOfFile(Name);
            TNativeFormats::ForEach([&](const auto& Row) {
                if (!PrincipalFor(Row, format)) return;
                recognised = true;
                if (Row.BeforePrincipalSave) Row.BeforePrincipalSave(TNativeFormats::Object(*this, Row));
                counted = save(Row.Info.Kind) == 0 || counted;
            });
        }
        // Stage 3: the kinds the file's extension calls for, for audio no
        // reader recognised. A recognised file whose own tag could not be
        // written keeps that failure: another kind of tag is never put into
        // it instead (an ID3v2 tag in front of a FLAC stream, an APEv2 tag
        // behind an MP4 file).
        if (!counted && !recognised) {
            const int bits = DefaultTagKindsForExtension(Name);
            for (const TTagFormat& f : TagFormats())
                if (bits & f.KindBit) save(f.Kind);
        }
    } else {
        if (const TTagFormat* f = FindTagFormat(TagType)) save(f->Kind);
    }

    const bool synced = syncOnce.Finish();
    if (!performed) return tagresult::Failure;
    if (!synced && (result == tagresult::Success || result == tagresult::NothingToWrite)) return tagresult::Failure;
    // The result is the last writer's, unless an earlier writer failed and
    // its kind was not written successfully afterwards: a save that left one
    // of the file's tags unwritten is not reported as success.
    if (result == tagresult::Success || result == tagresult::NothingToWrite) {
        const auto& steps = FLastSaveSteps;
        for (size_t i = 0; i < steps.size(); ++i) {
            const int code = MapNativeResult(LibraryOf(steps[i].Kind), steps[i].NativeResult);
            if (code == tagresult::Success || code == tagresult::NothingToWrite) continue;
            bool mendedLater = false;
            for (size_t k = i + 1; k < steps.size(); ++k)
                if (steps[k].Kind == steps[i].Kind &&
                    (steps[k].NativeResult == 0 ||
                     MapNativeResult(LibraryOf(steps[k].Kind), steps[k].NativeResult) == tagresult::NothingToWrite))
                    mendedLater = true;
            if (!mendedLater) return code;
        }
    }
    return result;
}

int TTags::SaveToStream(TStream& Stream, bool Buffered, TTagType TagType) {
    FLastSaveSteps.clear();
    // A file stream written by two kinds (a WAVE file's ID3v2 and WAV tags)
    // reaches the disk once, when the save returns.
    TSyncScope syncOnce;
    if (TagType == ttAutomatic) {
        const int format = DetectAudioFormatOfStream(Stream);
        // Only a file of Ogg video gets a tag; a stream of one is refused.
        if (format == audioformat::Theora) return tagresult::Failure;
        // A WAVE stream gets its ID3v2 tag, then its RIFF INFO: the result is the last writer's.
        int result = tagresult::Failure;
        TNativeFormats::ForEach([&](const auto& Row) {
            if (PrincipalFor(Row, format)) result = SaveKind(Row.Info.Kind, std::string(), Buffered, &Stream);
        });
        return result;
    }
    const TTagFormat* f = FindTagFormat(TagType);
    return f ? SaveKind(f->Kind, std::string(), Buffered, &Stream) : tagresult::Failure;
}

// ---- recognition ------------------------------------------------------------------

int64_t ID3v2PrefixSize(TStream& Stream) {
    const int64_t saved = Stream.Position();
    uint8_t head[10];
    Stream.Seek(0);
    const int64_t n = Stream.ReadZeroFilled(head, 10);
    Stream.Seek(saved);
    if (n < 10 || !Magic(head, "ID3")) return 0;
    const int64_t size = 10 + (int64_t)DecodeSyncSafe(head + 6);
    return size > Stream.Size() ? 0 : size;
}

int AudioFormatSignatureAt(TStream& Stream, int64_t s) {
    try {
        // Whether the bytes at Pos begin with Text.
        auto at = [&](int64_t pos, const char* text) { return ReadAt(Stream, pos, 8).startsWith(text); };
        if (at(s, "RIFF")) return audioformat::Wave;
        if (at(s, "RF64")) return audioformat::RF64;
        if (at(s, "MAC")) return audioformat::Monkey;
        if (at(s, "OFR ")) return audioformat::OptimFrog;
        if (at(s, "MP+") || at(s, "MPC")) return audioformat::Musepack;
        if (at(s, "fLaC")) return audioformat::Flac;
        if (at(s, "DSD ")) return audioformat::DSF;
        if (at(s, "FRM8") && at(s + 12, "DSD ")) return audioformat::DSDIFF;
        if (at(s, "OggS")) {
            if (at(s + 29, "FLAC")) return audioformat::OggFlac;
            switch (DetectOggStreamFormat(Stream, s)) {
                case audioformat::Vorbis: return audioformat::Vorbis;
                case audioformat::Opus: return audioformat::Opus;
                case audioformat::Theora: return audioformat::Theora;
                default: break;
            }
        }
        if (at(s, "FORM")) {
            if (at(s + 8, "AIFF")) return audioformat::AIFF;
            if (at(s + 8, "AIFC")) return audioformat::AIFC;
        }
        if (at(s + 4, "ftyp")) return audioformat::MP4;
    } catch (const ETagFormat&) {}
    return audioformat::Unknown;
}

int DetectAudioFormatOfStream(TStream& Stream) {
    int code = audioformat::Unknown;
    try {
        const int64_t saved = Stream.Position();
        const int64_t s = ID3v2PrefixSize(Stream);
        Stream.Seek(saved);
        if (const int format = AudioFormatSignatureAt(Stream, s); format != audioformat::Unknown) return format;

        Stream.Seek(0);
        if (IsValidWavPackStream(Stream)) return audioformat::WavPack;
        Stream.Seek(0);
        if (IsValidMusepackStream(Stream, s)) return audioformat::Musepack;

        // Frame sync: an FF byte followed by the second byte of a common
        // MPEG audio header. At most 1025 attempts from the audio start.
        if (Stream.Seek(s) != s) return code;
        TBufferedStream buffered(Stream);
        auto next = [&](uint8_t& v) { return buffered.Read(&v, 1) == 1; };
        auto isSecond = [](uint8_t v) {
            return v == 0xF2 || v == 0xF3 || v == 0xE3 || v == 0xF9 || v == 0xFA || v == 0xFB || v == 0xFC || v == 0xFD;
        };
        uint8_t v = 0;
        bool haveFF = false;
        for (int attempt = 0; attempt < 1025; ++attempt) {
            if (!haveFF) {
                if (!next(v)) return code;
                if (v != 0xFF) continue;
            }
            haveFF = false;
            uint8_t w = 0;
            if (!next(w)) return code;
            if (isSecond(w)) return audioformat::MPEG;
            // "FF FF FB": the second FF may itself start the header.
            haveFF = w == 0xFF;
        }
    } catch (const ETagFormat&) {}
    return code;
}

int DetectAudioFormatOfFile(const std::string& FileName) {
    auto stream = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!stream) return audioformat::Unknown;
    // Recognition reads a few small fields near the start: one window, one read.
    TBufferedStream buffered(*stream);
    return DetectAudioFormatOfStream(buffered);
}

int DefaultTagKindsForExtension(const std::string& FileName) {
    const std::string ext = UpperExt(FileName);
    int bits = 0;
    TNativeFormats::ForEach([&](const auto& Row) {
        if (NamedFor(Row, ext)) bits |= Row.Info.KindBit;
    });
    // An extension no kind claims gets an APEv2 tag.
    return bits != 0 ? bits : tagkind::APEv2;
}

// ---- stripping ------------------------------------------------------------------

int StripTagsFromFile(const std::string& FileName, TTagType TagType) {
    if (!fileutil::FileExists(FileName)) return tagresult::NoData;
    try {
        if (TagType == ttAutomatic) {
            // Every removal routine checks for a read-only file on its own and
            // its result is ignored here; refuse up front so that a file that
            // cannot be changed is not reported as stripped.
            if (fileutil::IsReadOnly(FileName)) return tagresult::Failure;
            // "No tag here" answers are expected from most routines and stay
            // ignored; a removal that found a tag but could not write the
            // file without it is reported, or a file that still carries its
            // tag would be called stripped.
            // Each removal flushes the file; it reaches the disk once.
            TSyncScope syncOnce;
            // One transaction: a removal that fails takes back the ones before it.
            TSaveTransaction transaction(FileName);
            const std::string ext = UpperExt(FileName);
            int failure = tagresult::Success;
            TNativeFormats::ForEach([&](const auto& Row) {
                if (Row.StripNamedOnly && !NamedFor(Row, ext)) return;
                const int native = Row.Remove(FileName);
                if (failure == tagresult::Success && Row.RemoveFailed && Row.RemoveFailed(native))
                    failure = MapNativeResult(Row.Info.Library, native);
            });
            if (failure != tagresult::Success)
                transaction.Rollback();
            else if (!transaction.Commit())
                failure = tagresult::Failure;
            if (!syncOnce.Finish() && failure == tagresult::Success) failure = tagresult::Failure;
            return failure;
        }
        int native = tagresult::Failure;
        bool known = false;
        if (TagType == ttLyrics2) TagType = ttID3v1;
        TNativeFormats::ForEach([&](const auto& Row) {
            if (Row.Info.Kind != TagType) return;
            known = true;
            native = Row.Remove(FileName);
        });
        return known ? MapNativeResult(LibraryOf(TagType), native) : tagresult::Failure;
    } catch (const ETagFormat&) {
        return tagresult::Failure;
    }
}
