// ID3v2 frame bodies: every family's parse and build side by side, sharing
// the field codecs (encoding byte, terminated text, language).
#include <algorithm>
#include <cstring>

#include "tags/text.h"
#include "tags/id3/id3v2_internal.h"

namespace id3v2 {

// ---- field codecs ----------------------------------------------------------------

uint8_t ReadEncoding(TByteReader& R) {
    if (R.atEnd()) return 0;
    uint8_t e = *R.current();
    if (e > 3) return 0;  // not an encoding byte: the body starts with text
    R.skip(1);
    return e;
}

// Encoding 0 and 3 end at 0x00, encodings 1 and 2 at a 0x0000 code unit.
std::string ReadString(TByteReader& R, uint8_t Encoding, bool& BigEndian) {
    if (Encoding == 0 || Encoding == 3) {
        std::string raw = R.strz();
        return Encoding == 0 ? text::Latin1ToUtf8(raw) : text::Utf8OrAnsi(raw);
    }
    if (Encoding == 1 && R.remaining() >= 2) {
        const uint8_t* p = R.current();
        if (p[0] == 0xFF && p[1] == 0xFE) {
            BigEndian = false;
            R.skip(2);
        } else if (p[0] == 0xFE && p[1] == 0xFF) {
            BigEndian = true;
            R.skip(2);
        }
    }
    const bool be = Encoding == 2 ? true : BigEndian;
    const uint8_t* start = R.current();
    size_t n = 0;
    while (R.remaining() >= 2) {
        const uint8_t* p = R.current();
        R.skip(2);
        if (p[0] == 0 && p[1] == 0) break;
        n += 2;
    }
    if (R.remaining() == 1) R.skip(1);  // an odd trailing byte belongs to no character
    return text::Utf16ToUtf8(std::span<const uint8_t>(start, n), be);
}

uint8_t EncodingByte(TID3v2TextEncoding Encoding) {
    switch (Encoding) {
        case teUnicode: return 1;
        case teUTF8: return 3;
        default: return 0;
    }
}

void WriteString(TByteWriter& W, const std::string& Text, TID3v2TextEncoding Encoding, bool WithMark, bool Terminate) {
    switch (Encoding) {
        case teUnicode: {
            auto u = text::Utf8ToUtf16(Text, false, WithMark);
            W.bytes(u.data(), u.size());
            if (Terminate) W.u16le(0);
            break;
        }
        case teUTF8:
            W.str(Text);
            if (Terminate) W.u8(0);
            break;
        default:
            W.str(text::Utf8ToAnsi(Text));
            if (Terminate) W.u8(0);
            break;
    }
}

// Every string of a text-bearing body; trailing empty strings (stray terminators) are dropped.
static std::vector<std::string> ReadAllStrings(TByteReader& R, uint8_t Encoding, bool& BigEndian) {
    std::vector<std::string> out;
    while (!R.atEnd()) out.push_back(ReadString(R, Encoding, BigEndian));
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

static std::string Join(const std::vector<std::string>& List) {
    std::string s;
    for (size_t i = 0; i < List.size(); ++i) {
        if (i) s += "\r\n";
        s += List[i];
    }
    return s;
}

std::vector<uint8_t> BuildPictureBody(TID3v2TextEncoding Encoding, const std::string& MIMEType, uint8_t PictureType,
                                      const std::string& Description, const uint8_t* Picture, size_t PictureSize) {
    TByteWriter w;
    w.u8(EncodingByte(Encoding));
    w.str(text::Utf8ToLatin1(MIMEType)).u8(0);
    w.u8(PictureType);
    WriteString(w, Description, Encoding, true);
    w.bytes(Picture, PictureSize);
    return w.take();
}

// ---- chapters --------------------------------------------------------------------

// CHAP: element ID (terminated), start / end time, start / end offset (4 bytes
// each), embedded frames. CTOC: element ID, flags, entry count, child IDs, frames.
void ParseChapterFrame(TID3v2Frame& Frame, int MajorVersion, int Depth) {
    auto* wf = dynamic_cast<TID3v2FrameWithSubFrames*>(&Frame);
    if (!wf) return;
    wf->ParsedCleanly = false;
    wf->SubFrames->DeleteAllFrames();
    if (Depth > id3v2limit::MaxChapterDepth || Frame.Data.empty()) return;
    try {
        TByteReader r(Frame.Data);
        if (auto* c = dynamic_cast<TID3v2FrameCHAP*>(&Frame)) {
            c->ElementID = text::Latin1ToUtf8(r.strz());
            c->StartTime = r.u32be();
            c->EndTime = r.u32be();
            c->StartOffset = r.u32be();
            c->EndOffset = r.u32be();
        } else if (auto* t = dynamic_cast<TID3v2FrameCTOC*>(&Frame)) {
            t->ElementID = text::Latin1ToUtf8(r.strz());
            uint8_t flags = r.u8();
            t->TopLevel = flags & 0x02;
            t->Ordered = flags & 0x01;
            uint8_t count = r.u8();
            t->ChildElementIDs.clear();
            for (int i = 0; i < count; ++i) t->ChildElementIDs.push_back(text::Latin1ToUtf8(r.strz()));
        }
        ReadFrames(r, *wf->SubFrames, MajorVersion, false, Depth);
        // Only a body understood to its last byte may be rebuilt from the fields.
        wf->ParsedCleanly = r.atEnd();
    } catch (const ETagFormat&) {
        wf->SubFrames->DeleteAllFrames();
    }
}

std::vector<uint8_t> BuildChapterBody(const TID3v2Frame& Frame, int MajorVersion) {
    TByteWriter w;
    if (auto* c = dynamic_cast<const TID3v2FrameCHAP*>(&Frame)) {
        w.str(text::Utf8ToLatin1(c->ElementID)).u8(0);
        w.u32be(c->StartTime).u32be(c->EndTime).u32be(c->StartOffset).u32be(c->EndOffset);
        WriteFrames(w, *c->SubFrames, MajorVersion);
    } else if (auto* t = dynamic_cast<const TID3v2FrameCTOC*>(&Frame)) {
        w.str(text::Utf8ToLatin1(t->ElementID)).u8(0);
        w.u8((t->TopLevel ? 0x02 : 0) | (t->Ordered ? 0x01 : 0));
        size_t n = std::min<size_t>(t->ChildElementIDs.size(), 255);
        w.u8((uint8_t)n);
        for (size_t i = 0; i < n; ++i) w.str(text::Utf8ToLatin1(t->ChildElementIDs[i])).u8(0);
        WriteFrames(w, *t->SubFrames, MajorVersion);
    }
    return w.take();
}

}  // namespace id3v2

using namespace id3v2;

namespace {

// A setter replaces the body: flags that describe the old stored form go.
void SetBody(TID3v2Frame& F, std::vector<uint8_t> Body) {
    F.Data = std::move(Body);
    F.Size = (uint32_t)F.Data.size();
    F.Compressed = F.Encrypted = F.Unsynchronised = F.DataLengthIndicator = false;
    F.DataLengthIndicatorValue = 0;
}

bool Trimming(const TID3v2Frames& L) { return !L.Root || L.Root->TrimText; }

}  // namespace

int TID3v2Frames::FindOrAdd(const std::string& FrameID) {
    int i = FrameExists(FrameID);
    return i >= 0 ? i : AddFrame(FrameID);
}

// ---- text -----------------------------------------------------------------------

// Every string of a text frame. With Native, a UTF-8 body is shown byte by
// byte in the ANSI code page (how a reader unaware of UTF-8 would see it).
static bool ReadTextStrings(const TID3v2Frames& L, int FrameIndex, bool Native, std::vector<std::string>& List) {
    List.clear();
    const TID3v2Frame* f = L.Frame(FrameIndex);
    if (!f || f->Data.empty()) return false;
    try {
        TByteReader r(f->Data);
        uint8_t enc = ReadEncoding(r);
        bool be = false;
        while (!r.atEnd()) List.push_back(Native && enc == 3 ? text::AnsiToUtf8(r.strz()) : ReadString(r, enc, be));
    } catch (const ETagFormat&) {}
    while (!List.empty() && List.back().empty()) List.pop_back();
    if (Trimming(L))
        for (auto& s : List) s = text::Trim(s);
    return !List.empty();
}

bool TID3v2Frames::GetTextMultiple(int FrameIndex, std::vector<std::string>& List) const {
    return ReadTextStrings(*this, FrameIndex, false, List);
}

bool TID3v2Frames::GetTextMultiple(const std::string& FrameID, std::vector<std::string>& List) const {
    return GetTextMultiple(FrameExists(FrameID), List);
}

std::string TID3v2Frames::GetText(int FrameIndex, bool ReturnNativeText) const {
    std::vector<std::string> list;
    ReadTextStrings(*this, FrameIndex, ReturnNativeText, list);
    std::string s = Join(list);
    return Trimming(*this) ? text::Trim(s) : s;
}

std::string TID3v2Frames::GetText(const std::string& FrameID, bool ReturnNativeText) const {
    return GetText(FrameExists(FrameID), ReturnNativeText);
}

bool TID3v2Frames::SetText(const std::string& FrameID, const std::string& Text, TID3v2TextEncoding Encoding) {
    if (Text.empty()) {
        DeleteFrame(FrameID);
        return true;
    }
    return SetTextMultiple(FrameID, {Text}, Encoding);
}

bool TID3v2Frames::SetTextMultiple(const std::string& FrameID, const std::vector<std::string>& List,
                                   TID3v2TextEncoding Encoding) {
    TByteWriter w;
    w.u8(EncodingByte(Encoding));
    for (const auto& s : List) WriteString(w, s, Encoding, true);
    SetBody(*Frames[FindOrAdd(FrameID)], w.take());
    return true;
}

bool TID3v2Frames::SetRawText(const std::string& FrameID, const std::string& Text) {
    TByteWriter w;
    w.u8(0);
    WriteString(w, Text, teANSI, false);
    SetBody(*Frames[FindOrAdd(FrameID)], w.take());
    return true;
}

// ---- comments and lyrics: encoding, language (3), description, text ----------------

std::string TID3v2Frames::GetContent(int FrameIndex, std::string& LanguageID, std::string& Description) const {
    LanguageID.clear();
    Description.clear();
    const TID3v2Frame* f = Frame(FrameIndex);
    if (!f || f->Data.empty()) return {};
    std::string content;
    try {
        TByteReader r(f->Data);
        uint8_t enc = ReadEncoding(r);
        for (uint8_t c : r.bytes(3))
            if (c) LanguageID += (char)c;
        bool be = false;
        Description = ReadString(r, enc, be);
        content = ReadString(r, enc, be);
    } catch (const ETagFormat&) {}
    return Trimming(*this) ? text::Trim(content) : content;
}

static void WriteLanguage(TByteWriter& W, const std::string& LanguageID) {
    std::string l = LanguageID.substr(0, 3);
    while (l.size() < 3) l += ' ';
    W.str(l);
}

static std::vector<uint8_t> BuildContent(const std::string& Content, TID3v2TextEncoding Encoding,
                                         const std::string& Description, const std::string& LanguageID) {
    TByteWriter w;
    w.u8(EncodingByte(Encoding));
    WriteLanguage(w, LanguageID);
    WriteString(w, Description, Encoding, true);
    WriteString(w, Content, Encoding, true);
    return w.take();
}

bool TID3v2Frames::SetContent(const std::string& FrameID, const std::string& Content, TID3v2TextEncoding Encoding,
                              const std::string& Description, const std::string& LanguageID) {
    SetBody(*Frames[FindOrAdd(FrameID)], BuildContent(Content, Encoding, Description, LanguageID));
    return true;
}

bool TID3v2Frames::SetContentAt(int FrameIndex, const std::string& Content, TID3v2TextEncoding Encoding,
                                const std::string& Description, const std::string& LanguageID) {
    TID3v2Frame* f = Frame(FrameIndex);
    if (!f) return false;
    SetBody(*f, BuildContent(Content, Encoding, Description, LanguageID));
    return true;
}

// ---- user-defined text: encoding, description, values ------------------------------

bool TID3v2Frames::GetUserDefinedTextInformationMultiple(int FrameIndex, std::string& Description,
                                                         std::vector<std::string>& List) const {
    Description.clear();
    List.clear();
    const TID3v2Frame* f = Frame(FrameIndex);
    if (!f || f->Data.empty()) return false;
    try {
        TByteReader r(f->Data);
        uint8_t enc = ReadEncoding(r);
        bool be = false;
        Description = ReadString(r, enc, be);
        List = ReadAllStrings(r, enc, be);
    } catch (const ETagFormat&) {}
    if (Trimming(*this))
        for (auto& s : List) s = text::Trim(s);
    return !List.empty();
}

std::string TID3v2Frames::GetUserDefinedTextInformation(int FrameIndex, std::string& Description) const {
    std::vector<std::string> list;
    GetUserDefinedTextInformationMultiple(FrameIndex, Description, list);
    return Join(list);
}

static std::vector<uint8_t> BuildUserText(const std::string& Description, TID3v2TextEncoding Encoding,
                                          const std::vector<std::string>& List) {
    TByteWriter w;
    w.u8(EncodingByte(Encoding));
    WriteString(w, Description, Encoding, true);
    for (const auto& s : List) WriteString(w, s, Encoding, true);
    return w.take();
}

bool TID3v2Frames::SetUserDefinedTextInformationMultiple(const std::string& FrameID, const std::string& Description,
                                                         TID3v2TextEncoding Encoding,
                                                         const std::vector<std::string>& List) {
    SetBody(*Frames[FindOrAdd(FrameID)], BuildUserText(Description, Encoding, List));
    return true;
}

int TID3v2Frames::FindTXXXByDescription(const std::string& Description) const {
    for (int i = 0; i < GetFrameCount(); ++i) {
        if (!Frames[i]->IsID("TXXX")) continue;
        std::string d;
        std::vector<std::string> l;
        GetUserDefinedTextInformationMultiple(i, d, l);
        if (text::SameText(d, Description)) return i;
    }
    return -1;
}

bool TID3v2Frames::SetTXXXByDescriptionMultiple(const std::string& Description, const std::vector<std::string>& List,
                                                TID3v2TextEncoding Encoding) {
    int i = FindTXXXByDescription(Description);
    if (i < 0) i = AddFrame("TXXX");
    SetBody(*Frames[i], BuildUserText(Description, Encoding, List));
    return true;
}

// ---- links -----------------------------------------------------------------------

// WXXX: encoding, description, URL (ISO-8859-1 to a 0x00 or the end).
std::string TID3v2Frames::GetUserDefinedURLLink(int FrameIndex, std::string& Description) const {
    Description.clear();
    const TID3v2Frame* f = Frame(FrameIndex);
    if (!f || f->Data.empty()) return {};
    std::string url;
    try {
        TByteReader r(f->Data);
        uint8_t enc = ReadEncoding(r);
        bool be = false;
        Description = ReadString(r, enc, be);
        url = text::Latin1ToUtf8(r.strz());
    } catch (const ETagFormat&) {}
    return url;
}

static std::vector<uint8_t> BuildUserURL(const std::string& Description, const std::string& URL,
                                         TID3v2TextEncoding Encoding) {
    TByteWriter w;
    w.u8(EncodingByte(Encoding));
    WriteString(w, Description, Encoding, true);
    // The URL field is ISO-8859-1 whatever the encoding byte says.
    w.str(text::Utf8ToLatin1(URL));
    if (Encoding != teUnicode) w.u8(0);
    return w.take();
}

bool TID3v2Frames::SetUserDefinedURLLink(const std::string& FrameID, const std::string& URL,
                                         TID3v2TextEncoding Encoding, const std::string& Description) {
    SetBody(*Frames[FindOrAdd(FrameID)], BuildUserURL(Description, URL, Encoding));
    return true;
}

int TID3v2Frames::FindUserDefinedURLLinkByDescription(const std::string& Description) const {
    for (int i = 0; i < GetFrameCount(); ++i) {
        if (!Frames[i]->IsID("WXXX")) continue;
        std::string d;
        GetUserDefinedURLLink(i, d);
        if (d == Description) return i;
    }
    return -1;
}

bool TID3v2Frames::SetUserDefinedURLLinkByDescription(const std::string& Description, const std::string& URL,
                                                      TID3v2TextEncoding Encoding) {
    int i = FindUserDefinedURLLinkByDescription(Description);
    if (i < 0) i = AddFrame("WXXX");
    SetBody(*Frames[i], BuildUserURL(Description, URL, Encoding));
    return true;
}

std::string TID3v2Frames::GetURL(int FrameIndex) const {
    const TID3v2Frame* f = Frame(FrameIndex);
    if (!f || f->Data.empty()) return {};
    TByteReader r(f->Data);
    return text::Latin1ToUtf8(r.strz());
}

std::string TID3v2Frames::GetURL(const std::string& FrameID) const { return GetURL(FrameExists(FrameID)); }

bool TID3v2Frames::SetURL(const std::string& FrameID, const std::string& URL) {
    SetBody(*Frames[FindOrAdd(FrameID)], [&] {
        std::string l = text::Utf8ToLatin1(URL);
        return std::vector<uint8_t>(l.begin(), l.end());
    }());
    return true;
}

// ---- counters ---------------------------------------------------------------------

// Counters of any length; a value beyond 32 bits is held at the largest one.
static uint32_t ReadCounter(std::span<const uint8_t> Bytes) {
    uint64_t v = 0;
    for (uint8_t b : Bytes) {
        v = (v << 8) | b;
        if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return (uint32_t)v;
}

uint32_t TID3v2Frames::GetPlayCount(const std::string& FrameID) const {
    const TID3v2Frame* f = Frame(FrameExists(FrameID));
    return f ? ReadCounter(f->Data) : 0;
}

bool TID3v2Frames::SetPlayCount(const std::string& FrameID, uint32_t PlayCount) {
    TByteWriter w;
    w.u32be(PlayCount);
    SetBody(*Frames[FindOrAdd(FrameID)], w.take());
    return true;
}

// POPM: e-mail (ISO-8859-1, terminated), rating (1 byte), counter (the rest).
bool TID3v2Frames::GetPopularimeter(int FrameIndex, std::string& Email, uint32_t& PlayCounter, uint8_t& Rating) const {
    Email.clear();
    PlayCounter = 0;
    Rating = 0;
    const TID3v2Frame* f = Frame(FrameIndex);
    if (!f || f->Data.empty()) return false;
    try {
        TByteReader r(f->Data);
        Email = text::Latin1ToUtf8(r.strz());
        Rating = r.u8();
        PlayCounter = ReadCounter(r.rest());
        return true;
    } catch (const ETagFormat&) {
        return false;
    }
}

bool TID3v2Frames::SetPopularimeterRating(int FrameIndex, uint8_t Rating) {
    TID3v2Frame* f = Frame(FrameIndex);
    if (!f || !f->IsID("POPM")) return false;
    // The e-mail and the counter bytes stay exactly as they are.
    std::vector<uint8_t> body = f->Data;
    auto zero = std::find(body.begin(), body.end(), uint8_t{0});
    if (zero == body.end()) body.push_back(0), zero = body.end() - 1;
    const size_t at = (size_t)(zero - body.begin()) + 1;
    if (at < body.size()) {
        if (body[at] == Rating) return true;
        body[at] = Rating;
    } else {
        body.push_back(Rating);
    }
    SetBody(*f, std::move(body));
    return true;
}

// ---- involved-people lists ------------------------------------------------------

bool TID3v2Frames::GetListFrame(int FrameIndex, std::vector<std::string>& List) const {
    std::vector<std::string> raw;
    List.clear();
    GetTextMultiple(FrameIndex, raw);
    for (size_t i = 0; i < raw.size(); i += 2) List.push_back(raw[i] + "=" + (i + 1 < raw.size() ? raw[i + 1] : ""));
    return !List.empty();
}

bool TID3v2Frames::SetListFrame(const std::string& FrameID, const std::vector<std::string>& List,
                                TID3v2TextEncoding Encoding) {
    std::vector<std::string> raw;
    for (const auto& line : List) {
        size_t eq = line.find('=');
        raw.push_back(line.substr(0, eq));
        raw.push_back(eq == std::string::npos ? "" : line.substr(eq + 1));
    }
    return SetTextMultiple(FrameID, raw, Encoding);
}

// ---- pictures: encoding, MIME type, picture type, description, data ---------------

bool TID3v2Frames::GetCoverPictureStream(int FrameIndex, std::vector<uint8_t>& Picture, uint32_t& CoverType,
                                         std::string& Description, std::string& MIMEType) const {
    Picture.clear();
    CoverType = 0;
    Description.clear();
    MIMEType.clear();
    const TID3v2Frame* f = Frame(FrameIndex);
    if (!f || f->Data.empty()) return false;
    try {
        TByteReader r(f->Data);
        uint8_t enc = ReadEncoding(r);
        MIMEType = text::Latin1ToUtf8(r.strz());
        CoverType = r.u8();
        bool be = false;
        Description = ReadString(r, enc, be);
        auto rest = r.rest();
        Picture.assign(rest.begin(), rest.end());
        return true;
    } catch (const ETagFormat&) {
        return false;
    }
}

bool TID3v2Frames::SetCoverPictureFromStream(int FrameIndex, const std::string& Description, uint32_t CoverType,
                                             const std::string& MIMEType, const std::vector<uint8_t>& Picture) {
    TID3v2Frame* f = Frame(FrameIndex);
    if (!f) return false;
    TID3v2TextEncoding enc = Root ? Root->WriteOptions.PictureTextEncoding : teUnicode;
    SetBody(*f, BuildPictureBody(enc, MIMEType, (uint8_t)std::min<uint32_t>(CoverType, 255), Description,
                                 Picture.data(), Picture.size()));
    return true;
}

void TID3v2Frames::SetAllFrameDataStreams() {
    int version = Root && Root->MajorVersion == 4 ? 4 : 3;
    for (auto& f : Frames) {
        auto* wf = dynamic_cast<TID3v2FrameWithSubFrames*>(f.get());
        if (!wf || !wf->ParsedCleanly) continue;
        wf->SubFrames->SetAllFrameDataStreams();
        SetBody(*wf, BuildChapterBody(*wf, version));
    }
}
