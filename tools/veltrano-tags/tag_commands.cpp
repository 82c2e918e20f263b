// read, write and strip: the unified container on the command line.
#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tags/audio_properties.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/ogg/opus_tag.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/stream.h"
#include "tags/tag_formats.h"
#include "tags/tag_error.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/asf/asf_header.h"
#include "tools/veltrano-tags/commands.h"
#include "tools/veltrano-tags/ordered_pool.h"
#include "tools/veltrano-tags/picture_options.h"
#include "tools/veltrano-tags/json.h"

namespace {

std::optional<TTagType> ParseKind(const std::string& Name) {
    if (Name == "auto") return ttAutomatic;
    if (const TTagFormat* f = FindTagFormat(Name)) return f->Kind;
    return std::nullopt;
}

// COMMENT and LYRICS name the entry without a description, as the record's
// Comment and Lyrics fields do: a player keeps its own data in described
// ones (loudness figures, gapless information), which --set and --delete
// of that name leave alone.
bool DescribedKind(const std::string& Name) {
    return text::SameText(Name, "COMMENT") || text::SameText(Name, "LYRICS");
}

// The index of the entry without a description of that name, -1 when none.
int PlainIndex(const TTags& Tags, const std::string& Name) {
    for (int i = 0; i < Tags.Count(); ++i)
        if (text::SameText(Tags.TagAt(i)->Name, Name) && Tags.TagAt(i)->Description.empty()) return i;
    return -1;
}

void SetEntry(TTags& Tags, const std::string& Name, const std::string& Value) {
    if (!DescribedKind(Name)) {
        Tags.SetText(Name, Value);
        return;
    }
    const int plain = PlainIndex(Tags, Name);
    if (plain >= 0 && Value.empty())
        Tags.Delete(plain);
    else if (plain >= 0)
        Tags.TagAt(plain)->Value = Value;
    else if (!Value.empty())
        Tags.Add(Name)->Value = Value;
}

void DeleteEntries(TTags& Tags, const std::string& Name) {
    if (!DescribedKind(Name)) {
        Tags.Clear(Name);
        return;
    }
    for (int i = PlainIndex(Tags, Name); i >= 0; i = PlainIndex(Tags, Name))
        if (!Tags.Delete(i)) break;
}

// What the tool knows of a file before it chooses the tag kinds of a save.
enum class TAudioKnown {
    Recognised,  // a tag was loaded, or a reader recognises the audio
    RawStream,   // a raw AAC (ADTS) or AC-3 stream: other taggers give it an APE tag
    Unknown,     // an image, a Matroska file, a tracker module...: no reader would find a tag written into it
};

TAudioKnown KnowAudio(const std::string& Path, const TTags& Tags) {
    if (Tags.Loaded) return TAudioKnown::Recognised;
    uint8_t head[16] = {};  // a shorter file leaves zeros, which match no signature below
    if (auto f = TFileStream::Open(Path, TFileMode::fmOpenReadShared); !f || f->Read(head, sizeof head) < 0)
        return TAudioKnown::Unknown;
    const int format = DetectAudioFormatOfFile(Path);
    // An Ogg stream of a codec the Ogg reader does not know (Speex) is not
    // taken for whatever the later, weaker checks make of its bytes.
    const bool oggKnown = format == audioformat::OggFlac || format == audioformat::Vorbis ||
                          format == audioformat::Opus || format == audioformat::Theora;
    if (std::memcmp(head, "OggS", 4) == 0 && !oggKnown) return TAudioKnown::Unknown;
    // The MPEG detection takes the first frame sync it meets; the MPEG
    // reader, which checks the frames, has the last word.
    if (format == audioformat::MPEG && Tags.ID3v2Tag().SourceFileType() == sftMPEG) return TAudioKnown::Recognised;
    if (format != audioformat::MPEG && format != audioformat::Unknown) return TAudioKnown::Recognised;
    if (std::equal(asf::HeaderGuid.begin(), asf::HeaderGuid.end(), head)) return TAudioKnown::Recognised;
    // ADTS: 12 sync bits, then the layer bits 00. AC-3 and E-AC-3: 0B 77.
    const bool adts = head[0] == 0xFF && (head[1] & 0xF6) == 0xF0, ac3 = head[0] == 0x0B && head[1] == 0x77;
    if (adts || ac3) return TAudioKnown::RawStream;
    return TAudioKnown::Unknown;
}

int BadArgs(const std::string& Message) {
    std::fprintf(stderr, "veltrano-tags: %s\n", Message.c_str());
    return 2;
}

// A path that can be opened as a regular file for reading, else an error text.
std::string CheckReadable(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return "cannot open '" + Path + "': no such file";
    if (S_ISDIR(st.st_mode)) return "cannot open '" + Path + "': is a directory";
    if (!S_ISREG(st.st_mode)) return "cannot open '" + Path + "': not a regular file";
    if (!TFileStream::Open(Path, TFileMode::fmOpenReadShared)) return "cannot open '" + Path + "': permission denied";
    return {};
}

std::string DescribeTags(const std::string& Path, int Result, TTags& Tags) {
    std::string out = "{\"file\":" + JsonString(Path) + ",\"result\":" + std::to_string(Result) + ",\"loaded\":[";
    bool first = true;
    for (const TTagFormat& f : TagFormats()) {
        if (!Tags.NativeLoaded(f.Kind)) continue;
        out += (first ? "" : ",") + JsonString(TagTypeName(f.Kind));
        first = false;
    }
    out += "],\"entries\":[";
    for (int i = 0; i < Tags.Count(); ++i) {
        const TTag* t = Tags.TagAt(i);
        out += (i ? "," : "");
        out += "{\"name\":" + JsonString(t->Name) + ",\"value\":" + JsonString(t->Value) +
               ",\"language\":" + JsonString(t->Language) + ",\"description\":" + JsonString(t->Description) + "}";
    }
    out += "],\"pictures\":[";
    for (int i = 0; i < Tags.CoverArtCount(); ++i) {
        const TCoverArt* c = Tags.CoverArtAt(i);
        out += (i ? "," : "");
        out += "{\"name\":" + JsonString(c->Name) + ",\"mime\":" + JsonString(c->MIMEType) +
               ",\"type\":" + std::to_string(c->CoverType) + ",\"description\":" + JsonString(c->Description) +
               ",\"size\":" + std::to_string(c->Data.size()) + "}";
    }
    const auto& a = Tags.SourceAudioAttributes();
    out += "],\"properties\":{\"playtime\":" + JsonNumber(a.PlayTime()) +
           ",\"bitrate\":" + std::to_string(a.BitRate()) + ",\"samplerate\":" + std::to_string(a.SamplesPerSec()) +
           ",\"channels\":" + std::to_string(a.Channels()) + ",\"bits\":" + std::to_string(a.BitsPerSample()) +
           ",\"samples\":" + std::to_string(a.SampleCount()) + "}}";
    return out;
}

}  // namespace

