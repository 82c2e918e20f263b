// Unified mapping of ID3v2 frames: frames become unified entries and
// pictures on loading, and entries and pictures become frames again on
// saving. The name table is data; genre references are resolved here.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "tags/tags.h"
#include "tags/mapping_common.h"
#include "tags/text.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_tag.h"

namespace {

struct TFrameName {
    std::string_view Frame;
    std::string_view Name;
};

// Frame ID <-> unified name; loading reads it left to right, saving right to left.
constexpr TFrameName FrameNames[] = {
    {"TPE1", "ARTIST"},          {"TIT2", "TITLE"},           {"TPE2", "ALBUMARTIST"},
    {"TCOM", "COMPOSER"},        {"TIT3", "SUBTITLE"},        {"TPE4", "MIXARTIST"},
    {"TALB", "ALBUM"},           {"TCOP", "COPYRIGHT"},       {"TIT1", "GROUPING"},
    {"TCON", "GENRE"},           {"TDRL", "RELEASEDATE"},     {"TDRC", "RECORDINGDATE"},
    {"TYER", "YEAR"},            {"TRCK", "TRACKNUMBER"},     {"TPOS", "DISCNUMBER"},
    {"TBPM", "BPM"},             {"TKEY", "KEY"},             {"TPE3", "CONDUCTOR"},
    {"TEXT", "LYRICIST"},        {"TPRO", "PRODUCED"},        {"TSTU", "STUDIO"},
    {"TPUB", "PUBLISHER"},       {"TENC", "ENCODEDBY"},       {"TSSE", "SOFTWARESETTINGS"},
    {"TSRC", "ISRC"},            {"TSST", "DISCSUBTITLE"},    {"TMED", "MEDIA"},
    {"TMCL", "TMCL"},            {"TMOO", "MOOD"},            {"COMM", "COMMENT"},
    {"USLT", "LYRICS"},          {"TSOP", "ARTISTSORT"},      {"TSOT", "TITLESORT"},
    {"TSO2", "ALBUMARTISTSORT"}, {"TSOA", "ALBUMSORT"},       {"TOPE", "ORIGINALARTIST"},
    {"TOAL", "ORIGINALTITLE"},   {"TOLY", "ORIGINALLYRICIST"}, {"TOFN", "ORIGINALFILENAME"},
    {"TDOR", "ORIGINALRELEASEDATE"}, {"WOAR", "ARTISTURL"},   {"WOAF", "AUDIOFILEURL"},
    {"WCOM", "BUYCDURL"},        {"WPUB", "PUBLISHERURL"},    {"WORS", "RADIOSTATIONURL"},
    {"WCOP", "COPYRIGHTURL"},    {"WOAS", "OFFICIALAUDIOSOURCEURL"}, {"WPAY", "PAYMENTURL"},
    {"TOWN", "FILEOWNER"},       {"TRSN", "RADIOSTATIONNAME"}, {"TRSO", "RADIOSTATIONOWNER"},
    {"TIPL", "TIPL"},            {"TLAN", "LANGUAGE"},
};
static_assert(std::size(FrameNames) == 53);

// Names that save into a frame without coming back from it under that name.
constexpr TFrameName ExtraSaveNames[] = {{"TYER", "DATE"}, {"TRCK", "TRACK"}, {"TPOS", "DISC"}};

std::string UnifiedNameOfFrame(const TID3v2FrameID& ID) {
    std::string id = ID3v2FrameIDText(ID);
    for (const auto& m : FrameNames)
        if (m.Frame == id) return std::string(m.Name);
    return {};
}

std::string FrameOfUnifiedName(const std::string& Name) {
    std::string n = text::UpperAscii(Name);
    for (const auto& m : FrameNames)
        if (m.Name == n) return std::string(m.Frame);
    for (const auto& m : ExtraSaveNames)
        if (m.Name == n) return std::string(m.Frame);
    return {};
}

enum class TKind { Text, UserText, URL, UserURL, Content, People, Other };

TKind KindOf(const std::string& ID) {
    if (ID == "WXXX") return TKind::UserURL;
    if (ID == "TIPL" || ID == "TMCL") return TKind::People;
    if (ID == "COMM" || ID == "USLT") return TKind::Content;
    if (ID == "TXXX") return TKind::UserText;
    if (!ID.empty() && ID[0] == 'W') return TKind::URL;
    if (!ID.empty() && ID[0] == 'T') return TKind::Text;
    return TKind::Other;
}

using mapping::JoinLines;
using mapping::SplitLines;

// Adds the picture of the APIC frame at Index as the container's next
// "Cover art N"; false when the frame holds no readable picture.
bool AddPictureOfFrame(TTags& Tags, TID3v2Tag& T, int Index) {
    std::vector<uint8_t> data;
    uint32_t type = 0;
    std::string desc, mime;
    if (!T.GetCoverPictureStream(Index, data, type, desc, mime)) return false;
    TCoverArt* c = Tags.AddCoverArt(mapping::NextCoverArtName(Tags));
    c->Data = std::move(data);
    c->CoverType = type;
    c->MIMEType = mime;
    c->Description = desc;
    c->PictureFormat = TTags::PicturePointerType(c->Data.data(), (int64_t)c->Data.size());
    return true;
}

}  // namespace

