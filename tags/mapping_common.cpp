#include "tags/mapping_common.h"

#include <algorithm>

#include "tags/tags.h"
#include "tags/text.h"
#include "tags/field_names.h"

namespace mapping {

TNumberTotal SplitNumberTotal(const std::string& Value) {
    TNumberTotal r;
    size_t slash = Value.find('/');
    r.Number = text::Trim(Value.substr(0, slash));
    if (slash != std::string::npos) r.Total = text::Trim(Value.substr(slash + 1));
    return r;
}

std::string JoinNumberTotal(const TNumberTotal& Pair) {
    if (Pair.Number.empty()) return {};
    return Pair.Total.empty() ? Pair.Number : Pair.Number + "/" + Pair.Total;
}

namespace {

const char* NumberName(bool Track) { return Track ? fieldname::TrackNumber : fieldname::DiscNumber; }
const char* ShortNumberName(bool Track) { return Track ? "TRACK" : "DISC"; }
const char* TotalName(bool Track) { return Track ? fieldname::TotalTracks : fieldname::TotalDiscs; }
const char* ShortTotalName(bool Track) { return Track ? "TRACKTOTAL" : "DISCTOTAL"; }

// The number entry NumberAndTotal reads: TRACKNUMBER when it has a value, else TRACK.
TTag* NumberEntry(const TTags& Tags, bool Track) {
    TTag* t = Tags.Tag(NumberName(Track));
    if (t && !t->Value.empty()) return t;
    TTag* s = Tags.Tag(ShortNumberName(Track));
    return s ? s : t;
}

// The total entry of Name that came with the number, else the first of that name.
TTag* TotalEntry(const TTags& Tags, const char* Name) {
    TTag* first = nullptr;
    for (int i = 0; i < Tags.Count(); ++i) {
        TTag* t = Tags.TagAt(i);
        if (!text::SameText(t->Name, Name)) continue;
        if (t->ExtTagType == ettUnknown) return t;
        if (!first) first = t;
    }
    return first;
}

}  // namespace

bool IsTotalName(const std::string& Name, bool Track) {
    return text::SameText(Name, TotalName(Track)) || text::SameText(Name, ShortTotalName(Track));
}

bool IsNumberName(const std::string& Name, bool Track) {
    return text::SameText(Name, NumberName(Track)) || text::SameText(Name, ShortNumberName(Track));
}

std::array<const char*, 2> NumberNames(bool Track) { return {NumberName(Track), ShortNumberName(Track)}; }
std::array<const char*, 2> TotalNames(bool Track) { return {TotalName(Track), ShortTotalName(Track)}; }

TNumberTotal NumberAndTotal(const TTags& Tags, bool Track) {
    const TTag* n = NumberEntry(Tags, Track);
    const std::string number = n ? n->Value : std::string();
    TNumberTotal r = SplitNumberTotal(number);
    if (number.find('/') != std::string::npos) return r;
    for (const char* name : {TotalName(Track), ShortTotalName(Track)}) {
        const TTag* t = TotalEntry(Tags, name);
        if (t && !text::Trim(t->Value).empty()) {
            r.Total = text::Trim(t->Value);
            break;
        }
    }
    return r;
}

void SplitTypedNumberTotal(TTags& Tags, bool Track) {
    TTag* n = NumberEntry(Tags, Track);
    if (!n || n->Value.find('/') == std::string::npos) return;
    const TNumberTotal pair = SplitNumberTotal(n->Value);
    n->Value = pair.Number;
    TTag* total = TotalEntry(Tags, TotalName(Track));
    if (!total) total = TotalEntry(Tags, ShortTotalName(Track));
    if (!total) total = Tags.Add(TotalName(Track));
    total->Value = pair.Total;
}

const TTag* PlainEntry(const TTags& Tags, const std::string& Name) {
    for (int i = 0; i < Tags.Count(); ++i)
        if (text::SameText(Tags.TagAt(i)->Name, Name) && Tags.TagAt(i)->Description.empty()) return Tags.TagAt(i);
    return nullptr;
}

std::string FourDigitYear(const std::string& Value) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i = 0; i + 4 <= Value.size(); ++i)
        if (std::all_of(Value.begin() + (ptrdiff_t)i, Value.begin() + (ptrdiff_t)i + 4, digit))
            return Value.substr(i, 4);
    return {};
}

std::string YearIntoDate(const std::string& Stored, const std::string& Year) {
    const std::string typed = text::Trim(Year);
    const std::string y = FourDigitYear(typed);
    if (y.empty()) return {};
    if (typed.size() == 4 && typed == y) {
        if (Stored.size() > 4 && Stored.compare(0, 4, y) == 0) return Stored;
        return y;
    }
    // A full date typed in place of the year stays as typed.
    if (typed.compare(0, 4, y) == 0) return typed;
    return y;
}

std::string JoinLines(const std::vector<std::string>& Lines) {
    std::string s;
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (i) s += "\r\n";
        s += Lines[i];
    }
    return s;
}

std::vector<std::string> SplitLines(const std::string& Text) {
    std::vector<std::string> out;
    std::string cur;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' || Text[i] == '\n') {
            out.push_back(cur);
            cur.clear();
            if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        } else {
            cur += Text[i];
        }
    }
    out.push_back(cur);
    return out;
}

std::string CoverArtName(int N) { return "Cover art " + std::to_string(N); }

std::string NextCoverArtName(const TTags& Tags) { return CoverArtName(Tags.CoverArtCount() + 1); }

std::string PictureMIMEType(const TCoverArt& Picture) {
    if (!Picture.MIMEType.empty()) return Picture.MIMEType;
    TTagPictureFormat pf = Picture.PictureFormat != tpfUnknown
                               ? Picture.PictureFormat
                               : TTags::PicturePointerType(Picture.Data.data(), (int64_t)Picture.Data.size());
    switch (pf) {
        case tpfPNG: return "image/png";
        case tpfBMP: return "image/bmp";
        case tpfGIF: return "image/gif";
        case tpfTIFF: return "image/tiff";
        default: return "image/jpeg";
    }
}

TCoverArt* RecordCover(const TTags& Tags) {
    if (TCoverArt* c = Tags.CoverArt(CoverArtName(1))) return c;
    for (int i = 0; i < Tags.CoverArtCount(); ++i)
        if (Tags.CoverArtAt(i)->CoverType == FrontCoverType) return Tags.CoverArtAt(i);
    return Tags.CoverArtAt(0);
}

}  // namespace mapping