int CmdRead(const std::vector<std::string>& AArgs) {
    std::vector<std::string> Args = AArgs;
    int jobs = 0;
    std::string jobsError;
    if (!TakeJobsOption(Args, jobs, jobsError)) return BadArgs("read: " + jobsError);
    if (Args.empty()) return BadArgs("read: no file given");
    if (jobs == 0) jobs = DefaultJobs(Args.front());
    // Each file is read on its own (up to jobs at once); the lines come out
    // in the order the files were given.
    struct TOutcome {
        std::string Line;
        std::string Error;
    };
    int status = 0;
    RunOrdered<TOutcome>(
        Args.size(), jobs,
        [&](size_t i) {
            const std::string& path = Args[i];
            TOutcome out;
            if (std::string err = CheckReadable(path); !err.empty()) {
                out.Error = err;
                return out;
            }
            TTags tags;
            tags.OggVorbisAndOpusTag().ParsePlayTime = true;  // show the play time of every format
            tags.ParseWavPackAudioAttributes = tags.ParseMusePackAudioAttributes = tags.ParseMonkeyAudioAttributes =
                true;
            int result = tags.LoadFromFile(path);
            out.Line = DescribeTags(path, result, tags);
            return out;
        },
        [&](size_t, TOutcome&& out) {
            if (!out.Error.empty()) {
                std::fprintf(stderr, "veltrano-tags: %s\n", out.Error.c_str());
                status = 2;
            } else {
                std::printf("%s\n", out.Line.c_str());
            }
        });
    std::fflush(stdout);
    return status;
}