// "(17)", "(4)(17)Eurodisco", "(RX)", "((text" ... to plain genre names.
// A line that is only a number (the version 2.4 way of referring to the list)
// is resolved as well.
std::string ResolveID3v2Genre(const std::string& Value) {
    std::string built;
    auto add = [&](const std::string& s) {
        if (s.empty()) return;
        if (!built.empty()) built += ' ';
        built += s;
    };
    size_t i = 0;
    while (i < Value.size() && Value[i] == '(') {
        if (i + 1 < Value.size() && Value[i + 1] == '(') { ++i; break; }
        size_t close = Value.find(')', i);
        if (close == std::string::npos) break;
        std::string inner = Value.substr(i + 1, close - i - 1);
        if (inner.empty()) { i = close + 1; continue; }
        if (inner == "RX") add("Remix");
        else if (inner == "CR") add("Cover");
        else if (std::all_of(inner.begin(), inner.end(), [](char c) { return c >= '0' && c <= '9'; }) && inner.size() <= 4) {
            int n = std::stoi(inner);
            if (n >= 256) break;
            add(ID3v1GenreIndexToName(n));
        } else {
            break;
        }
        i = close + 1;
    }
    std::string rest = text::Trim(Value.substr(std::min(i, Value.size())));
    if (built.empty() && !rest.empty() && rest.size() <= 3 &&
        std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        int n = std::stoi(rest);
        return n < 256 ? ID3v1GenreIndexToName(n) : rest;
    }
    if (!rest.empty() && rest != built) add(rest);
    return built;
}

// ---- loading -----------------------------------------------------------------------

