// The container's exchange with the two Vorbis-comment tags (FLAC, and Ogg
// Vorbis / Opus / Ogg-carried comments). Comment names are the unified names
// themselves; only a track number written as n/m, the involved-people lists
// (TIPL, TMCL) and the pictures need translating.
#include <algorithm>

#include "tags/flac_ogg/flac_tag.h"
#include "tags/flac_ogg/opus_tag.h"
#include "tags/mapping_common.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tags/text.h"

namespace {

bool IsListName(const std::string& Name) { return text::SameText(Name, "TIPL") || text::SameText(Name, "TMCL"); }
bool IsTrackName(const std::string& Name) {
    return text::SameText(Name, "TRACKNUMBER") || text::SameText(Name, "TRACK");
}

// Adds the unified entries of one text comment: n/m track numbers become a
// number and a total, people lists become "role=name" lines.
void AddCommentEntries(TTags& Tags, TVorbisComment& C, bool ControlToSpace) {
    if (IsListName(C.Name)) {
        std::vector<std::string> list;
        C.GetList(list);
        std::string v;
        for (const auto& l : list) v += l + "\r\n";
        Tags.Add(C.Name)->Value = v;
        return;
    }
    const std::string value = C.GetText(ControlToSpace);
    if (IsTrackName(C.Name) && value.find('/') != std::string::npos) {
        const mapping::TNumberTotal nt = mapping::SplitNumberTotal(value);
        Tags.Add("TRACKNUMBER")->Value = nt.Number;
        Tags.RemoveAll("TOTALTRACKS");
        Tags.Add("TOTALTRACKS")->Value = nt.Total;
        return;
    }
    Tags.Add(C.Name)->Value = value;
}

void LoadComments(TTags& Tags, std::vector<TVorbisComment>& Comments, bool ControlToSpace) {
    for (const auto& c : Comments)
        if (c.Format == vcfText) Tags.RemoveAll(c.Name);
    for (auto& c : Comments)
        if (c.Format == vcfText) AddCommentEntries(Tags, c, ControlToSpace);
}

// The native comment of one unified entry; false for an empty value.
bool CommentOf(const TTag& E, TVorbisComment& C) {
    C.Name = E.Name;
    if (IsListName(E.Name)) {
        std::vector<std::string> list;
        for (const auto& l : mapping::SplitLines(E.Value))
            if (!l.empty()) list.push_back(l);
        C.SetList(list);
    } else {
        C.SetText(E.Value);
    }
    return !C.Value.empty();
}

// Unified entries -> native comments: the entries of a name take the place
// of the first native comment of that name (so an unchanged tag keeps its
// order); names new to the tag follow at the end; native comments whose
// names have no unified entry stay as they are.
//
// Players read the year from DATE. A unified YEAR therefore goes into DATE
// (a full date there that starts with that year stays whole) unless the tag
// already keeps a YEAR comment of its own; a YEAR beside an untouched DATE
// would leave every other player showing the old year.
void PrepareComments(const TTags& Tags, std::vector<TVorbisComment>& Comments) {
    const std::string year = Tags.GetText("YEAR");
    const bool nativeYear = std::any_of(Comments.begin(), Comments.end(), [](const TVorbisComment& c) {
        return c.Format == vcfText && text::SameText(c.Name, "YEAR");
    });
    const bool yearIntoDate = !year.empty() && !nativeYear;
    std::string storedDate = Tags.GetText("DATE");
    if (storedDate.empty())
        for (auto& c : Comments)
            if (c.Format == vcfText && text::SameText(c.Name, "DATE")) {
                storedDate = c.GetText();
                break;
            }

    std::vector<std::string> done;
    std::vector<TVorbisComment> out;
    auto emit = [&](const std::string& Name) {
        std::string upper = text::UpperAscii(Name);
        if (yearIntoDate && upper == "YEAR") upper = "DATE";
        if (std::find(done.begin(), done.end(), upper) != done.end()) return;
        done.push_back(upper);
        if (yearIntoDate && upper == "DATE") {
            TVorbisComment c;
            c.Name = "DATE";
            c.SetText(mapping::YearIntoDate(storedDate, year));
            out.push_back(std::move(c));
            return;
        }
        for (int i = 0; i < Tags.Count(); ++i) {
            TVorbisComment c;
            if (text::SameText(Tags.TagAt(i)->Name, upper) && CommentOf(*Tags.TagAt(i), c)) out.push_back(std::move(c));
        }
    };
    auto replaced = [&](const TVorbisComment& c) {
        return c.Format == vcfText &&
               (Tags.Exists(c.Name) >= 0 || (yearIntoDate && text::SameText(c.Name, "DATE")));
    };
    for (auto& c : Comments) {
        if (replaced(c)) emit(c.Name);
        else out.push_back(std::move(c));
    }
    for (int i = 0; i < Tags.Count(); ++i) emit(Tags.TagAt(i)->Name);
    Comments = std::move(out);
}

// Deletes the native comments that stand for a deleted unified entry: same
// name and value, or for a track number the number part of an n/m value.
void DeleteMatching(std::vector<TVorbisComment>& Comments, const TTag& Entry) {
    for (int i = (int)Comments.size() - 1; i >= 0; --i) {
        TVorbisComment& c = Comments[i];
        if (c.Format != vcfText || !text::SameText(c.Name, Entry.Name)) continue;
        const std::string v = c.GetText();
        if (text::SameText(v, Entry.Value) ||
            (IsTrackName(c.Name) && text::SameText(mapping::SplitNumberTotal(v).Number, Entry.Value)))
            Comments.erase(Comments.begin() + i);
    }
}

// The fields a native picture gets from a unified one. A picture that came
// from the file keeps its type; a new one without a type is the front cover.
vorbis::TPictureInfo PictureInfoOf(TCoverArt& C, bool FromFile) {
    C.MIMEType = mapping::PictureMIMEType(C);
    vorbis::TPictureInfo i;
    i.PictureType = C.CoverType == 0 && !FromFile ? mapping::FrontCoverType : C.CoverType;
    i.MIMEType = C.MIMEType;
    i.Description = C.Description;
    i.Width = C.Width;
    i.Height = C.Height;
    i.ColorDepth = C.ColorDepth;
    i.NoOfColors = C.NoOfColors;
    return i;
}

void FillCoverArt(TCoverArt& C, const vorbis::TPictureInfo& Info, std::vector<uint8_t> Data) {
    C.Data = std::move(Data);
    C.CoverType = Info.PictureType;
    C.MIMEType = Info.MIMEType;
    C.Description = Info.Description;
    C.Width = Info.Width;
    C.Height = Info.Height;
    C.ColorDepth = Info.ColorDepth;
    C.NoOfColors = Info.NoOfColors;
    C.PictureFormat = TTags::PicturePointerType(C.Data.data(), (int64_t)C.Data.size());
}

}  // namespace

