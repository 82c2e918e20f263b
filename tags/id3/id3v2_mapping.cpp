// Unified mapping of ID3v2 frames: frames become unified entries and
// pictures on loading, and entries and pictures become frames again on
// saving. The name table is data; each frame family (text, user text, links,
// comments and lyrics, people lists, counters and rating, pictures) has its
// load and its save side by side below.
//
// A value goes back to the frame it came from, and only there: a total that
// came with the track number goes back into TRCK (never into a new TXXX), a
// rating read from POPM into that POPM, a TXXX value into its TXXX (never
// into the named frame of the same name). A frame whose value did not change
// keeps its bytes.
#include <algorithm>
#include <cctype>
#include <string_view>

#include "tags/stream_values.h"
#include "tags/tags.h"
#include "tags/mapping_common.h"
#include "tags/text.h"
#include "tags/id3/id3v1_tag.h"
#include "tags/id3/id3v2_module.h"
#include "tags/id3/id3v2_tag.h"
#include "tags/field_names.h"

namespace {

using mapping::JoinLines;
using mapping::SplitLines;

struct TFrameName {
    std::string_view Frame;
    std::string_view Name;
};

// Frame ID <-> unified name; loading reads it left to right, saving right to left.
constexpr TFrameName FrameNames[] = {
    {"TPE1", fieldname::Artist},
    {"TIT2", fieldname::Title},
    {"TPE2", fieldname::AlbumArtist},
    {"TCOM", fieldname::Composer},
    {"TIT3", "SUBTITLE"},
    {"TPE4", "MIXARTIST"},
    {"TALB", fieldname::Album},
    {"TCOP", fieldname::Copyright},
    {"TIT1", "GROUPING"},
    {"TCON", fieldname::Genre},
    {"TDRL", "RELEASEDATE"},
    {"TDRC", "RECORDINGDATE"},
    {"TYER", fieldname::Year},
    {"TRCK", fieldname::TrackNumber},
    {"TPOS", fieldname::DiscNumber},
    {"TBPM", fieldname::Bpm},
    {"TKEY", "KEY"},
    {"TPE3", "CONDUCTOR"},
    {"TEXT", "LYRICIST"},
    {"TPRO", "PRODUCED"},
    {"TSTU", "STUDIO"},
    {"TPUB", fieldname::Publisher},
    {"TENC", fieldname::EncodedBy},
    {"TSSE", "SOFTWARESETTINGS"},
    {"TSRC", "ISRC"},
    {"TSST", "DISCSUBTITLE"},
    {"TMED", "MEDIA"},
    {"TMCL", "TMCL"},
    {"TMOO", "MOOD"},
    {"COMM", fieldname::Comment},
    {"USLT", fieldname::Lyrics},
    {"TSOP", "ARTISTSORT"},
    {"TSOT", "TITLESORT"},
    {"TSO2", "ALBUMARTISTSORT"},
    {"TSOA", "ALBUMSORT"},
    {"TOPE", fieldname::OriginalArtist},
    {"TOAL", "ORIGINALTITLE"},
    {"TOLY", "ORIGINALLYRICIST"},
    {"TOFN", "ORIGINALFILENAME"},
    {"TDOR", "ORIGINALRELEASEDATE"},
    {"WOAR", "ARTISTURL"},
    {"WOAF", "AUDIOFILEURL"},
    {"WCOM", "BUYCDURL"},
    {"WPUB", "PUBLISHERURL"},
    {"WORS", "RADIOSTATIONURL"},
    {"WCOP", "COPYRIGHTURL"},
    {"WOAS", "OFFICIALAUDIOSOURCEURL"},
    {"WPAY", "PAYMENTURL"},
    {"TOWN", "FILEOWNER"},
    {"TRSN", "RADIOSTATIONNAME"},
    {"TRSO", "RADIOSTATIONOWNER"},
    {"TIPL", "TIPL"},
    {"TLAN", "LANGUAGE"},
};
static_assert(std::size(FrameNames) == 53);

// Names that save into a frame without coming back from it under that name.
constexpr TFrameName ExtraSaveNames[] = {{"TYER", fieldname::Date}, {"TRCK", "TRACK"}, {"TPOS", "DISC"}};

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

// Which family a frame ID belongs to; the family chooses its load and save.
enum class TFamily { Text, UserText, URL, UserURL, Content, People, Other };

TFamily FamilyOf(const std::string& ID) {
    if (ID == "WXXX") return TFamily::UserURL;
    if (ID == "TIPL" || ID == "TMCL") return TFamily::People;
    if (ID == "COMM" || ID == "USLT") return TFamily::Content;
    if (ID == "TXXX") return TFamily::UserText;
    if (!ID.empty() && ID[0] == 'W') return TFamily::URL;
    if (!ID.empty() && ID[0] == 'T') return TFamily::Text;
    return TFamily::Other;
}

// Indexes of the frames with that ID, in tag order.
std::vector<int> FramesOf(const TID3v2Tag& T, const char* ID) {
    std::vector<int> out;
    for (int i = 0; i < T.GetFrameCount(); ++i)
        if (T.Frames[i]->IsID(ID)) out.push_back(i);
    return out;
}

// Deletes the frames at the given indexes (any order).
void DeleteFramesAt(TID3v2Tag& T, std::vector<int> Indexes) {
    std::sort(Indexes.rbegin(), Indexes.rend());
    for (int i : Indexes) T.DeleteFrame(i);
}

// Keeps the first frame with that ID and deletes the others; the first is
// then rewritten in place, so the frame order stays.
void KeepFirstOnly(TID3v2Tag& T, const std::string& ID) {
    std::vector<int> all = FramesOf(T, ID.c_str());
    if (all.size() > 1) DeleteFramesAt(T, std::vector<int>(all.begin() + 1, all.end()));
}

std::string ContentLanguage(const std::string& Language) { return text::Utf8Length(Language) == 3 ? Language : "eng"; }

// ============================== loading ===========================================

// ---- text frames: all strings joined with CR LF; genres resolved; n/m split ----

// The genres of the TCON at I, resolved, one a line.
std::string GenreText(const TID3v2Tag& T, int I) {
    std::vector<std::string> lines, genres;
    T.GetTextMultiple(I, lines);
    for (const auto& l : lines)
        if (std::string g = ResolveID3v2Genre(l); !g.empty()) genres.push_back(g);
    return JoinLines(genres);
}

// A track or disc number with its total: the total that came with the number
// stands for a TXXX of the same name and value as well (one entry per value,
// or deleting it would leave its twin behind).
void LoadNumberTotal(TTags& Tags, bool Track, const std::string& Value) {
    const mapping::TNumberTotal pair = mapping::SplitNumberTotal(Value);
    Tags.Add(Track ? fieldname::TrackNumber : fieldname::DiscNumber)->Value = pair.Number;
    const char* total = Track ? fieldname::TotalTracks : fieldname::TotalDiscs;
    for (int i = 0; i < Tags.Count(); ++i) {
        const TTag* t = Tags.TagAt(i);
        if (t->ExtTagType == ettTXXX && text::SameText(t->Name, total) && t->Value == pair.Total) return;
    }
    Tags.Add(total)->Value = pair.Total;
}

void LoadTextFrame(TTags& Tags, TID3v2Tag& T, int I, const std::string& Name) {
    if (Name == fieldname::Genre) {
        Tags.Add(fieldname::Genre)->Value = GenreText(T, I);
        return;
    }
    const std::string value = T.GetText(I);
    if ((Name == fieldname::TrackNumber || Name == fieldname::DiscNumber) && value.find('/') != std::string::npos) {
        LoadNumberTotal(Tags, Name == fieldname::TrackNumber, value);
        return;
    }
    Tags.Add(Name)->Value = value;
}

// ---- user-defined text (TXXX): an entry named by the description ----

void LoadUserText(TTags& Tags, TID3v2Tag& T, int I) {
    std::string d;
    const std::string v = T.GetUserDefinedTextInformation(I, d);
    if (d.empty()) return;
    // The twin of a total that came with the track or disc number.
    if (mapping::IsTotalName(d, true) || mapping::IsTotalName(d, false)) {
        for (int i = 0; i < Tags.Count(); ++i) {
            TTag* t = Tags.TagAt(i);
            if (t->ExtTagType == ettUnknown && text::SameText(t->Name, d) && t->Value == v) {
                t->Description = d;
                t->ExtTagType = ettTXXX;
                return;
            }
        }
    }
    TTag* t = Tags.Add(d);
    t->Value = v;
    t->Description = d;
    t->ExtTagType = ettTXXX;
}

// ---- links: URL frames by name, WXXX by description ("URL" without one) ----

void LoadUserURL(TTags& Tags, TID3v2Tag& T, int I) {
    std::string d;
    const std::string url = T.GetUserDefinedURLLink(I, d);
    if (url.empty()) return;
    TTag* t = Tags.Add(d.empty() ? fieldname::Url : d);
    t->Value = url;
    t->Description = d;
    t->ExtTagType = ettWXXX;
}

// ---- comments and lyrics: language, description and text ----

void LoadContent(TTags& Tags, TID3v2Tag& T, int I, const std::string& Name) {
    std::string language, description;
    const std::string value = T.GetContent(I, language, description);
    TTag* t = Tags.Add(Name);
    t->Value = value;
    t->Description = description;
    t->Language = language;
}

// ---- people lists (TIPL, TMCL): role, name, role, name ... as lines ----

void LoadPeople(TTags& Tags, TID3v2Tag& T, int I, const std::string& Name) {
    std::vector<std::string> raw;
    T.GetTextMultiple(I, raw);
    Tags.Add(Name)->Value = JoinLines(raw);
}

// ---- counters and rating: PCNT as PLAYCOUNT, POPM's rating byte as RATING ----

void LoadCounter(TTags& Tags, TID3v2Tag& T, int I, const std::string& ID) {
    if (ID == "PCNT") {
        Tags.Add("PLAYCOUNT")->Value = std::to_string(T.GetPlayCount("PCNT"));
    } else if (ID == "POPM") {
        std::string email;
        uint32_t counter = 0;
        uint8_t rating = 0;
        if (T.GetPopularimeter(I, email, counter, rating)) Tags.Add(fieldname::Rating)->Value = std::to_string(rating);
    }
}

// ---- pictures: the container's next "Cover art N" ----

// Adds the picture of the APIC frame at Index; false when the frame holds no readable picture.
bool LoadPicture(TTags& Tags, TID3v2Tag& T, int Index) {
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

// Entries from earlier formats are replaced by this tag's, never merged.
void RemoveEarlierEntries(TTags& Tags, TID3v2Tag& T) {
    for (int i = 0; i < T.GetFrameCount(); ++i) {
        const TID3v2Frame& f = *T.Frames[i];
        std::string name = UnifiedNameOfFrame(f.ID);
        if (!name.empty()) {
            Tags.RemoveAll(name);
            // A number with its total replaces the earlier total as well.
            if (name == fieldname::TrackNumber || name == fieldname::DiscNumber) {
                if (T.GetText(i).find('/') != std::string::npos)
                    Tags.RemoveAll(name == fieldname::TrackNumber ? fieldname::TotalTracks : fieldname::TotalDiscs);
            }
        } else if (f.IsID("TXXX")) {
            std::string d;
            T.GetUserDefinedTextInformation(i, d);
            if (!d.empty()) Tags.RemoveAll(d);
        } else if (f.IsID("WXXX")) {
            std::string d;
            T.GetUserDefinedURLLink(i, d);
            Tags.RemoveAll(d.empty() ? fieldname::Url : d);
        }
    }
}

// ============================== saving ============================================

// Where one entry goes back to.
enum class TTarget { None, Number, Date, Text, Content, People, URL, UserURL, UserText, PlayCount, Rating };

struct TDestination {
    TTarget Target = TTarget::None;
    std::string Frame;  // frame ID
    std::string Key;    // entries of one key make one frame (or one frame list)
    bool Track = true;  // Number: track or disc
};

struct TSaveContext {
    TTags& Tags;
    TID3v2Tag& T;
    TID3v2TextEncoding Encoding;
    bool Version4;
    std::vector<TDestination> Dest;  // per entry
};

bool HasNumber(const TTags& Tags, bool Track) { return !mapping::NumberAndTotal(Tags, Track).Number.empty(); }

TDestination DestinationOf(const TTags& Tags, const TID3v2Tag& T, const TTag& E, bool Version4, int& RatingIndex) {
    TDestination d;
    if (E.ExtTagType == ettWXXX) {
        d = {TTarget::UserURL, "WXXX", "WXXX\n" + E.Description};
        return d;
    }
    if (E.ExtTagType == ettTXXX) {
        const std::string desc = E.Description.empty() ? E.Name : E.Description;
        d = {TTarget::UserText, "TXXX", "TXXX\n" + text::UpperAscii(desc)};
        return d;
    }
    const std::string name = text::UpperAscii(E.Name);
    if (name.empty()) return d;
    // A link typed without a frame of its own is what loading reads as URL:
    // a WXXX without description, never a TXXX named so.
    if (name == fieldname::Url) {
        d = {TTarget::UserURL, "WXXX", "WXXX\n" + E.Description};
        return d;
    }
    for (bool track : {true, false}) {
        // A total alone (no number to carry it) is kept in a TXXX of its name.
        if (mapping::IsNumberName(name, track) || (mapping::IsTotalName(name, track) && HasNumber(Tags, track))) {
            d = {TTarget::Number, track ? "TRCK" : "TPOS", track ? "TRCK" : "TPOS", track};
            return d;
        }
    }
    // A 2.3 tag keeps the year in TYER; a TDRC some writers put there too
    // (readers that know it prefer it) is saved together with the year.
    if (name == fieldname::Year || name == fieldname::Date ||
        (name == "RECORDINGDATE" && (Version4 || T.FrameExists("TDRC") >= 0))) {
        d = {TTarget::Date, Version4 ? "TDRC" : "TYER", fieldname::Date};
        return d;
    }
    const std::string frame = FrameOfUnifiedName(name);
    if (!frame.empty()) {
        switch (FamilyOf(frame)) {
            case TFamily::Content:
                d = {TTarget::Content, frame, frame + '\n' + ContentLanguage(E.Language) + '\n' + E.Description};
                return d;
            case TFamily::People: d = {TTarget::People, frame, frame}; return d;
            case TFamily::URL: d = {TTarget::URL, frame, frame}; return d;
            default: d = {TTarget::Text, frame, frame}; return d;
        }
    }
    if (name == "PLAYCOUNT") {
        d = {TTarget::PlayCount, "PCNT", "PCNT"};
        return d;
    }
    // The n-th rating read from a POPM goes back into the n-th POPM.
    if (name == fieldname::Rating && RatingIndex < T.FrameTypeCount("POPM")) {
        d = {TTarget::Rating, "POPM", "POPM\n" + std::to_string(RatingIndex++)};
        return d;
    }
    d = {TTarget::UserText, "TXXX", "TXXX\n" + name};
    return d;
}

// Every distinct line of the entries of one key, in order.
std::vector<std::string> LinesOfKey(const TSaveContext& C, const std::string& Key) {
    std::vector<std::string> out;
    for (int i = 0; i < C.Tags.Count(); ++i) {
        if (C.Dest[(size_t)i].Key != Key) continue;
        for (auto& l : SplitLines(C.Tags.TagAt(i)->Value))
            if (std::find(out.begin(), out.end(), l) == out.end()) out.push_back(l);
    }
    return out;
}

std::vector<const TTag*> EntriesOfKey(const TSaveContext& C, const std::string& Key) {
    std::vector<const TTag*> out;
    for (int i = 0; i < C.Tags.Count(); ++i)
        if (C.Dest[(size_t)i].Key == Key) out.push_back(C.Tags.TagAt(i));
    return out;
}

// ---- text frames ----

// The value loading gives for the text frame at I (genres resolved).
std::string LoadedText(const TID3v2Tag& T, int I, const std::string& ID) {
    if (ID == "TCON") return GenreText(T, I);
    if (ID == "TIPL" || ID == "TMCL") {
        std::vector<std::string> raw;
        T.GetTextMultiple(I, raw);
        return JoinLines(raw);
    }
    return T.GetText(I);
}

// The one frame of ID holds Strings; a frame that already reads so keeps its bytes.
void SaveTextStrings(TSaveContext& C, const std::string& ID, const std::vector<std::string>& Strings,
                     TID3v2TextEncoding Encoding) {
    KeepFirstOnly(C.T, ID);
    const int at = C.T.FrameExists(ID);
    if (at >= 0 && JoinLines(Strings) == LoadedText(C.T, at, ID)) return;
    C.T.SetTextMultiple(ID, Strings, Encoding);
}

void SaveText(TSaveContext& C, const TDestination& D) {
    // Each value may hold several lines; each line is one string of the frame.
    SaveTextStrings(C, D.Frame, LinesOfKey(C, D.Key), C.Encoding);
}

void SaveNumber(TSaveContext& C, const TDestination& D) {
    const std::string text = mapping::JoinNumberTotal(mapping::NumberAndTotal(C.Tags, D.Track));
    if (text.empty()) {
        C.T.DeleteFrames(D.Frame);
        return;
    }
    KeepFirstOnly(C.T, D.Frame);
    const int at = C.T.FrameExists(D.Frame);
    if (at >= 0 && C.T.GetText(at) == text) return;
    C.T.SetText(D.Frame, text, C.Encoding);
}

// The year: TYER (four digits) in a 2.3 tag; TDRC in a 2.4 tag, where a full
// date whose year did not change stays whole and TYER (not read there) goes.
void SaveDate(TSaveContext& C, const TDestination& D) {
    const TTag* year = nullptr;
    const TTag* recording = nullptr;
    for (const TTag* e : EntriesOfKey(C, D.Key)) {
        if (text::SameText(e->Name, "RECORDINGDATE")) {
            if (!recording) recording = e;
        } else if (!year) {
            year = e;
        }
    }
    std::string value;
    if (!C.Version4) {
        if (recording) {
            const std::string date = year ? mapping::YearIntoDate(recording->Value, year->Value) : recording->Value;
            if (date.empty())
                C.T.DeleteFrames("TDRC");
            else
                SaveTextStrings(C, "TDRC", {date}, teUnicode);
        }
        if (!year) return;
        value = mapping::FourDigitYear(year->Value);
    } else if (year) {
        const std::string stored = recording ? recording->Value : C.T.GetText("TDRC");
        value = mapping::YearIntoDate(stored, year->Value);
        C.T.DeleteFrames("TYER");
    } else {
        value = recording->Value;
    }
    if (value.empty()) {
        C.T.DeleteFrames(D.Frame);
        return;
    }
    SaveTextStrings(C, D.Frame, {value}, C.Version4 ? C.Encoding : teUnicode);
}

// ---- user-defined text (TXXX) ----

void SaveUserText(TSaveContext& C, const TDestination& D) {
    const TTag* first = EntriesOfKey(C, D.Key).front();
    const std::string desc =
        first->ExtTagType == ettTXXX && !first->Description.empty() ? first->Description : first->Name;
    const std::vector<std::string> values = LinesOfKey(C, D.Key);
    std::vector<int> same;
    for (int i : FramesOf(C.T, "TXXX")) {
        std::string d;
        C.T.GetUserDefinedTextInformation(i, d);
        if (text::SameText(d, desc)) same.push_back(i);
    }
    if (same.size() > 1) DeleteFramesAt(C.T, std::vector<int>(same.begin() + 1, same.end()));
    if (!same.empty()) {
        std::string d;
        std::vector<std::string> now;
        C.T.GetUserDefinedTextInformationMultiple(same.front(), d, now);
        if (d == desc && now == values) return;
    }
    C.T.SetTXXXByDescriptionMultiple(desc, values, C.Encoding);
}

// ---- links ----

// The n-th entry of a URL frame's name goes into the n-th frame of that ID.
void SaveURL(TSaveContext& C, const TDestination& D) {
    const std::vector<const TTag*> entries = EntriesOfKey(C, D.Key);
    std::vector<int> frames = FramesOf(C.T, D.Frame.c_str());
    if (frames.size() > entries.size())
        DeleteFramesAt(C.T, std::vector<int>(frames.begin() + (ptrdiff_t)entries.size(), frames.end()));
    for (size_t k = 0; k < entries.size(); ++k) {
        frames = FramesOf(C.T, D.Frame.c_str());
        const int at = k < frames.size() ? frames[k] : C.T.AddFrame(D.Frame);
        if (k < frames.size() && C.T.GetURL(at) == entries[k]->Value) continue;
        // SetURL writes the first frame of the ID; a later one is rebuilt through a fresh list.
        if (k == 0) {
            C.T.SetURL(D.Frame, entries[k]->Value);
        } else {
            TID3v2Frames one(nullptr);
            one.SetURL(D.Frame, entries[k]->Value);
            C.T.Frames[(size_t)at]->Assign(*one.Frames[0]);
        }
    }
}

void SaveUserURL(TSaveContext& C, const TDestination& D) {
    const TTag* e = EntriesOfKey(C, D.Key).front();
    const int at = C.T.FindUserDefinedURLLinkByDescription(e->Description);
    if (at >= 0) {
        std::string d;
        if (C.T.GetUserDefinedURLLink(at, d) == e->Value) return;
    }
    C.T.SetUserDefinedURLLinkByDescription(e->Description, e->Value, C.Encoding);
}

// ---- comments and lyrics: one frame per language and description ----

void SaveContent(TSaveContext& C, const TDestination& D, std::vector<std::string>& WrittenContentIDs) {
    const TTag& e = *EntriesOfKey(C, D.Key).front();
    const std::string lang = ContentLanguage(e.Language);
    if (std::find(WrittenContentIDs.begin(), WrittenContentIDs.end(), D.Frame) == WrittenContentIDs.end()) {
        // Frames of this ID that no entry stands for any more go.
        WrittenContentIDs.push_back(D.Frame);
        std::vector<int> orphans;
        for (int i : FramesOf(C.T, D.Frame.c_str())) {
            std::string l, d;
            C.T.GetContent(i, l, d);
            const std::string key = D.Frame + '\n' + ContentLanguage(l) + '\n' + d;
            if (std::ranges::find(C.Dest, key, &TDestination::Key) == C.Dest.end()) orphans.push_back(i);
        }
        DeleteFramesAt(C.T, orphans);
    }
    int match = -1;
    std::vector<int> twins;
    for (int i : FramesOf(C.T, D.Frame.c_str())) {
        std::string l, d;
        C.T.GetContent(i, l, d);
        if (ContentLanguage(l) != lang || d != e.Description) continue;
        if (match < 0)
            match = i;
        else
            twins.push_back(i);
    }
    DeleteFramesAt(C.T, twins);
    if (match >= 0) {
        std::string l, d;
        if (C.T.GetContent(match, l, d) == e.Value) return;
    } else {
        match = C.T.AddFrame(D.Frame);
    }
    C.T.SetContentAt(match, e.Value, C.Encoding, e.Description, lang);
}

// ---- people lists ----

void SavePeople(TSaveContext& C, const TDestination& D) {
    SaveTextStrings(C, D.Frame, SplitLines(EntriesOfKey(C, D.Key).front()->Value), C.Encoding);
}

// ---- counters and rating ----

void SavePlayCount(TSaveContext& C, const TDestination& D) {
    auto n = text::ParseInt(EntriesOfKey(C, D.Key).front()->Value);
    const uint32_t count = n && *n >= 0 && *n <= 0xFFFFFFFFll ? (uint32_t)*n : 0;
    KeepFirstOnly(C.T, "PCNT");
    if (C.T.FrameExists("PCNT") >= 0 && C.T.GetPlayCount("PCNT") == count) return;
    C.T.SetPlayCount("PCNT", count);
}

void SaveRating(TSaveContext& C, const TDestination& D) {
    const size_t nth = (size_t)std::stoi(D.Key.substr(5));
    auto n = text::ParseInt(EntriesOfKey(C, D.Key).front()->Value);
    const std::vector<int> popm = FramesOf(C.T, "POPM");
    // A rating that is no byte value leaves the frame as it is.
    if (nth < popm.size() && n && *n >= 0 && *n <= 255) C.T.SetPopularimeterRating(popm[nth], (uint8_t)*n);
}

// ---- pictures ----

bool PicturesUnchanged(const TTags& Tags, const TID3v2Tag& T) {
    const std::vector<int> frames = FramesOf(T, "APIC");
    if ((int)frames.size() != Tags.CoverArtCount()) return false;
    for (size_t k = 0; k < frames.size(); ++k) {
        std::vector<uint8_t> data;
        uint32_t type = 0;
        std::string desc, mime;
        const TCoverArt& c = *Tags.CoverArtAt((int)k);
        if (!T.GetCoverPictureStream(frames[k], data, type, desc, mime)) return false;
        if (data != c.Data || type != c.CoverType || desc != c.Description || mime != mapping::PictureMIMEType(c))
            return false;
    }
    return true;
}

void SavePictures(TTags& Tags, TID3v2Tag& T) {
    if (PicturesUnchanged(Tags, T)) return;
    T.DeleteAllCoverArts();
    for (int k = 0; k < Tags.CoverArtCount(); ++k) {
        const TCoverArt& c = *Tags.CoverArtAt(k);
        T.SetCoverPictureFromStream(T.AddFrame("APIC"), c.Description, c.CoverType, mapping::PictureMIMEType(c),
                                    c.Data);
    }
}

bool WritesVersion4(const TID3v2Tag& T) {
    if (T.WriteOptions.Version == sfid3v24) return true;
    if (T.WriteOptions.Version == sfid3v23) return false;
    return T.MajorVersion == 4;
}

// ---- stream values ----

// MPEG audio found by the ID3v2 reader.
TStreamValues MPEGValues(const TMPEGStreamInfo& M) {
    TStreamValues V;
    V.PlayTime = M.PlayTime;
    V.BitRate.Value = streamvalues::ClampedInt<uint32_t>(M.BitRate);
    switch (M.MPEGInfo.ChannelMode) {
        case tmpegcmUnknown: break;  // no answer
        case tmpegcmMono: V.Channels.Value = 1; break;
        case tmpegcmDualChannel:
        case tmpegcmJointStereo:
        case tmpegcmStereo: V.Channels.Value = 2; break;
        default: V.Channels = {0, true}; break;
    }
    // MPEG audio has no sample width: once the stream is known, 0 is the answer.
    V.BitsPerSample = {0, M.MPEGInfo.SampleRate != 0};
    V.SamplesPerSec.Value = M.MPEGInfo.SampleRate;
    V.SampleCount.Value = M.SampleCount;
    return V;
}

// The WAVE, RF64, AIFF, DSF and DFF containers the ID3v2 reader recognises
// carry their own stream values: AIFF's play time is rounded to whole
// seconds, its rate rounded; a DFF stream has one bit per sample.
TStreamValues ContainerValues(const TID3v2Tag& Tag) {
    TStreamValues V;
    const TContainerAudio& A = Tag.ContainerAudio();
    switch (Tag.SourceFileType()) {
        case sftWAVE:
        case sftRF64:
            V.PlayTime = A.PlayTime;
            V.BitRate.Value = A.BitRate;
            V.Channels.Value = A.WAVInfo.Channels;
            V.BitsPerSample.Value = A.WAVInfo.BitsPerSample;
            V.SamplesPerSec.Value = A.WAVInfo.SamplesPerSec;
            V.SampleCount.Value = A.SampleCount;
            break;
        case sftAIFF:
            V.PlayTime = streamvalues::IsPlayTime(A.PlayTime) ? std::nearbyint(A.PlayTime) : 0;
            V.BitRate.Value = A.BitRate;
            V.Channels.Value = A.AIFFInfo.Channels;
            V.BitsPerSample.Value = A.AIFFInfo.SampleSize;
            V.SamplesPerSec.Value = streamvalues::Clamped<uint32_t>(std::nearbyint(A.AIFFInfo.SampleRate));
            V.SampleCount.Value = A.AIFFInfo.SampleFrames;
            break;
        case sftDSF:
            V.PlayTime = A.DSFInfo.PlayTime;
            V.BitRate.Value = A.DSFInfo.BitRate();
            V.Channels.Value = streamvalues::ClampedInt<uint16_t>(A.DSFInfo.ChannelNumber);
            V.BitsPerSample.Value = streamvalues::ClampedInt<uint16_t>(A.DSFInfo.BitsPerSample);
            V.SamplesPerSec.Value = A.DSFInfo.SamplingFrequency;
            V.SampleCount.Value =
                streamvalues::ClampedInt<int64_t>((int64_t)std::min<uint64_t>(A.DSFInfo.SampleCount, INT64_MAX));
            break;
        case sftDFF:
            V.PlayTime = A.DFFInfo.PlayTime;
            V.BitRate.Value = A.DFFInfo.BitRate;
            V.Channels.Value = A.DFFInfo.ChannelNumber;
            V.BitsPerSample.Value = 1;
            V.SamplesPerSec.Value = A.DFFInfo.SampleRate;
            V.SampleCount.Value = (int64_t)std::min<uint64_t>(A.DFFInfo.SampleCount, INT64_MAX);
            break;
        default: break;
    }
    return V;
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
        if (i + 1 < Value.size() && Value[i + 1] == '(') {
            ++i;
            break;
        }
        size_t close = Value.find(')', i);
        if (close == std::string::npos) break;
        std::string inner = Value.substr(i + 1, close - i - 1);
        if (inner.empty()) {
            i = close + 1;
            continue;
        }
        if (inner == "RX")
            add("Remix");
        else if (inner == "CR")
            add("Cover");
        else if (std::all_of(inner.begin(), inner.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                 inner.size() <= 4) {
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

namespace id3v2module {

void Merge(TTags& Tags) {
    TID3v2Tag& T = Tags.ID3v2Tag();
    if (!Tags.OnlyParseCoverArts) {
        // Seek-frame and signature frames describe the old layout; they are never carried over.
        T.DeleteFrames("SESC");
        T.DeleteFrames("SEFC");
        T.DeleteFrames("SEBR");
        RemoveEarlierEntries(Tags, T);
    }
    if (Tags.ParseCoverArts && T.CoverArtCount() > 0) Tags.DeleteAllCoverArts();

    for (int i = 0; i < T.GetFrameCount(); ++i) {
        TID3v2Frame& f = *T.Frames[i];
        const std::string id = f.IDText();
        const std::string name = UnifiedNameOfFrame(f.ID);
        if (name == fieldname::Genre) {
            LoadTextFrame(Tags, T, i, name);
            f.AlreadyParsed = true;
            continue;
        }
        if (name.empty() || Tags.OnlyParseCoverArts) {
            if (!Tags.OnlyParseCoverArts) {
                if (id == "TXXX")
                    LoadUserText(Tags, T, i);
                else if (id == "WXXX")
                    LoadUserURL(Tags, T, i);
                else if (id == "PCNT" || id == "POPM")
                    LoadCounter(Tags, T, i, id);
            }
            if (Tags.ParseCoverArts && id == "APIC") LoadPicture(Tags, T, i);
            continue;
        }
        switch (FamilyOf(id)) {
            case TFamily::Content: LoadContent(Tags, T, i, name); break;
            case TFamily::People: LoadPeople(Tags, T, i, name); break;
            case TFamily::URL: Tags.Add(name)->Value = T.GetURL(i); break;
            default: LoadTextFrame(Tags, T, i, name); break;
        }
        f.AlreadyParsed = true;
    }
    Tags.Loaded = true;
}

bool MergePictures(TTags& Tags, TID3v2Tag& From) {
    bool added = false;
    for (int i = 0; i < From.GetFrameCount(); ++i) {
        if (!From.Frames[i]->IsID("APIC")) continue;
        if (LoadPicture(Tags, From, i)) added = true;
    }
    return added;
}

// ---- saving ---------------------------------------------------------------------------

void Prepare(TTags& Tags) {
    TID3v2Tag& T = Tags.ID3v2Tag();
    mapping::SplitTypedNumberTotal(Tags, true);
    mapping::SplitTypedNumberTotal(Tags, false);
    TSaveContext C{Tags, T, Tags.ID3v2WriteUTF8Text ? teUTF8 : teUnicode, WritesVersion4(T), {}};
    int ratingIndex = 0;
    for (int i = 0; i < Tags.Count(); ++i)
        C.Dest.push_back(DestinationOf(Tags, T, *Tags.TagAt(i), C.Version4, ratingIndex));

    // Each key is written once, when its first entry comes.
    std::vector<std::string> done, contentIDs;
    for (const TDestination& d : C.Dest) {
        if (d.Target == TTarget::None || std::find(done.begin(), done.end(), d.Key) != done.end()) continue;
        done.push_back(d.Key);
        switch (d.Target) {
            case TTarget::Number: SaveNumber(C, d); break;
            case TTarget::Date: SaveDate(C, d); break;
            case TTarget::Text: SaveText(C, d); break;
            case TTarget::Content: SaveContent(C, d, contentIDs); break;
            case TTarget::People: SavePeople(C, d); break;
            case TTarget::URL: SaveURL(C, d); break;
            case TTarget::UserURL: SaveUserURL(C, d); break;
            case TTarget::UserText: SaveUserText(C, d); break;
            case TTarget::PlayCount: SavePlayCount(C, d); break;
            case TTarget::Rating: SaveRating(C, d); break;
            case TTarget::None: break;
        }
    }

    // Without pictures loaded, the picture frames stay as they were read.
    if (Tags.ParseCoverArts) SavePictures(Tags, T);
}

int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream) {
    Prepare(Tags);
    Tags.ID3v2Tag().SetAllFrameDataStreams();
    if (Stream) {
        Stream->Seek(0);
        return Tags.ID3v2Tag().SaveToStream(*Stream, Buffered);
    }
    return Tags.ID3v2Tag().SaveToFile(FileName, Buffered);
}

void DeleteNative(TTags& Tags, const TTag& Entry) {
    TID3v2Tag& T = Tags.ID3v2Tag();
    // User-defined frames are matched on their description (which is the
    // entry's name only for a TXXX) and their value.
    if (Entry.ExtTagType == ettTXXX || Entry.ExtTagType == ettWXXX) {
        const bool txxx = Entry.ExtTagType == ettTXXX;
        const std::string desc = txxx && Entry.Description.empty() ? Entry.Name : Entry.Description;
        for (int i = T.GetFrameCount() - 1; i >= 0; --i) {
            if (!T.Frames[i]->IsID(txxx ? "TXXX" : "WXXX")) continue;
            std::string d;
            const std::string v = txxx ? T.GetUserDefinedTextInformation(i, d) : T.GetUserDefinedURLLink(i, d);
            if ((txxx ? text::SameText(d, desc) : d == desc) && v == Entry.Value) T.DeleteFrame(i);
        }
        return;
    }
    std::string frame = FrameOfUnifiedName(Entry.Name);
    if (FamilyOf(frame) == TFamily::Content) {
        // Only the comment or lyrics of this language and description: a
        // player's described comment beside it stays.
        for (int i = T.GetFrameCount() - 1; i >= 0; --i) {
            if (!T.Frames[i]->IsID(frame.c_str())) continue;
            std::string l, d;
            T.GetContent(i, l, d);
            if (d == Entry.Description && ContentLanguage(l) == ContentLanguage(Entry.Language)) T.DeleteFrame(i);
        }
    } else if (!frame.empty()) {
        T.DeleteFrames(frame);
    } else if (text::SameText(Entry.Name, "PLAYCOUNT")) {
        T.DeleteFrames("PCNT");
    } else {
        if (text::SameText(Entry.Name, fieldname::Rating)) {
            // The rating came from a POPM: that frame goes.
            for (int i : FramesOf(T, "POPM")) {
                std::string email;
                uint32_t counter = 0;
                uint8_t rating = 0;
                if (T.GetPopularimeter(i, email, counter, rating) && std::to_string(rating) == Entry.Value) {
                    T.DeleteFrame(i);
                    return;
                }
            }
        }
        // Names without a frame of their own are saved as TXXX frames (TOTALTRACKS
        // and the like); left behind, they would bring the deleted value back.
        for (int i; (i = T.FindTXXXByDescription(Entry.Name)) >= 0;) T.DeleteFrame(i);
    }
}

int Strip(const std::string& FileName) { return RemoveID3v2TagFromFile(FileName, false); }

bool StripFailed(int NativeCode) {
    return NativeCode == id3v2result::FileOpenFailed || NativeCode == id3v2result::WriteFailed ||
           NativeCode == id3v2result::ReadOnly;
}

// Before an automatic save writes the tag as the principal tag of a file
// that held none of its own: the frames of the encoder's stream figures
// (its length and its SEFC, SESC counts) go.
void BeforePrincipalSave(TID3v2Tag& Tag) {
    Tag.DeleteFrames("SEFC");
    Tag.DeleteFrames("SESC");
    Tag.DeleteFrames("TLEN");
}

TStreamValues StreamValues(const TTags& Tags) {
    const TID3v2Tag& Tag = Tags.ID3v2Tag();
    switch (Tag.SourceFileType()) {
        case sftMPEG: return MPEGValues(Tag.MPEGStream());
        case sftWAVE:
        case sftRF64:
        case sftAIFF:
        case sftDSF:
        case sftDFF: return ContainerValues(Tag);
        default: return {};
    }
}

}  // namespace id3v2module
