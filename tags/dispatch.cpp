// Which native readers run on a file, in which order their contents are
// merged, which native tags a save writes, audio-format recognition, the
// tag kinds an extension calls for, and stripping every tag from a file.
#include <cstring>

#include "tags/audio_properties.h"
#include "tags/byte_io.h"
#include "tags/file_util.h"
#include "tags/flac_ogg/flac_tag.h"
#include "tags/flac_ogg/opus_tag.h"
#include "tags/id3/apev2_tag.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/wma_wav/wav_tag.h"
#include "tags/wma_wav/wma_tag.h"

namespace {

// Runs one native reader; a failure inside it leaves that object unloaded
// and never stops the other readers.
template <typename TNative, typename F>
void ReadScope(TNative& Native, F&& Read) {
    try {
        Read();
    } catch (...) {
        try {
            Native.Clear();
        } catch (...) {
        }
    }
}

bool Magic(const uint8_t* Bytes, const char* Text) { return std::memcmp(Bytes, Text, std::strlen(Text)) == 0; }

std::string UpperExt(const std::string& FileName) { return text::UpperAscii(fileutil::ExtractFileExt(FileName)); }

TNativeLibrary LibraryOf(TTagType Kind) {
    switch (Kind) {
        case ttAPEv2: return TNativeLibrary::APEv2;
        case ttFlac: return TNativeLibrary::Flac;
        case ttID3v1: case ttLyrics2: return TNativeLibrary::ID3v1;
        case ttID3v2: return TNativeLibrary::ID3v2;
        case ttMP4: return TNativeLibrary::MP4;
        case ttOpusVorbis: return TNativeLibrary::Ogg;
        case ttWAV: return TNativeLibrary::WAV;
        default: return TNativeLibrary::WMA;
    }
}

constexpr TTagType SaveOrder[] = {ttAPEv2, ttFlac, ttID3v1, ttID3v2, ttMP4, ttOpusVorbis, ttWAV, ttWMA};

int KindBit(TTagType Kind) {
    switch (Kind) {
        case ttAPEv2: return tagkind::APEv2;
        case ttFlac: return tagkind::Flac;
        case ttID3v1: return tagkind::ID3v1;
        case ttID3v2: return tagkind::ID3v2;
        case ttMP4: return tagkind::MP4;
        case ttOpusVorbis: return tagkind::Ogg;
        case ttWAV: return tagkind::WAV;
        case ttWMA: return tagkind::WMA;
        default: return 0;
    }
}

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

}  // namespace

// ---- loading --------------------------------------------------------------------

void TTags::CopyOptionsToNatives() {
    FID3v2Tag->ParseAudioAttributes = ParseAudioAttributes;
    FID3v2Tag->ParseCoverArts = ParseCoverArts;
}

int TTags::LoadFromFile(const std::string& Name) {
    Clear();
    Loaded = false;
    if (!fileutil::FileExists(Name)) return tagresult::FileNotFound;
    const std::string ext = UpperExt(Name);

    ReadScope(*FAPEv2Tag, [&] { FAPEv2Tag->LoadFromFile(Name); });
    ReadScope(*FFlacTag, [&] { FFlacTag->LoadFromFile(Name); });
    ReadScope(*FID3v1Tag, [&] { FID3v1Tag->LoadFromFile(Name); });
    ReadScope(*FID3v2Tag, [&] {
        CopyOptionsToNatives();
        if (FID3v2Tag->LoadFromFile(Name, true) == 0) {
            FID3v2Tag->RemoveUnsynchronisationOnAllFrames();
            FID3v2Tag->DeCompressAllFrames();
        }
    });
    ReadScope(*FMP4Tag, [&] { FMP4Tag->LoadFromFile(Name); });
    ReadScope(*FOggTag, [&] { FOggTag->LoadFromFile(Name); });
    ReadScope(*FWAVTag, [&] { FWAVTag->LoadFromFile(Name); });
    if (!FID3v2Tag->Loaded && !FWAVTag->Loaded && DetectAudioFormatOfFile(Name) == audioformat::Unknown)
        ReadScope(*FWMATag, [&] { FWMATag->LoadFromFile(Name); });

    const bool wv = ext == ".WV" && ParseWavPackAudioAttributes;
    const bool mpc = ext == ".MPC" && ParseMusePackAudioAttributes;
    const bool ape = ext == ".APE" && ParseMonkeyAudioAttributes;
    if (wv || mpc || ape) {
        if (auto stream = TFileStream::Open(Name, TFileMode::fmOpenReadShared)) {
            try {
                const int64_t apeSize = FAPEv2Tag->Loaded ? FAPEv2Tag->Size() : 0;
                const int64_t id3v2Size = FID3v2Tag->Loaded ? FID3v2Tag->Size() : 0;
                FAudio->LoadHeaderReaders(*stream, wv, mpc, ape, apeSize, id3v2Size,
                                          apeSize + (FID3v1Tag->Loaded ? 128 : 0));
            } catch (...) {
                FAudio->ClearReaders();
            }
        }
    }

    FileName = Name;
    Loaded = FAPEv2Tag->Loaded || FFlacTag->Loaded || FID3v1Tag->Loaded || FID3v2Tag->Loaded ||
             FMP4Tag->Loaded || FOggTag->Loaded || FWAVTag->Loaded || FWMATag->Loaded;
    LoadTags();
    return tagresult::Success;
}

