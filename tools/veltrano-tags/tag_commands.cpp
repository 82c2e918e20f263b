// read, write and strip: the unified container on the command line.
#include <cstdio>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tags/audio_properties.h"
#include "tags/file_edit.h"
#include "tags/file_util.h"
#include "tags/stream.h"
#include "tags/tag_formats.h"
#include "tags/tags.h"
#include "tools/veltrano-tags/commands.h"
#include "tools/veltrano-tags/json.h"

namespace {

std::optional<TTagType> ParseKind(const std::string& Name) {
    if (Name == "auto") return ttAutomatic;
    if (const TTagFormat* f = FindTagFormat(Name)) return f->Kind;
    return std::nullopt;
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
    out += "],\"properties\":{\"playtime\":" + JsonNumber(a.PlayTime()) + ",\"bitrate\":" + std::to_string(a.BitRate()) +
           ",\"samplerate\":" + std::to_string(a.SamplesPerSec()) + ",\"channels\":" + std::to_string(a.Channels()) +
           ",\"bits\":" + std::to_string(a.BitsPerSample()) + ",\"samples\":" + std::to_string(a.SampleCount()) + "}}";
    return out;
}

}  // namespace

int CmdRead(const std::vector<std::string>& Args) {
    if (Args.empty()) return BadArgs("read: no file given");
    int status = 0;
    for (const auto& path : Args) {
        if (std::string err = CheckReadable(path); !err.empty()) {
            std::fprintf(stderr, "veltrano-tags: %s\n", err.c_str());
            status = 2;
            continue;
        }
        TTags tags;
        int result = tags.LoadFromFile(path);
        std::printf("%s\n", DescribeTags(path, result, tags).c_str());
    }
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
    for (size_t i = 1; i < Args.size(); ++i) {
        const std::string& a = Args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= Args.size()) return std::nullopt;
            return Args[++i];
        };
        if (a == "--tag") {
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
    for (const auto& name : deletes) tags.Clear(name);
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
        tags.SetText(name, v);
    }
    if (noCover || cover) tags.DeleteAllCoverArts();
    if (cover) {
        TCoverArt* c = tags.AddCoverArtFromFile("Cover art 1", *cover);
        if (!c) return BadArgs("--cover: cannot read '" + *cover + "'");
        c->CoverType = 3;
        c->PictureFormat = TTags::PicturePointerType(c->Data.data(), (int64_t)c->Data.size());
    }
    // A save of every kind the file calls for may write several; when one of
    // them fails, the kinds already written are taken back, so that the file
    // is either saved whole or left as it was. One named kind is written by
    // one writer, which keeps the old bytes on failure by itself.
    std::vector<uint8_t> before;
    const bool snapshot = kind == ttAutomatic;
    if (snapshot && !fileutil::ReadWholeFile(path, before)) return BadArgs("cannot read '" + path + "'");
    int result = tags.SaveToFile(path, kind);
    std::printf("%d\n", result);
    const bool ok = result == 0 || result == 3;
    if (!ok && snapshot) {
        std::vector<uint8_t> now;
        if (!fileutil::ReadWholeFile(path, now) || now != before) {
            TFileEdit back;
            back.OldLen = (int64_t)now.size();
            back.Bytes = std::move(before);
            if (!fileutil::FileExists(path) || (int64_t)now.size() != *fileutil::FileSize(path) ||
                ApplyEditToFile(path, back) != TEditResult::Success)
                std::fprintf(stderr, "veltrano-tags: '%s' was written in part and could not be restored\n",
                             path.c_str());
        }
    }
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
               ",\"name\":" + JsonString(TagTypeName(f.Kind)) + ",\"built\":" + (TagFormatBuilt(f.Kind) ? "true" : "false") + "}";
        first = false;
    }
    std::printf("%s]\n", out.c_str());
    return 0;
}
