// Translation between the APE tag and the container's unified entries and
// pictures.
//
// Keys are unique: the entries of one name share one text item, their values
// separated by 0x00. "TRACK" holds the track number with its total ("4/10"),
// "DISCNUMBER" (or "Disc", as other writers key it) the disc number with its total. Pictures are binary items
// keyed by their picture type ("Cover Art (Front)", "Cover Art (Back)", ...),
// each holding a description, 0x00 and the picture file.
#include <algorithm>
#include <string>
#include <vector>

#include "tags/ape/apev2_module.h"
#include "tags/ape/apev2_tag.h"
#include "tags/mapping_common.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/field_names.h"

namespace {

// Names the track and disc items stand for; they are written through
// WriteNumberItem, never as items of their own.
constexpr const char* NumberNames[] = {
    fieldname::TrackNumber, fieldname::TotalTracks, fieldname::DiscNumber, fieldname::TotalDiscs, "TRACK", "DISC"};
// Keys whose value is a list of name / value lines, kept as they are.
constexpr const char* ListKeys[] = {"TIPL", "TMCL"};

template <size_t N>
bool OneOf(const std::string& Name, const char* const (&Names)[N]) {
    for (const char* n : Names)
        if (text::SameText(Name, n)) return true;
    return false;
}

// Which number an item key holds: 1 the track, 0 the disc, -1 neither.
int NumberKeyKind(const std::string& Key) {
    return mapping::IsNumberName(Key, true) ? 1 : mapping::IsNumberName(Key, false) ? 0 : -1;
}

// Keys other writers use where the container has a name of its own: the
// item loads under the container's name, keeps its key when saved, and a new
// item of that name gets the key other readers look for.
struct TKeyAlias {
    const char* Key;
    const char* Name;
};
constexpr TKeyAlias KeyAliases[] = {
    {"Album Artist", fieldname::AlbumArtist},
};

// The container's name for an item key.
std::string UnifiedName(const std::string& Key) {
    for (const auto& a : KeyAliases)
        if (text::SameText(Key, a.Key)) return a.Name;
    return Key;
}

// The key a new item of a container name gets.
std::string NewKey(const std::string& Name) {
    for (const auto& a : KeyAliases)
        if (text::SameText(Name, a.Name)) return a.Key;
    return Name;
}

// What other readers accept as a key: 2 to 255 printable ASCII characters,
// and none of the words that would make the tag look like another one.
bool ValidKey(const std::string& Key) {
    if (Key.size() < 2 || Key.size() > 255) return false;
    for (unsigned char c : Key)
        if (c < 0x20 || c > 0x7E) return false;
    return !(text::SameText(Key, "ID3") || text::SameText(Key, "TAG") || text::SameText(Key, "OggS") ||
             text::SameText(Key, "MP+"));
}

const char* MIMEOf(TAPEv2PictureFormat F) {
    switch (F) {
        case pfJPEG: return "image/jpeg";
        case pfPNG: return "image/png";
        case pfBMP: return "image/bmp";
        case pfGIF: return "image/gif";
        default: return "";
    }
}

TTagPictureFormat PictureFormatOf(TAPEv2PictureFormat F) {
    switch (F) {
        case pfJPEG: return tpfJPEG;
        case pfPNG: return tpfPNG;
        case pfBMP: return tpfBMP;
        case pfGIF: return tpfGIF;
        default: return tpfUnknown;
    }
}

// The binary value of a picture item.
std::vector<uint8_t> CoverValue(const TCoverArt& C) {
    std::vector<uint8_t> v(C.Description.begin(), C.Description.end());
    v.push_back(0);
    v.insert(v.end(), C.Data.begin(), C.Data.end());
    return v;
}

// Sets the text of the track ("TRACK") or disc ("DISCNUMBER") item; an
// existing item of the same meaning keeps its key and, when its text is
// already right, its bytes.
void WriteNumberItem(TAPEv2Tag& T, const std::string& Text, bool Track) {
    int keep = -1;
    for (int i = T.Count() - 1; i >= 0; --i) {
        const TAPEv2Frame& f = *T.Frame(i);
        if (f.Format != ffText || !mapping::IsNumberName(f.Name, Track)) continue;
        if (keep >= 0) T.DeleteFrame(keep);
        keep = i;
    }
    if (Text.empty()) {
        if (keep >= 0) T.DeleteFrame(keep);
        return;
    }
    TAPEv2Frame* f = keep >= 0 ? T.Frame(keep) : T.AddFrame(Track ? "TRACK" : fieldname::DiscNumber);
    if (f->GetText() != Text) f->SetText(Text);
}

}  // namespace