// ---- FLAC ---------------------------------------------------------------------------

void TTags::LoadFlacTags() {
    TFlacTag& T = *FFlacTag;
    if (!OnlyParseCoverArts) LoadComments(*this, T.Tags, true);
    if (T.CoverArtCount() > 0) {
        DeleteAllCoverArts();
        if (ParseCoverArts) LoadFlacCoverArts(T);
    }
}

bool TTags::LoadFlacCoverArts(TFlacTag& From) {
    for (int i = 0; i < From.CoverArtCount(); ++i)
        FillCoverArt(*AddCoverArt(mapping::CoverArtName(i + 1)), From.CoverArts[i].Info, From.CoverArts[i].Data);
    return From.CoverArtCount() > 0;
}

void TTags::PrepareFlacTag() {
    TFlacTag& T = *FFlacTag;
    T.UpperCaseFieldNamesToWrite = UpperCaseFieldNamesToWrite;
    PrepareComments(*this, T.Tags);
    if (!ParseCoverArts) return;
    std::vector<TFlacPicture> old = std::move(T.CoverArts);
    T.DeleteAllCoverArts();
    for (auto& c : FCoverArts) {
        const bool fromFile = std::any_of(old.begin(), old.end(), [&](const TFlacPicture& p) { return p.Data == c->Data; });
        T.AddCoverArt(PictureInfoOf(*c, fromFile), c->Data);
    }
}

int TTags::SaveFlacTag(const std::string& FileName, bool Buffered, TStream* Stream) {
    PrepareFlacTag();
    if (Stream) {
        Stream->Seek(0);
        return FFlacTag->SaveToStream(*Stream, Buffered);
    }
    return FFlacTag->SaveToFile(FileName, Buffered);
}

void TTags::DeleteNativeFlac(const TTag& Entry) { DeleteMatching(FFlacTag->Tags, Entry); }

// ---- Ogg Vorbis, Opus ------------------------------------------------------------------

void TTags::LoadOggVorbisAndOpusTags() {
    TOpusTag& T = *FOggTag;
    if (!OnlyParseCoverArts) LoadComments(*this, T.Frames, false);
    if (T.CoverArtCount() > 0) {
        DeleteAllCoverArts();
        if (ParseCoverArts) LoadOggVorbisAndOpusCoverArts(T);
    }
}

bool TTags::LoadOggVorbisAndOpusCoverArts(TOpusTag& From) {
    bool added = false;
    for (int i = 0; i < From.Count(); ++i) {
        vorbis::TPictureInfo info;
        std::vector<uint8_t> data;
        if (!From.GetCoverArtFromFrame(i, info, data)) continue;
        FillCoverArt(*AddCoverArt(mapping::NextCoverArtName(*this)), info, std::move(data));
        added = true;
    }
    return added;
}

void TTags::PrepareOggVorbisAndOpusTag() {
    TOpusTag& T = *FOggTag;
    T.UpperCaseFieldNamesToWrite = UpperCaseFieldNamesToWrite;
    PrepareComments(*this, T.Frames);
    if (!ParseCoverArts) return;
    // The pictures take the places of the old picture fields, in order.
    std::vector<std::vector<uint8_t>> oldData;
    for (int i = 0; i < T.Count(); ++i) {
        vorbis::TPictureInfo info;
        std::vector<uint8_t> data;
        if (T.GetCoverArtFromFrame(i, info, data)) oldData.push_back(std::move(data));
    }
    TOpusTag built;
    for (auto& c : FCoverArts) {
        const bool fromFile = std::find(oldData.begin(), oldData.end(), c->Data) != oldData.end();
        built.AddCoverArtFrame(PictureInfoOf(*c, fromFile), c->Data);
    }
    std::vector<TOpusTagFrame> out;
    size_t next = 0;
    for (auto& f : T.Frames) {
        if (f.Format != vcfCoverArt) out.push_back(std::move(f));
        else if (next < built.Frames.size()) out.push_back(std::move(built.Frames[next++]));
    }
    for (; next < built.Frames.size(); ++next) out.push_back(std::move(built.Frames[next]));
    T.Frames = std::move(out);
}

int TTags::SaveOggVorbisAndOpusTag(const std::string& FileName, TStream* Stream) {
    PrepareOggVorbisAndOpusTag();
    if (Stream) {
        Stream->Seek(0);
        return FOggTag->SaveToStream(*Stream);
    }
    return FOggTag->SaveToFile(FileName);
}

void TTags::DeleteNativeOgg(const TTag& Entry) { DeleteMatching(FOggTag->Frames, Entry); }
