// The container's WMA members: attribute names <-> unified names, the track,
// disc and year rules, pictures.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "tags/mapping_common.h"
#include "tags/stream.h"
#include "tags/stream_values.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/asf/wma_tag.h"
#include "tags/asf/wma_module.h"
#include "tags/field_names.h"

namespace {

struct TNamePair {
    const char* Unified;
    const char* Attribute;
};

// Unified name <-> attribute name. Rows read both ways unless noted below.
constexpr TNamePair NameTable[] = {
    {fieldname::Artist, "Author"},
    {fieldname::Title, "Title"},
    {fieldname::AlbumArtist, "WM/AlbumArtist"},
    {fieldname::Composer, "WM/Composer"},
    {"SUBTITLE", "WM/SubTitle"},
    {"MIXARTIST", "WM/ModifiedBy"},
    {fieldname::Album, "WM/AlbumTitle"},
    {fieldname::Copyright, "Copyright"},
    {"GROUPING", "WM/ContentGroupDescription"},
    {fieldname::Genre, "WM/Genre"},
    {"RELEASEDATE", "WM/ReleaseYear"},
    {fieldname::Year, "WM/Year"},
    {fieldname::TrackNumber, "WM/TrackNumber"},
    {fieldname::DiscNumber, "WM/PartOfSet"},
    {fieldname::Bpm, "WM/BeatsPerMinute"},
    {"KEY", "WM/InitialKey"},
    {"CONDUCTOR", "WM/Conductor"},
    {"LYRICIST", "WM/Writer"},
    {"PRODUCED", "WM/Produced"},
    {"STUDIO", "WM/Studio"},
    {fieldname::Publisher, "WM/Publisher"},
    {fieldname::EncodedBy, "WM/EncodedBy"},
    {"SOFTWARESETTINGS", "WM/EncodingSettings"},
    {"ISRC", "WM/ISRC"},
    {"CATALOGNUMBER", "WM/CatalogNo"},
    {"DISCSUBTITLE", "WM/SetSubTitle"},
    {"PARTOFSERIES", "WM/PartOfSeries"},
    {"LANGUAGE", "WM/Language"},
    {"RADIOSTATIONURL", "WM/RadioURL"},
    {"OFFICIALAUDIOSOURCEURL", "WM/AudioSourceURL"},
    {"FILEOWNER", "WM/FileOwner"},
    {"RADIOSTATIONOWNER", "WM/RadioStationOwner"},
    {"MEDIA", "WM/Media"},
    {"PRODUCER", "WM/Producer"},
    {"ARRANGER", "WM/Arranger"},
    {"ENGINEER", "WM/Engineer"},
    {"DJMIXER", "WM/DJMixer"},
    {"MIXER", "WM/Mixer"},
    {"TIPL", "WM/TIPL"},
    {"TMCL", "WM/TMCL"},
    {fieldname::Rating, "WM/SharedUserRating"},
    {"POPULARITY", "WM/Popularity"},
    {"QUALITY", "WM/Quality"},
    {"MOOD", "WM/Mood"},
    {"SITUATION", "WM/Situation"},
    {"PREFERENCE", "WM/Preference"},
    {fieldname::Comment, "Description"},
    {fieldname::Lyrics, "WM/Lyrics"},
    {"TEMPO", "WM/Tempo"},
    {"ARTISTSORT", "WM/ArtistSortOrder"},
    {"TITLESORT", "WM/TitleSortOrder"},
    {"ALBUMARTISTSORT", "WM/AlbumArtistSortOrder"},
    {"ALBUMSORT", "WM/AlbumSortOrder"},
    {fieldname::OriginalArtist, "WM/OriginalArtist"},
    {"ORIGINALTITLE", "WM/OriginalTitle"},
    {"ORIGINALLYRICIST", "WM/OriginalLyricist"},
    {"ORIGINALFILENAME", "WM/OriginalFilename"},
    {"ORIGINALRELEASEDATE", "WM/OriginalReleaseYear"},
    {fieldname::Url, "WM/PromotionURL"},
    {"ARTISTURL", "WM/AuthorURL"},
    {"AUDIOFILEURL", "WM/AudioFileURL"},
    {"BUYCDURL", "WM/BuyCDURL"},
    {"PUBLISHERURL", "WM/PublisherURL"},
    {"COPYRIGHTURL", "CopyrightURL"},
    {"PAYMENTURL", "WM/PaymentURL"},
    {"RADIOSTATIONNAME", "WM/RadioStationName"},
    {"PLAYCOUNT", "WM/Playcount"},
};
// Written only: these unified names share an attribute with a row above.
constexpr TNamePair WriteOnlyTable[] = {
    {"TRACK", "WM/TrackNumber"},
    {"DISC", "WM/PartOfSet"},
    {"RECORDINGDATE", "WM/Year"},
};

// Attributes the header computes or the encoder owns: not shown as entries.
constexpr const char* ReservedNames[] = {"Duration",
                                         "Bitrate",
                                         "Seekable",
                                         "Stridable",
                                         "Broadcast",
                                         "Is_Protected",
                                         "Is_Trusted",
                                         "Signature_Name",
                                         "HasAudio",
                                         "HasImage",
                                         "HasScript",
                                         "HasVideo",
                                         "CurrentBitrate",
                                         "OptimalBitrate",
                                         "HasAttachedImages",
                                         "Can_Skip_Backward",
                                         "Can_Skip_Forward",
                                         "NumberOfFrames",
                                         "FileSize",
                                         "HasArbitraryDataStream",
                                         "HasFileTransferStream",
                                         "WM/ContainerFormat",
                                         "WMFSDKVersion",
                                         "WMFSDKNeeded",
                                         "IsVBR",
                                         "WM/ASFPacketCount",
                                         "WM/ASFSecurityObjectsSize",
                                         "WM/Picture",
                                         "WM/StreamTypeInfo",
                                         "WM/PeakBitrate",
                                         "ASFLeakyBucketPairs"};

// The track and disc totals travel inside "n/m"; they get no attribute of their own.
constexpr const char* FoldedNames[] = {fieldname::TotalTracks, "TRACKTOTAL", fieldname::TotalDiscs, "DISCTOTAL"};

template <size_t N>
bool InList(const std::string& Name, const char* const (&List)[N], bool IgnoreCase) {
    for (const char* n : List)
        if (IgnoreCase ? text::SameText(Name, n) : Name == n) return true;
    return false;
}

// Attribute name -> unified name ("" for reserved names); case kept.
// One lookup instead of a walk over the tables for every attribute of every
// file; reserved names come first, then the first row naming an attribute.
std::string UnifiedOf(const std::string& Attribute) {
    static const std::unordered_map<std::string_view, std::string_view> Lookup = [] {
        std::unordered_map<std::string_view, std::string_view> m;
        for (const char* n : ReservedNames) m.emplace(n, std::string_view());
        m.emplace("WM/Track", fieldname::TrackNumber);
        for (const auto& p : NameTable) m.emplace(p.Attribute, p.Unified);
        return m;
    }();
    const auto it = Lookup.find(Attribute);
    return it == Lookup.end() ? Attribute : std::string(it->second);
}

// Unified name -> attribute name, ignoring case; names not listed keep their own.
std::string AttributeOf(const std::string& Unified) {
    for (const auto& p : NameTable)
        if (text::SameText(Unified, p.Unified)) return p.Attribute;
    for (const auto& p : WriteOnlyTable)
        if (text::SameText(Unified, p.Unified)) return p.Attribute;
    return Unified;
}

// Gives the frames of Attribute the values in order: existing frames keep
// their place, and a numeric frame keeps its type when the new value is a
// number; extra frames go, missing ones are appended.
void PutValues(TWMATag& Tag, const std::string& Attribute, const std::vector<std::string>& Values) {
    std::vector<TWMATagFrame*> frames;
    for (const auto& f : Tag.Frames)
        if (text::SameText(f->Name, Attribute)) frames.push_back(f.get());
    for (size_t i = 0; i < Values.size(); ++i) {
        TWMATagFrame* f = i < frames.size() ? frames[i] : Tag.AddFrame(Attribute);
        if (f->Format != WMT_TYPE_UNKNOWN && f->GetText() == Values[i]) continue;  // kept as stored
        const auto number = text::ParseInt(Values[i]);
        if (f->IsNumeric() && number && *number >= 0 &&
            (f->Format == WMT_TYPE_QWORD || *number <= (f->Format == WMT_TYPE_WORD ? 0xFFFF : 0xFFFFFFFFll)))
            f->SetInteger(f->Format, (uint64_t)*number);
        else
            f->SetText(Values[i]);
    }
    for (size_t i = Values.size(); i < frames.size(); ++i) frames[i]->Delete();
}

std::vector<std::string> ValuesOf(const TTags& Tags, const std::string& Name) {
    std::vector<std::string> v;
    for (int i = 0; i < Tags.Count(); ++i)
        if (text::SameText(Tags.TagAt(i)->Name, Name)) v.push_back(Tags.TagAt(i)->Value);
    return v;
}

const std::vector<std::string>* LoadedValuesOf(const TWMATag& Tag, const std::string& Name) {
    for (const auto& [n, v] : Tag.LoadedValues)
        if (text::SameText(n, Name)) return &v;
    return nullptr;
}

// Whether the container still holds what the file gave for Name.
bool Unchanged(const TWMATag& Tag, const std::string& Name, const std::vector<std::string>& Now) {
    const std::vector<std::string>* before = LoadedValuesOf(Tag, Name);
    return before && *before == Now;
}

bool IsTrackName(const std::string& N) {
    return text::SameText(N, fieldname::TrackNumber) || text::SameText(N, "TRACK");
}
bool IsDiscName(const std::string& N) { return text::SameText(N, fieldname::DiscNumber) || text::SameText(N, "DISC"); }

}  // namespace