void TTags::LoadID3v2Tags() {
    TID3v2Tag& T = *FID3v2Tag;
    if (!OnlyParseCoverArts) {
        // Seek-frame and signature frames describe the old layout; they are never carried over.
        T.DeleteFrames("SESC");
        T.DeleteFrames("SEFC");
        T.DeleteFrames("SEBR");
        // Entries from earlier formats are replaced, never merged.
        for (int i = 0; i < T.GetFrameCount(); ++i) {
            const TID3v2Frame& f = *T.Frames[i];
            std::string name = UnifiedNameOfFrame(f.ID);
            if (!name.empty()) {
                RemoveAll(name);
            } else if (f.IsID("TXXX")) {
                std::string d;
                T.GetUserDefinedTextInformation(i, d);
                if (!d.empty()) RemoveAll(d);
            } else if (f.IsID("WXXX")) {
                std::string d;
                T.GetUserDefinedURLLink(i, d);
                RemoveAll(d.empty() ? "URL" : d);
            }
        }
    }
    if (ParseCoverArts && T.CoverArtCount() > 0) DeleteAllCoverArts();

    for (int i = 0; i < T.GetFrameCount(); ++i) {
        TID3v2Frame& f = *T.Frames[i];
        const std::string id = f.IDText();
        const std::string name = UnifiedNameOfFrame(f.ID);
        if (name == "GENRE") {
            std::vector<std::string> lines;
            T.GetTextMultiple(i, lines);
            std::string genre;
            for (const auto& l : lines) {
                std::string g = ResolveID3v2Genre(l);
                if (g.empty()) continue;
                genre += (genre.empty() ? "" : "\r\n") + g;
            }
            Add("GENRE")->Value = genre;
            f.AlreadyParsed = true;
            continue;
        }
        if (name.empty() || OnlyParseCoverArts) {
            if (!OnlyParseCoverArts) {
                if (id == "TXXX") {
                    std::string d;
                    std::string v = T.GetUserDefinedTextInformation(i, d);
                    // TOTALTRACKS / TOTALDISCS also come out of TRCK / TPOS; one entry
                    // per value, or deleting it would leave its twin behind.
                    TTag* twin = Tag(d);
                    if (twin && twin->Value == v) {
                        twin->Description = d;
                        twin->ExtTagType = ettTXXX;
                    } else if (!d.empty()) {
                        TTag* t = Add(d);
                        t->Value = v;
                        t->Description = d;
                        t->ExtTagType = ettTXXX;
                    }
                } else if (id == "WXXX") {
                    std::string d;
                    std::string url = T.GetUserDefinedURLLink(i, d);
                    if (!url.empty()) {
                        TTag* t = Add(d.empty() ? "URL" : d);
                        t->Value = url;
                        t->Description = d;
                        t->ExtTagType = ettWXXX;
                    }
                } else if (id == "PCNT") {
                    Add("PLAYCOUNT")->Value = std::to_string(T.GetPlayCount("PCNT"));
                } else if (id == "POPM") {
                    std::string email;
                    uint32_t counter = 0;
                    uint8_t rating = 0;
                    if (T.GetPopularimeter(i, email, counter, rating)) Add("RATING")->Value = std::to_string(rating);
                }
            }
            if (ParseCoverArts && id == "APIC") {
                AddPictureOfFrame(*this, T, i);
            }
            continue;
        }

        std::string value, description, language;
        switch (KindOf(id)) {
            case TKind::Content:
                value = T.GetContent(i, language, description);
                break;
            case TKind::People: {
                std::vector<std::string> raw;
                T.GetTextMultiple(i, raw);
                value = JoinLines(raw);
                break;
            }
            case TKind::URL:
                value = T.GetURL(i);
                break;
            default:
                value = T.GetText(i);
                break;
        }
        f.AlreadyParsed = true;
        auto splitCount = [&](const char* Number, const char* Total) {
            size_t slash = value.find('/');
            Add(Number)->Value = value.substr(0, slash);
            Delete(std::string(Total));
            Add(Total)->Value = value.substr(slash + 1);
        };
        if (name == "TRACKNUMBER" && value.find('/') != std::string::npos) {
            splitCount("TRACKNUMBER", "TOTALTRACKS");
        } else if (name == "DISCNUMBER" && value.find('/') != std::string::npos) {
            splitCount("DISCNUMBER", "TOTALDISCS");
        } else {
            TTag* t = Add(name);
            t->Value = value;
            t->Description = description;
            t->Language = language;
        }
    }
    Loaded = true;
}

bool TTags::LoadID3v2CoverArts(TID3v2Tag& From) {
    bool added = false;
    for (int i = 0; i < From.GetFrameCount(); ++i) {
        if (!From.Frames[i]->IsID("APIC")) continue;
        if (AddPictureOfFrame(*this, From, i)) added = true;
    }
    return added;
}

// ---- saving ---------------------------------------------------------------------------