int CmdWrite(const std::vector<std::string>& Args) {
    if (Args.empty()) return BadArgs("write: no file given");
    const std::string path = Args[0];
    TTagType kind = ttAutomatic;
    std::vector<std::pair<std::string, std::string>> sets;
    std::vector<std::string> deletes;
    std::optional<std::string> cover;
    bool noCover = false;
    std::vector<TPictureEdit> pictureEdits;
    std::string pictureError;
    for (size_t i = 1; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= Args.size()) return std::nullopt;
            return Args[++i];
        };
        if (TakePictureOption(Args, i, pictureEdits, pictureError)) {
            if (!pictureError.empty()) return BadArgs("write: " + pictureError);
        } else if (a == "--tag") {
            auto v = value();
            if (!v) return BadArgs("write: --tag needs a kind");
            auto k = ParseKind(*v);
            if (!k) return BadArgs("write: unknown tag kind '" + *v + "'");
            kind = *k;
        } else if (a == "--set") {
            auto v = value();
            if (!v) return BadArgs("write: --set needs NAME=VALUE");
            auto eq = v->find('=');
            if (eq == std::string::npos || eq == 0) return BadArgs("write: --set needs NAME=VALUE, got '" + *v + "'");
            sets.emplace_back(v->substr(0, eq), v->substr(eq + 1));
        } else if (a == "--delete") {
            auto v = value();
            if (!v || v->empty()) return BadArgs("write: --delete needs a NAME");
            deletes.push_back(*v);
        } else if (a == "--cover") {
            auto v = value();
            if (!v) return BadArgs("write: --cover needs an image file");
            cover = *v;
        } else if (a == "--no-cover") {
            noCover = true;
        } else {
            return BadArgs("write: unknown argument '" + a + "'");
        }
    }
    if (std::string err = CheckReadable(path); !err.empty()) return BadArgs(err);
    if (cover) {
        if (std::string err = CheckReadable(*cover); !err.empty()) return BadArgs("--cover: " + err);
    }

    TTags tags;
    tags.LoadFromFile(path);
    // A file no reader recognises gets no tag unless the user names its kind.
    if (kind == ttAutomatic) {
        const TAudioKnown known = KnowAudio(path, tags);
        if (known == TAudioKnown::Unknown) {
            std::fprintf(
                stderr,
                "veltrano-tags: '%s' is not audio any reader recognises; name a tag kind with --tag to write one\n",
                path.c_str());
            return 3;
        }
        if (known == TAudioKnown::RawStream) kind = ttAPEv2;
    }
    for (const auto& name : deletes) DeleteEntries(tags, name);
    for (const auto& [name, value] : sets) {
        // Literal "\n" in a value stands for a line break (CR LF inside the container).
        std::string v;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
                v += "\r\n";
                ++i;
            } else {
                v += value[i];
            }
        }
        SetEntry(tags, name, v);
    }
    if (noCover || cover) tags.DeleteAllCoverArts();
    if (cover) {
        TCoverArt* c = tags.AddCoverArtFromFile("Cover art 1", *cover);
        if (!c) return BadArgs("--cover: cannot read '" + *cover + "'");
        c->CoverType = 3;
        c->PictureFormat = TTags::PicturePointerType(c->Data.data(), (int64_t)c->Data.size());
    }
    if (!ApplyPictureEdits(tags, pictureEdits, pictureError)) return BadArgs(pictureError);
    // A save of every kind the file calls for may write several; the library
    // writes them as one transaction, so a failure leaves the file as it was.
    int result = tags.SaveToFile(path, kind);
    std::printf("%d\n", result);
    const bool ok = result == 0 || result == 3;
    if (!ok)
        std::fprintf(stderr, "veltrano-tags: '%s' was not saved (result %d: %s); it is as it was\n", path.c_str(),
                     result, LastSaveFailure(tags).Text().c_str());
    return ok ? 0 : 1;
}

int CmdStrip(const std::vector<std::string>& Args) {
    if (Args.empty()) return BadArgs("strip: no file given");
    const std::string path = Args[0];
    TTagType kind = ttAutomatic;
    for (size_t i = 1; i < Args.size(); ++i) {
        if (Args[i] == "--tag" && i + 1 < Args.size()) {
            auto k = ParseKind(Args[++i]);
            if (!k) return BadArgs("strip: unknown tag kind '" + Args[i] + "'");
            kind = *k;
        } else {
            return BadArgs("strip: unknown argument '" + Args[i] + "'");
        }
    }
    if (std::string err = CheckReadable(path); !err.empty()) return BadArgs(err);
    int result = StripTagsFromFile(path, kind);
    std::printf("%d\n", result);
    return result == 0 || result == 3 ? 0 : 1;
}

// The tag kinds the library reads and writes, one CLI name a line; with
// --json every kind with whether it is built yet.
int CmdFormats(const std::vector<std::string>& Args) {
    bool json = false;
    for (const auto& a : Args) {
        if (a != "--json") return BadArgs("formats: unknown argument '" + a + "'");
        json = true;
    }
    if (!json) {
        for (const TTagFormat& f : TagFormats())
            if (TagFormatBuilt(f.Kind)) std::printf("%s\n", f.CliName);
        return 0;
    }
    std::string out = "[";
    bool first = true;
    for (const TTagFormat& f : TagFormats()) {
        out += std::string(first ? "" : ",") + "{\"kind\":" + JsonString(f.CliName) +
               ",\"name\":" + JsonString(TagTypeName(f.Kind)) +
               ",\"built\":" + (TagFormatBuilt(f.Kind) ? "true" : "false") + "}";
        first = false;
    }
    std::printf("%s]\n", out.c_str());
    return 0;
}