namespace apev2module {

bool MergePictures(TTags& Tags, TAPEv2Tag& From) {
    bool added = false;
    for (int i = 0; i < From.Count(); ++i) {
        TAPEv2CoverArtInfo info;
        if (!From.GetCoverArtFromFrame(i, info)) continue;
        const std::string& key = From.Frame(i)->Name;
        TCoverArt* c = Tags.AddCoverArt(key);
        c->MIMEType = MIMEOf(info.Format);
        c->Data = std::move(info.Data);
        c->PictureFormat = PictureFormatOf(info.Format);
        c->Description = info.Description;
        const int type = APEv2CoverTypeOfKey(key);
        c->CoverType = type >= 0 ? (uint32_t)type : PictureTypeFromName(key);
        added = true;
    }
    return added;
}

void Merge(TTags& Tags) {
    TAPEv2Tag& T = Tags.APEv2Tag();
    if (!Tags.OnlyParseCoverArts) {
        // A later format replaces, name by name, what an earlier one supplied.
        for (const auto& f : T.Frames) {
            if (f->Format != ffText) continue;
            if (const int kind = NumberKeyKind(f->Name); kind >= 0) {
                Tags.RemoveAll(kind ? fieldname::TrackNumber : fieldname::DiscNumber);
                Tags.RemoveAll(kind ? "TRACK" : "DISC");
                if (f->GetText().find('/') != std::string::npos)
                    Tags.RemoveAll(kind ? fieldname::TotalTracks : fieldname::TotalDiscs);
            } else {
                Tags.RemoveAll(UnifiedName(f->Name));
            }
        }
        for (const auto& f : T.Frames) {
            if (f->Format != ffText) continue;
            if (const int kind = NumberKeyKind(f->Name); kind >= 0) {
                const mapping::TNumberTotal n = mapping::SplitNumberTotal(f->GetText());
                if (!n.Number.empty())
                    Tags.Add(kind ? fieldname::TrackNumber : fieldname::DiscNumber)->Value = n.Number;
                if (!n.Total.empty()) Tags.Add(kind ? fieldname::TotalTracks : fieldname::TotalDiscs)->Value = n.Total;
            } else if (OneOf(f->Name, ListKeys)) {
                // Already the container's own list form: name CR LF value CR LF.
                const std::string v(f->Value.begin(), f->Value.end());
                if (!v.empty()) Tags.Add(f->Name)->Value = text::Utf8OrAnsi(v);
            } else {
                const std::string name = UnifiedName(f->Name);
                for (const std::string& v : f->GetValues())
                    if (!v.empty()) Tags.Add(name)->Value = v;
            }
        }
    }
    if (Tags.ParseCoverArts && T.CoverArtCount() > 0) {
        Tags.DeleteAllCoverArts();
        MergePictures(Tags, T);
    }
    Tags.Loaded = true;
}

void Prepare(TTags& Tags) {
    TAPEv2Tag& T = Tags.APEv2Tag();
    T.UpperCaseFieldNamesToWrite = Tags.UpperCaseFieldNamesToWrite;

    // Entries grouped by name (ignoring case), in order of first appearance.
    struct TGroup {
        std::string Name;
        std::vector<std::string> Values;
    };
    std::vector<TGroup> groups;
    for (int i = 0; i < Tags.Count(); ++i) {
        const TTag& e = *Tags.TagAt(i);
        if (e.Value.rfind("BINARY", 0) == 0 || OneOf(e.Name, NumberNames) || !ValidKey(e.Name)) continue;
        TGroup* g = nullptr;
        for (auto& x : groups)
            if (text::SameText(x.Name, e.Name)) g = &x;
        if (!g) g = &groups.emplace_back(TGroup{e.Name, {}});
        // The same value twice is one value: an entry another tag supplied
        // beside the one read from this tag must not double it on every save.
        if (!e.Value.empty() && std::find(g->Values.begin(), g->Values.end(), e.Value) == g->Values.end())
            g->Values.push_back(e.Value);
    }

    for (const TGroup& g : groups) {
        // The first text item of the key takes the values, in its place and
        // with its spelling; further text items of the key go.
        int keep = -1;
        for (int i = 0; i < T.Count(); ++i) {
            const TAPEv2Frame& f = *T.Frame(i);
            if (f.Format != ffText || !text::SameText(UnifiedName(f.Name), UnifiedName(g.Name))) continue;
            if (keep < 0) {
                keep = i;
            } else {
                T.DeleteFrame(i--);
            }
        }
        if (g.Values.empty()) {
            if (keep >= 0) T.DeleteFrame(keep);
            continue;
        }
        // A binary item of the same key is not replaced by text. An empty
        // item is never written, so it does not hold the key.
        if (keep < 0) {
            const int other = T.FrameExists(NewKey(g.Name));
            if (other >= 0 && !T.Frame(other)->Value.empty()) continue;
            if (other >= 0) T.DeleteFrame(other);
        }
        TAPEv2Frame* f = keep >= 0 ? T.Frame(keep) : T.AddFrame(NewKey(g.Name));
        if (OneOf(g.Name, ListKeys)) {
            const std::string v = mapping::JoinLines(g.Values);
            if (std::string(f->Value.begin(), f->Value.end()) != v) f->SetText(v);
        } else if (f->GetValues() != g.Values) {
            f->SetValues(g.Values);
        }
    }

    WriteNumberItem(T, mapping::JoinNumberTotal(mapping::NumberAndTotal(Tags, true)), true);
    WriteNumberItem(T, mapping::JoinNumberTotal(mapping::NumberAndTotal(Tags, false)), false);

    // Pictures: one binary item each, keyed by its type. A picture loaded from
    // this tag keeps its key; a second picture of one type gets a numbered key.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> covers;
    auto taken = [&](const std::string& Key) {
        for (const auto& c : covers)
            if (text::SameText(c.first, Key)) return true;
        return false;
    };
    for (int i = 0; i < Tags.CoverArtCount(); ++i) {
        const TCoverArt& c = *Tags.CoverArtAt(i);
        const uint32_t type = c.CoverType < (uint32_t)PictureTypeCount ? c.CoverType : 0;
        std::string key = APEv2CoverTypeOfKey(c.Name) == (int)type ? c.Name : APEv2CoverKey(type);
        for (int n = 2; taken(key); ++n) key = APEv2CoverKey(type) + " " + std::to_string(n);
        covers.emplace_back(key, CoverValue(c));
    }
    std::vector<std::pair<std::string, std::vector<uint8_t>>> old;
    for (const auto& f : T.Frames)
        if (f->IsCoverArt()) old.emplace_back(f->Name, f->Value);
    if (old != covers) {
        T.DeleteAllCoverArts();
        for (auto& c : covers) {
            TAPEv2Frame* f = T.AddBinaryFrame(c.first, c.second.data(), c.second.size());
            f->Name = c.first;  // picture keys keep their usual spelling
        }
    }
}

int Save(TTags& Tags, const std::string& FileName, bool /*Buffered*/, TStream* Stream) {
    Prepare(Tags);
    if (Stream) {
        Stream->Seek(0);
        return Tags.APEv2Tag().SaveToStream(*Stream);
    }
    return Tags.APEv2Tag().SaveToFile(FileName);
}

void DeleteNative(TTags& Tags, const TTag& Entry) {
    TAPEv2Tag& T = Tags.APEv2Tag();
    for (int i = T.Count() - 1; i >= 0; --i) {
        TAPEv2Frame& f = *T.Frame(i);
        if (f.Format != ffText || !text::SameText(UnifiedName(f.Name), UnifiedName(Entry.Name))) continue;
        // One value of a multi-valued item goes; the item goes with its last value.
        std::vector<std::string> values = f.GetValues();
        std::vector<std::string> rest;
        for (const auto& v : values)
            if (!text::SameText(v, Entry.Value)) rest.push_back(v);
        if (rest.size() == values.size()) continue;
        if (rest.empty()) {
            T.DeleteFrame(i);
        } else {
            f.SetValues(rest);
        }
    }
}

int Strip(const std::string& FileName) { return RemoveAPEv2TagFromFile(FileName, false); }

// An APE tag still there afterwards (damaged, or the file could not be
// written) is a failure; "none found" is not.
bool StripFailed(int NativeCode) { return NativeCode != apev2result::Success && NativeCode != apev2result::NoTag; }

}  // namespace apev2module