int TTags::LoadFromStream(TStream& Stream, bool Buffered) {
    Clear();
    Loaded = false;
    if (Stream.Size() <= 0) return tagresult::FileNotFound;

    auto atStart = [&] { return Stream.Seek(0) == 0; };
    if (atStart()) ReadScope(*FAPEv2Tag, [&] { FAPEv2Tag->LoadFromStream(Stream); });
    if (atStart()) ReadScope(*FFlacTag, [&] { FFlacTag->LoadFromStream(Stream, Buffered); });
    if (atStart()) ReadScope(*FID3v1Tag, [&] { FID3v1Tag->LoadFromStream(Stream); });
    if (atStart())
        ReadScope(*FID3v2Tag, [&] {
            if (FID3v2Tag->LoadFromStream(Stream, Buffered) == 0) {
                FID3v2Tag->RemoveUnsynchronisationOnAllFrames();
                FID3v2Tag->DeCompressAllFrames();
            }
        });
    if (atStart()) ReadScope(*FMP4Tag, [&] { FMP4Tag->LoadFromStream(Stream, Buffered); });
    if (atStart()) ReadScope(*FOggTag, [&] { FOggTag->LoadFromStream(Stream); });
    if (atStart()) ReadScope(*FWAVTag, [&] { FWAVTag->LoadFromStream(Stream); });

    if ((ParseWavPackAudioAttributes || ParseMusePackAudioAttributes || ParseMonkeyAudioAttributes) && atStart()) {
        try {
            const int64_t apeSize = FAPEv2Tag->Loaded ? FAPEv2Tag->Size() : 0;
            const int64_t id3v2Size = FID3v2Tag->Loaded ? FID3v2Tag->Size() : 0;
            FAudio->LoadHeaderReaders(Stream, ParseWavPackAudioAttributes, ParseMusePackAudioAttributes,
                                      ParseMonkeyAudioAttributes, apeSize, id3v2Size,
                                      apeSize + (FID3v1Tag->Loaded ? 128 : 0));
        } catch (...) {
            FAudio->ClearReaders();
        }
    }

    FileName.clear();
    Loaded = FAPEv2Tag->Loaded || FFlacTag->Loaded || FID3v1Tag->Loaded || FID3v2Tag->Loaded ||
             FMP4Tag->Loaded || FOggTag->Loaded || FWAVTag->Loaded;
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
        switch (TagLoadPriority[i]) {
            case ttID3v1: if (FID3v1Tag->Loaded && !OnlyParseCoverArts) LoadID3v1Tags(); break;
            case ttWAV: if (FWAVTag->Loaded && !OnlyParseCoverArts) LoadWAVTags(); break;
            case ttAPEv2: if (FAPEv2Tag->Loaded) LoadAPEv2Tags(); break;
            case ttOpusVorbis: if (FOggTag->Loaded) LoadOggVorbisAndOpusTags(); break;
            case ttWMA: if (FWMATag->Loaded) LoadWMATags(); break;
            case ttMP4: if (FMP4Tag->Loaded) LoadMP4Tags(); break;
            case ttID3v2: if (FID3v2Tag->Loaded) LoadID3v2Tags(); break;
            case ttFlac: if (FFlacTag->Loaded) LoadFlacTags(); break;
            default: break;
        }
    }
}