namespace wmamodule {

void Merge(TTags& Tags) {
    TWMATag& T = Tags.WMATag();
    // "WM/Track" is the 0-based form that players without "WM/TrackNumber" read.
    bool haveTrackNumber = false;
    for (const auto& f : T.Frames) haveTrackNumber |= f->Name == "WM/TrackNumber";
    if (!Tags.OnlyParseCoverArts) {
        for (const auto& f : T.Frames) {
            const std::string u = UnifiedOf(f->Name);
            if (u.empty()) continue;
            Tags.RemoveAll(u);
            if (u == fieldname::TrackNumber || u == fieldname::DiscNumber)
                Tags.RemoveAll(u == fieldname::TrackNumber ? fieldname::TotalTracks : fieldname::TotalDiscs);
        }
    }
    if (Tags.ParseCoverArts && T.CoverArtCount() > 0) Tags.DeleteAllCoverArts();
    for (int i = 0; i < T.Count(); ++i) {
        const TWMATagFrame& f = *T.Frames[i];
        if (f.IsCoverArt() || Tags.OnlyParseCoverArts) continue;
        const std::string u = UnifiedOf(f.Name);
        if (u.empty()) continue;
        const std::string value = f.GetText();
        if (f.Name == "WM/Track") {
            if (haveTrackNumber || Tags.Exists(fieldname::TrackNumber) >= 0) continue;
            const auto n = text::ParseInt(value);
            Tags.Add(fieldname::TrackNumber)->Value = std::to_string((n ? *n : 0) + 1);
        } else if (f.Name == "WM/TIPL" || f.Name == "WM/TMCL") {
            std::vector<std::string> list;
            f.GetList(list);
            Tags.Add(u)->Value = mapping::JoinLines(list);
        } else if ((u == fieldname::TrackNumber || u == fieldname::DiscNumber) &&
                   value.find('/') != std::string::npos) {
            const mapping::TNumberTotal p = mapping::SplitNumberTotal(value);
            Tags.Add(u)->Value = p.Number;
            const char* total = u == fieldname::TrackNumber ? fieldname::TotalTracks : fieldname::TotalDiscs;
            Tags.RemoveAll(total);
            if (!p.Total.empty()) Tags.Add(total)->Value = p.Total;
        } else if (!value.empty()) {
            // The same value under two spellings of a name (ffmpeg writes
            // "Title" and "title", and "Author" twice) is one entry.
            bool copy = false;
            for (int k = 0; k < Tags.Count() && !copy; ++k)
                copy = text::SameText(Tags.TagAt(k)->Name, u) && Tags.TagAt(k)->Value == value;
            if (!copy) Tags.Add(u)->Value = value;
        }
    }
    if (Tags.ParseCoverArts) MergePictures(Tags, T);
    // What each name held after loading: a save leaves the attributes of
    // names whose values did not change exactly as they are.
    T.LoadedValues.clear();
    if (!Tags.OnlyParseCoverArts) {
        for (int i = 0; i < Tags.Count(); ++i) {
            const std::string& n = Tags.TagAt(i)->Name;
            if (!LoadedValuesOf(T, n)) T.LoadedValues.push_back({n, ValuesOf(Tags, n)});
        }
        T.LoadedValues.push_back({"#TRACK", {mapping::JoinNumberTotal(mapping::NumberAndTotal(Tags, true))}});
        T.LoadedValues.push_back({"#DISC", {mapping::JoinNumberTotal(mapping::NumberAndTotal(Tags, false))}});
    }
    Tags.Loaded = true;
}

bool MergePictures(TTags& Tags, TWMATag& FromWMATag) {
    bool added = false;
    for (int i = 0; i < FromWMATag.Count(); ++i) {
        if (!FromWMATag.Frames[i]->IsCoverArt()) continue;
        std::vector<uint8_t> data;
        std::string description, mime;
        uint32_t type = 0;
        if (!FromWMATag.GetCoverArtFromFrame(i, data, description, type, mime)) continue;
        TCoverArt* c = Tags.AddCoverArt(mapping::NextCoverArtName(Tags));
        c->MIMEType = mime;
        c->Data = std::move(data);
        c->Description = description;
        c->CoverType = type;
        c->PictureFormat = TTags::PicturePointerType(c->Data.data(), (int64_t)c->Data.size());
        added = true;
    }
    return added;
}

void Prepare(TTags& Tags) {
    TWMATag& T = Tags.WMATag();
    // Every distinct unified name once, in the order of its first entry.
    // (Names outside the table are written as they are spelt.)
    std::vector<std::string> names;
    for (int i = 0; i < Tags.Count(); ++i) {
        const std::string& n = Tags.TagAt(i)->Name;
        if (std::none_of(names.begin(), names.end(), [&](const std::string& x) { return text::SameText(x, n); }))
            names.push_back(n);
    }
    bool trackDone = false, discDone = false;
    for (const std::string& n : names) {
        if (InList(n, FoldedNames, true)) continue;
        if (IsTrackName(n)) {
            if (trackDone) continue;
            trackDone = true;
            const mapping::TNumberTotal p = mapping::NumberAndTotal(Tags, true);
            if (Unchanged(T, "#TRACK", {mapping::JoinNumberTotal(p)})) continue;
            const auto number = text::ParseInt(p.Number);
            PutValues(T, "WM/TrackNumber",
                      p.Number.empty() ? std::vector<std::string>{} : std::vector{mapping::JoinNumberTotal(p)});
            PutValues(T, "WM/Track",
                      p.Number.empty() ? std::vector<std::string>{}
                                       : std::vector{std::to_string((number ? *number : 1) - 1)});
            continue;
        }
        if (IsDiscName(n)) {
            if (discDone) continue;
            discDone = true;
            const mapping::TNumberTotal p = mapping::NumberAndTotal(Tags, false);
            if (Unchanged(T, "#DISC", {mapping::JoinNumberTotal(p)})) continue;
            PutValues(T, "WM/PartOfSet",
                      p.Number.empty() ? std::vector<std::string>{} : std::vector{mapping::JoinNumberTotal(p)});
            continue;
        }
        // One "WM/Year": the year when the container has one, else the recording date.
        if (text::SameText(n, "RECORDINGDATE") && Tags.Exists(fieldname::Year) >= 0) continue;
        if (Unchanged(T, n, ValuesOf(Tags, n))) continue;
        const std::string attribute = AttributeOf(n);
        if (text::SameText(n, "TIPL") || text::SameText(n, "TMCL")) {
            std::vector<std::string> list;
            for (int i = 0; i < Tags.Count(); ++i)
                if (text::SameText(Tags.TagAt(i)->Name, n))
                    for (const auto& line : mapping::SplitLines(Tags.TagAt(i)->Value))
                        if (!text::Trim(line).empty()) list.push_back(line);
            TWMATagFrame* f = T.Frame(attribute);
            if (list.empty()) {
                T.DeleteFrameByName(attribute);
            } else {
                if (!f) f = T.AddFrame(attribute);
                f->SetList(list);
            }
            continue;
        }
        std::vector<std::string> values;
        for (int i = 0; i < Tags.Count(); ++i)
            if (text::SameText(Tags.TagAt(i)->Name, n) && !Tags.TagAt(i)->Value.empty())
                values.push_back(Tags.TagAt(i)->Value);
        PutValues(T, attribute, values);
    }

    T.DeleteAllCoverArts();
    for (int i = 0; i < Tags.CoverArtCount(); ++i) {
        TCoverArt* c = Tags.CoverArtAt(i);
        T.AddCoverArtFrame(c->Data, mapping::PictureMIMEType(*c), c->Description, c->CoverType);
    }
}

int Save(TTags& Tags, const std::string& FileName, bool /*Buffered*/, TStream* Stream) {
    // The writer rewrites the ASF header in a file only.
    if (Stream) return tagresult::WMAToStream;
    Prepare(Tags);
    return Tags.WMATag().SaveToFile(FileName);
}

void DeleteNative(TTags& Tags, const TTag& Entry) {
    TWMATag& T = Tags.WMATag();
    std::vector<std::string> attributes;
    if (IsTrackName(Entry.Name))
        attributes = {"WM/TrackNumber", "WM/Track"};
    else if (text::SameText(Entry.Name, fieldname::Year) || text::SameText(Entry.Name, "RECORDINGDATE"))
        attributes = {"WM/Year"};
    else
        attributes = {AttributeOf(Entry.Name)};
    for (const auto& a : attributes)
        while (T.DeleteFrameByName(a)) {}
}

// Only files named as WMA are rewritten by an automatic strip.
int Strip(const std::string& FileName) {
    TWMATag Wma;
    Wma.LoadFromFile(FileName);
    Wma.Clear();
    return Wma.SaveToFile(FileName);
}

// WMA header: duration in milliseconds (play time ÷ 1000), bit rate, the
// number of frames as sample count, and the audio stream's channels, sample
// rate and bits per sample.
TStreamValues StreamValues(const TTags& Tags) {
    TStreamValues V;
    const TWMATag& W = Tags.WMATag();
    if (!W.Loaded) return V;
    V.PlayTime = double(W.Duration()) / 1000.0;
    V.BitRate.Value = W.BitRate();
    V.SampleCount.Value = W.NumberOfFrames();
    V.Channels.Value = W.Channels;
    V.SamplesPerSec.Value = W.SampleRate;
    V.BitsPerSample.Value = W.BitsPerSample;
    return V;
}

}  // namespace wmamodule
