// The container's WAV members: RIFF INFO item IDs <-> unified names, and the
// broadcast extension and cart fields as "BEXT ..." and "CART ..." entries.
#include <algorithm>
#include <string_view>

#include "tags/mapping_common.h"
#include "tags/stream_values.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/wav/wav_module.h"
#include "tags/wav/wav_tag.h"
#include "tags/field_names.h"

namespace {

struct TInfoName {
    const char* Id;
    const char* Unified;
};

// INFO item ID -> unified name (IDs compared exactly).
constexpr TInfoName InfoToUnified[] = {
    {"IART", fieldname::Artist},
    {"INAM", fieldname::Title},
    {"ICOM", fieldname::Composer},
    {"IURL", fieldname::Url},
    {"IALB", fieldname::Album},
    {"IPRD", fieldname::Album},
    {"ICOP", fieldname::Copyright},
    {"BCPR", fieldname::Copyright},
    {"IGNR", fieldname::Genre},
    {"ICRD", "RECORDINGDATE"},
    {"IYER", fieldname::Year},
    {"ITRK", fieldname::TrackNumber},
    {"itrk", fieldname::TrackNumber},
    {"IBPM", fieldname::Bpm},
    {"BKEY", "KEY"},
    {"BTPO", "TEMPO"},
    {"IENG", "PRODUCED"},
    {"STDO", "STUDIO"},
    {"IPUB", fieldname::Publisher},
    {"ITCH", fieldname::EncodedBy},
    {"ISFT", "ENCODERTOOL"},
    {"IKEY", "KEYWORDS"},
    {"ISRF", "MEDIA"},
    {"TIPL", "TIPL"},
    {"TMCL", "TMCL"},
    {"BEND", "MUSICEND"},
    {"BERG", "MUSICENERGY"},
    {"BTXR", "MUSICTEXTURE"},
    {"HKST", "HOOKSTART"},
    {"HKEN", "HOOKEND"},
    {"ICMT", fieldname::Comment},
    {"ILYR", fieldname::Lyrics},
    {"ISBJ", "SUBJECT"},
    {"IARL", "ARCHIVAL LOCATION"},
};

// Unified name -> the INFO item written.
constexpr TInfoName UnifiedToInfo[] = {
    {"IART", fieldname::Artist},
    {"INAM", fieldname::Title},
    {"ICOM", fieldname::Composer},
    {"IURL", fieldname::Url},
    {"IPRD", fieldname::Album},
    {"ICOP", fieldname::Copyright},
    {"IGNR", fieldname::Genre},
    {"ICRD", "RECORDINGDATE"},
    {"IYER", fieldname::Year},
    {"ITRK", fieldname::TrackNumber},
    {"ITRK", "TRACK"},
    {"IBPM", fieldname::Bpm},
    {"BKEY", "KEY"},
    {"BTPO", "TEMPO"},
    {"IENG", "PRODUCED"},
    {"STDO", "STUDIO"},
    {"IPUB", fieldname::Publisher},
    {"ITCH", fieldname::EncodedBy},
    {"ISFT", "ENCODERTOOL"},
    {"IKEY", "KEYWORDS"},
    {"ISRF", "MEDIA"},
    {"TIPL", "TIPL"},
    {"TMCL", "TMCL"},
    {"BEND", "MUSICEND"},
    {"BERG", "MUSICENERGY"},
    {"BTXR", "MUSICTEXTURE"},
    {"HKST", "HOOKSTART"},
    {"HKEN", "HOOKEND"},
    {"ICMT", fieldname::Comment},
    {"ILYR", fieldname::Lyrics},
    {"ISBJ", "SUBJECT"},
    {"IARL", "ARCHIVAL LOCATION"},
};

// Items other programs read for the same value; written in step with the
// item above so that a stale copy does not come back beside the new value.
constexpr TInfoName Aliases[] = {{"IPRD", "IALB"}, {"ICOP", "BCPR"}, {"ITRK", "itrk"}};

constexpr const char* BextTextFields[] = {"Description", "Originator", "OriginatorReference", "OriginationDate",
                                          "OriginationTime"};
constexpr const char* BextWordFields[] = {"LoudnessValue", "LoudnessRange", "MaxTruePeakLevel", "MaxMomentaryLoudness",
                                          "MaxShortTermLoudness"};
constexpr const char* CartTextFields[] = {
    "Version",   "Title",     "Artist",  "CutID",   "ClientID",      "Category",           "Classification", "OutCue",
    "StartDate", "StartTime", "EndDate", "EndTime", "ProducerAppID", "ProducerAppVersion", "UserDef"};

std::string UnifiedOfInfo(const std::string& Id) {
    for (const auto& p : InfoToUnified)
        if (Id == p.Id) return p.Unified;
    return {};
}

// ffmpeg keeps the track number in IPRT, an item other writers use for the
// product; it is read as the track only where no ITRK (or "itrk") holds one.
constexpr const char* FfmpegTrackItem = "IPRT";

bool HasTrackItem(const TWAVTag& T) { return T.FrameExists("ITRK") >= 0 || T.FrameExists("itrk") >= 0; }

bool IprtIsTrack(const TWAVTag& T) { return T.FrameExists(FfmpegTrackItem) >= 0 && !HasTrackItem(T); }

// The unified name of one item of this tag.
std::string UnifiedOfFrame(const TWAVTag& T, const std::string& Id) {
    if (Id == FfmpegTrackItem) return IprtIsTrack(T) ? fieldname::TrackNumber : std::string();
    return UnifiedOfInfo(Id);
}

std::string InfoOfUnified(const std::string& Name) {
    const std::string upper = text::UpperAscii(Name);
    for (const auto& p : UnifiedToInfo)
        if (upper == p.Unified) return p.Id;
    return {};
}

uint64_t ParseUnsigned(const std::string& Text, uint64_t Max) {
    const auto v = text::ParseInt(text::Trim(Text));
    if (v && *v >= 0 && (uint64_t)*v <= Max) return (uint64_t)*v;
    // Values beyond the signed 64-bit range.
    const std::string t = text::Trim(Text);
    if (!t.empty() && t.size() <= 20 && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        uint64_t n = 0;
        for (char c : t) {
            if (n > (UINT64_MAX - uint64_t(c - '0')) / 10) return 0;
            n = n * 10 + uint64_t(c - '0');
        }
        return n <= Max ? n : 0;
    }
    return 0;
}

// The values of a name go into the items of its ID in file order, so a
// file with two INFO lists keeps a title in each; values beyond the items
// are joined into the last one, items beyond the values go. An item that
// already reads as its value keeps its bytes.
void SetItems(TWAVTag& T, const std::string& Id, const std::vector<std::string>& Values) {
    std::vector<int> items;
    for (int i = 0; i < T.Count(); ++i)
        if (T.Frames[i]->Name == Id) items.push_back(i);
    auto joined = [&](size_t From) {
        std::string v;
        for (size_t k = From; k < Values.size(); ++k) v += (k > From ? ", " : "") + Values[k];
        return v;
    };
    if (items.size() < 2) {
        T.SetText(Id, joined(0));
        return;
    }
    std::vector<int> drop;
    for (size_t k = 0; k < items.size(); ++k) {
        const std::string v = k >= Values.size() ? std::string() : k + 1 == items.size() ? joined(k) : Values[k];
        TWAVTagFrame& f = *T.Frames[items[k]];
        if (v.empty())
            drop.push_back(items[k]);
        else if (f.Format != TWAVTagFrameFormat::ffText || f.GetText() != v)
            f.SetText(v);
    }
    for (auto i = drop.rbegin(); i != drop.rend(); ++i) T.DeleteFrame(*i);
}

bool StartsWith(const std::string& S, std::string_view Prefix) {
    return S.size() >= Prefix.size() && text::SameText(std::string_view(S).substr(0, Prefix.size()), Prefix);
}

// ICRD holds the date most programs write and take the year from; IYER, which
// a few writers add beside it, is kept in step where the file has it. A year
// typed into YEAR that the file does not hold yet goes into ICRD (a full date
// there with that year stays whole), so readers of ICRD do not keep the old year.
void PrepareDate(TTags& Tags, TWAVTag& T) {
    const bool hasYear = Tags.Exists(fieldname::Year) >= 0, hasDate = Tags.Exists("RECORDINGDATE") >= 0;
    const std::string year = Tags.GetText(fieldname::Year), date = Tags.GetText("RECORDINGDATE");
    const bool nativeYear = T.FrameExists("IYER") >= 0;
    const bool yearTyped = hasYear && !year.empty() && (!nativeYear || T.GetText("IYER") != year);
    if (yearTyped) {
        const bool sameYear = year.size() == 4 && date.size() > 4 && date.compare(0, 4, year) == 0;
        SetItems(T, "ICRD", {sameYear ? date : year});
    } else if (hasDate) {
        SetItems(T, "ICRD", {date});
    }
    if (hasYear && (nativeYear || !yearTyped)) SetItems(T, "IYER", {year});
}

}  // namespace

