#include "tags/mapping_common.h"

#include <algorithm>

#include "tags/tags.h"
#include "tags/text.h"

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

TNumberTotal NumberAndTotal(const TTags& Tags, bool Track) {
    std::string number = Tags.GetText(Track ? "TRACKNUMBER" : "DISCNUMBER");
    if (number.empty()) number = Tags.GetText(Track ? "TRACK" : "DISC");
    TNumberTotal r = SplitNumberTotal(number);
    if (number.find('/') != std::string::npos) return r;
    r.Total = text::Trim(Tags.GetText(Track ? "TOTALTRACKS" : "TOTALDISCS"));
    if (r.Total.empty()) r.Total = text::Trim(Tags.GetText(Track ? "TRACKTOTAL" : "DISCTOTAL"));
    return r;
}

std::string FourDigitYear(const std::string& Value) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i = 0; i + 4 <= Value.size(); ++i)
        if (std::all_of(Value.begin() + (ptrdiff_t)i, Value.begin() + (ptrdiff_t)i + 4, digit))
            return Value.substr(i, 4);
    return {};
}

std::string YearIntoDate(const std::string& Stored, const std::string& Year) {
    const std::string y = text::Trim(Year);
    if (y.empty()) return {};
    if (y.size() == 4 && Stored.size() > 4 && Stored.compare(0, 4, y) == 0) return Stored;
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