// ---- saving ---------------------------------------------------------------------

int TTags::SaveKind(TTagType Kind, const std::string& Name, bool Buffered, TStream* Stream) {
    int native = tagresult::Failure;
    try {
        if (Stream) Stream->Seek(0);
        switch (Kind) {
            case ttAPEv2: native = SaveAPEv2Tag(Name, Stream); break;
            case ttFlac: native = SaveFlacTag(Name, Buffered, Stream); break;
            case ttID3v1: case ttLyrics2: native = SaveID3v1Tag(Name, Stream); break;
            case ttID3v2:
                native = !Stream && FileName == Name && !FID3v2Tag->Loaded && HoldsID3v2Tag(Name)
                             ? id3v2result::UnsupportedVersion
                             : SaveID3v2Tag(Name, Buffered, Stream);
                // Every entry and picture of a tag loaded from this file was
                // deleted: the writer finds nothing to write and would leave
                // the old tag in place, reporting success. The tag goes.
                if (native == id3v2result::NoFrames && !Stream && FileName == Name && FID3v2Tag->Loaded)
                    native = RemoveID3v2TagFromFile(Name, false);
                break;
            case ttMP4: native = SaveMP4Tag(Name, Buffered, Stream); break;
            case ttOpusVorbis: native = SaveOggVorbisAndOpusTag(Name, Stream); break;
            case ttWAV: native = SaveWAVTag(Name, Stream); break;
            case ttWMA: native = Stream ? tagresult::WMAToStream : SaveWMATag(Name); break;
            default: return tagresult::Failure;
        }
    } catch (...) {
        native = tagresult::Failure;
    }
    FLastSaveSteps.push_back({Kind, native});
    if (Kind == ttWMA && Stream) return tagresult::WMAToStream;
    return MapNativeResult(LibraryOf(Kind), native);
}

int TTags::SaveToFile(const std::string& Name, TTagType TagType) {
    FLastSaveSteps.clear();
    const auto modTime = fileutil::GetModTime(Name);
    int result = tagresult::Failure;
    bool performed = false;
    auto save = [&](TTagType kind) {
        result = SaveKind(kind, Name, true, nullptr);
        performed = true;
        return result;
    };

    if (TagType == ttAutomatic) {
        bool counted = false;
        // Stage 1: every native tag that was loaded from this same file.
        if (Name == FileName) {
            for (TTagType kind : SaveOrder)
                if (NativeLoaded(kind) && save(kind) == 0 && kind != ttID3v1) counted = true;
        }
        // Stage 2: the principal tag of the recognised audio format.
        if (!counted) {
            const int format = DetectAudioFormatOfFile(Name);
            switch (format) {
                case audioformat::Monkey: case audioformat::OptimFrog: case audioformat::Musepack:
                case audioformat::WavPack:
                    counted = save(ttAPEv2) == 0;
                    break;
                case audioformat::Flac: case audioformat::OggFlac:
                    counted = save(ttFlac) == 0;
                    break;
                case audioformat::MPEG: case audioformat::Wave: case audioformat::RF64: case audioformat::AIFF:
                case audioformat::AIFC: case audioformat::DSDIFF: case audioformat::DSF:
                    FID3v2Tag->DeleteFrames("SEFC");
                    FID3v2Tag->DeleteFrames("SESC");
                    FID3v2Tag->DeleteFrames("TLEN");
                    counted = save(ttID3v2) == 0;
                    if (format == audioformat::Wave || format == audioformat::RF64) counted = save(ttWAV) == 0 || counted;
                    break;
                case audioformat::MP4:
                    counted = save(ttMP4) == 0;
                    break;
                case audioformat::Opus: case audioformat::Vorbis: case audioformat::Theora:
                    counted = save(ttOpusVorbis) == 0;
                    break;
                default:
                    break;
            }
        }
        // Stage 3: the kinds the file's extension calls for.
        if (!counted) {
            const int bits = DefaultTagKindsForExtension(Name);
            for (TTagType kind : SaveOrder)
                if (bits & KindBit(kind)) save(kind);
        }
    } else {
        switch (TagType) {
            case ttAPEv2: case ttFlac: case ttID3v1: case ttLyrics2: case ttID3v2: case ttMP4:
            case ttOpusVorbis: case ttWAV: case ttWMA:
                save(TagType == ttLyrics2 ? ttID3v1 : TagType);
                break;
            default:
                break;
        }
    }

    if (PreserveFileDateTime && modTime) fileutil::SetModTime(Name, *modTime);
    if (!performed) return tagresult::Failure;
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
                if (steps[k].Kind == steps[i].Kind && (steps[k].NativeResult == 0 ||
                    MapNativeResult(LibraryOf(steps[k].Kind), steps[k].NativeResult) == tagresult::NothingToWrite))
                    mendedLater = true;
            if (!mendedLater) return code;
        }
    }
    return result;
}