namespace wavmodule {

void Merge(TTags& Tags) {
    TWAVTag& T = Tags.WAVTag();
    for (const auto& f : T.Frames) {
        const std::string u = UnifiedOfFrame(T, f->Name);
        if (u.empty()) continue;
        Tags.RemoveAll(u);
        // A total comes with "n/m" only; a plain number leaves an earlier total.
        if (u == fieldname::TrackNumber && f->GetText().find('/') != std::string::npos)
            Tags.RemoveAll(fieldname::TotalTracks);
    }
    // An item and its alias (IPRD and IALB, ...) holding the same value give one entry.
    struct TSeen {
        std::string Unified, Value, Id;
    };
    std::vector<TSeen> seen;
    auto aliasCopy = [&](const std::string& u, const std::string& v, const std::string& id) {
        for (const auto& s : seen)
            if (s.Unified == u && s.Value == v && s.Id != id) return true;
        seen.push_back({u, v, id});
        return false;
    };
    for (const auto& f : T.Frames) {
        const std::string u = UnifiedOfFrame(T, f->Name);
        if (u.empty()) continue;
        const std::string value = f->GetText();
        if (aliasCopy(u, value, f->Name)) continue;
        if (u == fieldname::TrackNumber && value.find('/') != std::string::npos) {
            const mapping::TNumberTotal p = mapping::SplitNumberTotal(value);
            Tags.Add(fieldname::TrackNumber)->Value = p.Number;
            Tags.RemoveAll(fieldname::TotalTracks);
            if (!p.Total.empty()) Tags.Add(fieldname::TotalTracks)->Value = p.Total;
        } else if (u == "TIPL" || u == "TMCL") {
            std::vector<std::string> list;
            f->GetList(list);
            Tags.Add(u)->Value = mapping::JoinLines(list);
        } else {
            Tags.Add(u)->Value = value;
        }
    }
    if (T.BEXT.Loaded) {
        for (const char* n : BextTextFields) Tags.Add(std::string("BEXT ") + n)->Value = T.BEXT.GetField(n);
        Tags.Add("BEXT TimeReference")->Value = std::to_string(T.BEXT.TimeReference());
        Tags.Add("BEXT Version")->Value = std::to_string(T.BEXT.GetWord("Version"));
        Tags.Add("BEXT UMID")->Value = T.BEXT.GetUMID();
        for (const char* n : BextWordFields)
            Tags.Add(std::string("BEXT ") + n)->Value = std::to_string(T.BEXT.GetWord(n));
        Tags.Add("BEXT CodingHistory")->Value = T.BEXT.GetCodingHistory();
    }
    if (T.CART.Loaded) {
        for (const char* n : CartTextFields) Tags.Add(std::string("CART ") + n)->Value = T.CART.GetField(n);
        Tags.Add("CART LevelReference")->Value = std::to_string(T.CART.LevelReference());
        for (int i = 0; i < 8; ++i) {
            const TCART_TIMER t = T.CART.GetPostTimer(i);
            Tags.Add("CART PostTimer" + std::to_string(i))->Value = t.Usage + " " + std::to_string(t.Value);
        }
        Tags.Add("CART URL")->Value = T.CART.GetField(fieldname::Url);
        Tags.Add("CART Reserved")->Value = T.CART.GetField("Reserved");
        Tags.Add("CART TagText")->Value = T.CART.GetTagText();
    }
    Tags.Loaded = true;
}

void Prepare(TTags& Tags) {
    TWAVTag& T = Tags.WAVTag();
    std::vector<std::string> done;
    for (int i = 0; i < Tags.Count(); ++i) {
        const TTag& e = *Tags.TagAt(i);
        const std::string& n = e.Name;
        if (StartsWith(n, "BEXT ")) {
            const std::string field = n.substr(5);
            if (T.BEXT.SetField(field, e.Value)) continue;
            if (text::SameText(field, "TimeReference"))
                T.BEXT.SetTimeReference(ParseUnsigned(e.Value, UINT64_MAX));
            else if (text::SameText(field, "UMID"))
                T.BEXT.SetUMID(e.Value);
            else if (text::SameText(field, "CodingHistory"))
                T.BEXT.SetCodingHistory(e.Value);
            else
                T.BEXT.SetWord(field, uint16_t(text::ParseInt(text::Trim(e.Value)).value_or(0)));
            continue;
        }
        if (StartsWith(n, "CART ")) {
            const std::string field = n.substr(5);
            if (StartsWith(field, "PostTimer") && field.size() == 10 && field[9] >= '0' && field[9] <= '7') {
                TCART_TIMER t;
                const size_t blank = e.Value.find(' ');
                t.Usage = blank == std::string::npos ? std::string() : e.Value.substr(0, blank);
                t.Value = (uint32_t)ParseUnsigned(blank == std::string::npos ? e.Value : e.Value.substr(blank + 1),
                                                  UINT32_MAX);
                T.CART.SetPostTimer(field[9] - '0', t);
            } else if (text::SameText(field, "LevelReference")) {
                T.CART.SetLevelReference((uint32_t)ParseUnsigned(e.Value, UINT32_MAX));
            } else if (text::SameText(field, "TagText")) {
                T.CART.SetTagText(e.Value);
            } else {
                T.CART.SetField(field, e.Value);
            }
            continue;
        }
        const std::string id = InfoOfUnified(n);
        if (id.empty()) continue;
        // The date and the year are written together below.
        if (id == "ICRD" || id == "IYER") continue;
        if (std::find(done.begin(), done.end(), id) != done.end()) continue;
        done.push_back(id);
        if (id == "TIPL" || id == "TMCL") {
            std::vector<std::string> list;
            for (const auto& line : mapping::SplitLines(e.Value))
                if (!text::Trim(line).empty()) list.push_back(line);
            T.SetList(id, list);
            continue;
        }
        if (id == "ITRK" && IprtIsTrack(T)) {
            T.SetText(FfmpegTrackItem, mapping::JoinNumberTotal(mapping::NumberAndTotal(Tags, true)));
            continue;
        }
        std::vector<std::string> values;
        if (id == "ITRK")
            values.push_back(mapping::JoinNumberTotal(mapping::NumberAndTotal(Tags, true)));
        else if (Tags.TypeCount(n) < 2)
            values.push_back(e.Value);
        else
            Tags.GetMultipleList(n, values);
        SetItems(T, id, values);
        for (const auto& a : Aliases)
            if (id == a.Id && T.FrameExists(a.Unified) >= 0) SetItems(T, a.Unified, values);
    }
    PrepareDate(Tags, T);
}

int Save(TTags& Tags, const std::string& FileName, bool /*Buffered*/, TStream* Stream) {
    Prepare(Tags);
    return Stream ? Tags.WAVTag().SaveToStream(*Stream) : Tags.WAVTag().SaveToFile(FileName);
}

void DeleteNative(TTags& Tags, const TTag& Entry) {
    TWAVTag& T = Tags.WAVTag();
    const std::string& n = Entry.Name;
    if (StartsWith(n, "BEXT ")) {
        const std::string field = n.substr(5);
        if (!T.BEXT.SetField(field, "")) {
            if (text::SameText(field, "TimeReference"))
                T.BEXT.SetTimeReference(0);
            else if (text::SameText(field, "UMID"))
                T.BEXT.SetUMID("");
            else if (text::SameText(field, "CodingHistory"))
                T.BEXT.SetCodingHistory("");
            else
                T.BEXT.SetWord(field, 0);
        }
        return;
    }
    if (StartsWith(n, "CART ")) {
        const std::string field = n.substr(5);
        if (text::SameText(field, "TagText"))
            T.CART.SetTagText("");
        else if (text::SameText(field, "LevelReference"))
            T.CART.SetLevelReference(0);
        else if (StartsWith(field, "PostTimer") && field.size() == 10 && field[9] >= '0' && field[9] <= '7')
            T.CART.SetPostTimer(field[9] - '0', {});
        else
            T.CART.SetField(field, "");
        return;
    }
    // Every item that reads as this name goes, aliases included.
    std::string upper = text::UpperAscii(n);
    if (upper == "TRACK") upper = fieldname::TrackNumber;
    const bool iprt = IprtIsTrack(T);
    for (const auto& p : InfoToUnified)
        if (upper == p.Unified)
            while (T.DeleteFrameByName(p.Id)) {}
    if (iprt && upper == fieldname::TrackNumber)
        while (T.DeleteFrameByName(FfmpegTrackItem)) {}
}

bool Holds(const TTag& Entry) {
    const std::string& n = Entry.Name;
    return StartsWith(n, "BEXT ") || StartsWith(n, "CART ") || !InfoOfUnified(n).empty() ||
           mapping::IsTotalName(n, true);
}

int Strip(const std::string& FileName) { return RemoveWAVTagFromFile(FileName); }

// Chunks found that could not be written out of the file.
bool StripFailed(int NativeCode) { return NativeCode == wavresult::OpenFailed || NativeCode == wavresult::Failed; }

// WAV format chunk: play time, bit rate, channels, samples per second, bits
// per sample, sample count.
TStreamValues StreamValues(const TTags& Tags) {
    TStreamValues V;
    const TWAVTag& W = Tags.WAVTag();
    if (!W.StreamRead) return V;
    V.PlayTime = W.PlayTime;
    V.BitRate.Value = streamvalues::ClampedInt<uint32_t>(W.BitRate);
    V.Channels.Value = W.Attributes.Channels;
    V.BitsPerSample.Value = W.Attributes.BitsPerSample;
    V.SamplesPerSec.Value = W.Attributes.SamplesPerSec;
    V.SampleCount.Value = streamvalues::ClampedInt<int64_t>((int64_t)std::min<uint64_t>(W.SampleCount, INT64_MAX));
    return V;
}

}  // namespace wavmodule