void TTags::PrepareID3v2Tag() {
    TID3v2Tag& T = *FID3v2Tag;
    const TID3v2TextEncoding enc = ID3v2WriteUTF8Text ? teUTF8 : teUnicode;
    std::vector<std::string> contentCleared, contentWritten;
    for (int idx = 0; idx < Count(); ++idx) {
        const TTag& e = *FTags[idx];
        const std::string name = text::UpperAscii(e.Name);
        const std::string frame = FrameOfUnifiedName(name);
        if (frame == "TYER") {
            std::string year;
            for (size_t i = 0; i + 4 <= e.Value.size(); ++i)
                if (std::all_of(e.Value.begin() + (ptrdiff_t)i, e.Value.begin() + (ptrdiff_t)i + 4,
                                [](char c) { return c >= '0' && c <= '9'; })) {
                    year = e.Value.substr(i, 4);
                    break;
                }
            if (year.empty()) T.DeleteFrame("TYER");
            else T.SetText("TYER", year, teUnicode);
            continue;
        }
        if (name == "TRACKNUMBER" || name == "TRACK" || name == "DISCNUMBER" || name == "DISC") {
            const bool track = name[0] == 'T';
            std::string v = e.Value;
            std::string total = GetText(track ? "TOTALTRACKS" : "TOTALDISCS");
            if (total.empty()) total = GetText(track ? "TRACKTOTAL" : "DISCTOTAL");
            if (!total.empty()) v += "/" + total;
            T.DeleteFrames(track ? "TRCK" : "TPOS");
            if (!v.empty()) T.SetText(track ? "TRCK" : "TPOS", v, enc);
            continue;
        }
        if (!frame.empty()) {
            const std::string lang = text::Utf8Length(e.Language) == 3 ? e.Language : "eng";
            if (KindOf(frame) == TKind::Content) {
                // One frame per entry: a file's own comment and, say, a player's
                // comment under another description both stay. The old frames
                // go when the first entry of the name comes.
                if (std::find(contentCleared.begin(), contentCleared.end(), frame) == contentCleared.end()) {
                    T.DeleteFrames(frame);
                    contentCleared.push_back(frame);
                }
                const std::string key = frame + '\n' + lang + '\n' + e.Description;
                if (std::find(contentWritten.begin(), contentWritten.end(), key) != contentWritten.end()) continue;
                contentWritten.push_back(key);
                T.SetContentAt(T.AddFrame(frame), e.Value, enc, e.Description, lang);
                continue;
            }
            T.DeleteFrames(frame);
            switch (KindOf(frame)) {
                case TKind::Content:
                    break;
                case TKind::People:
                    T.SetTextMultiple(frame, SplitLines(e.Value), enc);
                    break;
                case TKind::URL:
                    T.SetURL(frame, e.Value);
                    break;
                default: {
                    std::vector<std::string> list;
                    GetMultipleList(e.Name, list);
                    // Each value may hold several lines; each line is one string of the frame.
                    std::vector<std::string> strings;
                    for (const auto& v : list)
                        for (auto& l : SplitLines(v)) strings.push_back(l);
                    T.SetTextMultiple(frame, strings, enc);
                    break;
                }
            }
            continue;
        }
        if (name == "PLAYCOUNT") {
            T.DeleteFrames("PCNT");
            auto n = text::ParseInt(e.Value);
            T.SetPlayCount("PCNT", n && *n >= 0 && *n <= 0xFFFFFFFFll ? (uint32_t)*n : 0);
            continue;
        }
        if (e.ExtTagType == ettWXXX) {
            T.SetUserDefinedURLLinkByDescription(e.Description, e.Value, enc);
            continue;
        }
        if (e.Name.empty()) continue;
        while (T.FindTXXXByDescription(e.Name) >= 0) T.DeleteFrame(T.FindTXXXByDescription(e.Name));
        std::vector<std::string> list;
        GetMultipleList(e.Name, list);
        std::vector<std::string> values;
        for (const auto& v : list)
            for (auto& l : SplitLines(v)) values.push_back(l);
        T.SetTXXXByDescriptionMultiple(e.Name, values, enc);
    }

    // Without pictures loaded, the picture frames stay as they were read.
    if (!ParseCoverArts) return;
    T.DeleteAllCoverArts();
    for (const auto& c : FCoverArts) {
        const std::string mime = mapping::PictureMIMEType(*c);
        int i = T.AddFrame("APIC");
        T.SetCoverPictureFromStream(i, c->Description, c->CoverType, mime, c->Data);
    }
}

int TTags::SaveID3v2Tag(const std::string& FileName, bool Buffered, TStream* Stream) {
    PrepareID3v2Tag();
    FID3v2Tag->SetAllFrameDataStreams();
    if (Stream) {
        Stream->Seek(0);
        return FID3v2Tag->SaveToStream(*Stream, Buffered);
    }
    return FID3v2Tag->SaveToFile(FileName, Buffered);
}

void TTags::DeleteNativeID3v2(const TTag& Entry) {
    TID3v2Tag& T = *FID3v2Tag;
    if (Entry.ExtTagType == ettTXXX || Entry.ExtTagType == ettWXXX) {
        const bool txxx = Entry.ExtTagType == ettTXXX;
        for (int i = T.GetFrameCount() - 1; i >= 0; --i) {
            if (!T.Frames[i]->IsID(txxx ? "TXXX" : "WXXX")) continue;
            std::string d, v;
            v = txxx ? T.GetUserDefinedTextInformation(i, d) : T.GetUserDefinedURLLink(i, d);
            if (d == Entry.Name && v == Entry.Value) T.DeleteFrame(i);
        }
        return;
    }
    std::string frame = FrameOfUnifiedName(Entry.Name);
    if (!frame.empty()) {
        T.DeleteFrames(frame);
    } else if (text::SameText(Entry.Name, "PLAYCOUNT")) {
        T.DeleteFrames("PCNT");
    } else {
        // Names without a frame of their own are saved as TXXX frames (TOTALTRACKS
        // and the like); left behind, they would bring the deleted value back.
        for (int i; (i = T.FindTXXXByDescription(Entry.Name)) >= 0;) T.DeleteFrame(i);
    }
}