int TTags::SaveToStream(TStream& Stream, bool Buffered, TTagType TagType) {
    FLastSaveSteps.clear();
    if (TagType == ttAutomatic) {
        switch (DetectAudioFormatOfStream(Stream)) {
            case audioformat::Monkey: case audioformat::OptimFrog: case audioformat::Musepack:
            case audioformat::WavPack:
                return SaveKind(ttAPEv2, std::string(), Buffered, &Stream);
            case audioformat::Flac: case audioformat::OggFlac:
                return SaveKind(ttFlac, std::string(), Buffered, &Stream);
            case audioformat::MPEG: case audioformat::AIFF: case audioformat::AIFC: case audioformat::DSDIFF:
            case audioformat::DSF:
                return SaveKind(ttID3v2, std::string(), Buffered, &Stream);
            case audioformat::Wave: case audioformat::RF64: {
                SaveKind(ttID3v2, std::string(), Buffered, &Stream);
                return SaveKind(ttWAV, std::string(), Buffered, &Stream);
            }
            case audioformat::MP4:
                return SaveKind(ttMP4, std::string(), Buffered, &Stream);
            case audioformat::Opus: case audioformat::Vorbis:
                return SaveKind(ttOpusVorbis, std::string(), Buffered, &Stream);
            default:
                return tagresult::Failure;
        }
    }
    switch (TagType) {
        case ttWMA:
            return tagresult::WMAToStream;
        case ttAPEv2: case ttFlac: case ttID3v1: case ttLyrics2: case ttID3v2: case ttMP4: case ttOpusVorbis:
        case ttWAV:
            return SaveKind(TagType == ttLyrics2 ? ttID3v1 : TagType, std::string(), Buffered, &Stream);
        default:
            return tagresult::Failure;
    }
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

int DetectAudioFormatOfStream(TStream& Stream) {
    int code = audioformat::Unknown;
    try {
        const int64_t saved = Stream.Position();
        const int64_t s = ID3v2PrefixSize(Stream);
        Stream.Seek(saved);
        uint8_t b[8];
        auto readAt = [&](int64_t pos, int64_t count) {
            std::memset(b, 0, sizeof b);
            if (Stream.Seek(pos) != pos) return false;
            return Stream.Read(b, count) == count;
        };

        if (readAt(s, 4)) {
            if (Magic(b, "RIFF")) return audioformat::Wave;
            if (Magic(b, "RF64")) return audioformat::RF64;
            if (Magic(b, "MAC")) return audioformat::Monkey;
            if (Magic(b, "OFR ")) return audioformat::OptimFrog;
            if (Magic(b, "MP+") || Magic(b, "MPC")) return audioformat::Musepack;
            if (Magic(b, "fLaC")) return audioformat::Flac;
            if (Magic(b, "DSD ")) return audioformat::DSF;
            if (Magic(b, "FRM8") && readAt(s + 12, 4) && Magic(b, "DSD ")) return audioformat::DSDIFF;
        }
        if (readAt(s, 4) && Magic(b, "OggS")) {
            if (readAt(s + 29, 4) && Magic(b, "FLAC")) return audioformat::OggFlac;
            switch (DetectOggStreamFormat(Stream, s)) {
                case audioformat::Vorbis: return audioformat::Vorbis;
                case audioformat::Opus: return audioformat::Opus;
                case audioformat::Theora: return audioformat::Theora;
                default: break;
            }
        }
        if (readAt(s, 4) && Magic(b, "FORM") && readAt(s + 8, 4)) {
            if (Magic(b, "AIFF")) return audioformat::AIFF;
            if (Magic(b, "AIFC")) return audioformat::AIFC;
        }
        if (readAt(s, 8) && Magic(b + 4, "ftyp")) return audioformat::MP4;

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
    } catch (...) {
    }
    return code;
}

int DetectAudioFormatOfFile(const std::string& FileName) {
    auto stream = TFileStream::Open(FileName, TFileMode::fmOpenReadShared);
    if (!stream) return audioformat::Unknown;
    return DetectAudioFormatOfStream(*stream);
}

int DefaultTagKindsForExtension(const std::string& FileName) {
    struct TRow { const char* Exts[11]; int Bits; };
    static constexpr TRow Table[] = {
        {{".WAV", ".WAVE", ".RF64", ".BWF"}, tagkind::WAV | tagkind::ID3v2},
        {{".APE", ".MPC", ".WV", ".OFR"}, tagkind::APEv2},
        {{".MP4", ".M4A", ".M4B", ".ALAC"}, tagkind::MP4},
        {{".WMA", ".WMV", ".ASF"}, tagkind::WMA},
        {{".FLAC", ".FLA", ".FLC", ".OGA"}, tagkind::Flac},
        {{".OGG", ".OPUS", ".OGV"}, tagkind::Ogg},
        {{".MPG", ".MP1", ".MP2", ".MP3", ".MPA", ".AIFF", ".AIF", ".AIFC", ".AFC", ".DSF", ".DFF"}, tagkind::ID3v2},
    };
    const std::string ext = UpperExt(FileName);
    for (const auto& row : Table)
        for (const char* e : row.Exts)
            if (e && ext == e) return row.Bits;
    return tagkind::APEv2;
}

// ---- stripping ------------------------------------------------------------------

namespace {

int StripWMA(const std::string& FileName) {
    TWMATag wma;
    wma.LoadFromFile(FileName);
    wma.Clear();
    return wma.SaveToFile(FileName);
}

}  // namespace

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
            const int ape = RemoveAPEv2TagFromFile(FileName, false);
            RemoveFlacTagFromFile(FileName);
            const int id3v1 = RemoveID3v1TagFromFile(FileName, false);
            const int id3v2 = RemoveID3v2TagFromFile(FileName, false);
            RemoveMP4TagFromFile(FileName);
            RemoveOggTagFromFile(FileName);
            RemoveWAVTagFromFile(FileName);
            const std::string ext = UpperExt(FileName);
            if (ext == ".WMA" || ext == ".WMV" || ext == ".ASF") StripWMA(FileName);
            // An APE tag that is still there (damaged, or the file could not
            // be rewritten) is a failure; "none found" is not.
            if (ape != apev2result::Success && ape != apev2result::NoTag)
                return MapNativeResult(TNativeLibrary::APEv2, ape);
            if (id3v1 == id3v1::CannotOpen || id3v1 == id3v1::WriteError || id3v1 == id3v1::ReadOnly)
                return MapNativeResult(TNativeLibrary::ID3v1, id3v1);
            if (id3v2 == id3v2result::FileOpenFailed || id3v2 == id3v2result::WriteFailed ||
                id3v2 == id3v2result::ReadOnly)
                return MapNativeResult(TNativeLibrary::ID3v2, id3v2);
            return tagresult::Success;
        }
        switch (TagType) {
            case ttAPEv2: return MapNativeResult(TNativeLibrary::APEv2, RemoveAPEv2TagFromFile(FileName, false));
            case ttFlac: return MapNativeResult(TNativeLibrary::Flac, RemoveFlacTagFromFile(FileName));
            case ttID3v1: case ttLyrics2:
                return MapNativeResult(TNativeLibrary::ID3v1, RemoveID3v1TagFromFile(FileName, false));
            case ttID3v2: return MapNativeResult(TNativeLibrary::ID3v2, RemoveID3v2TagFromFile(FileName, false));
            case ttMP4: return MapNativeResult(TNativeLibrary::MP4, RemoveMP4TagFromFile(FileName));
            case ttOpusVorbis: return MapNativeResult(TNativeLibrary::Ogg, RemoveOggTagFromFile(FileName));
            case ttWAV: return MapNativeResult(TNativeLibrary::WAV, RemoveWAVTagFromFile(FileName));
            case ttWMA: return MapNativeResult(TNativeLibrary::WMA, StripWMA(FileName));
            default: return tagresult::Failure;
        }
    } catch (...) {
        return tagresult::Failure;
    }
}
