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

// Unified entries -> native comments: every native comment whose name has a
// unified entry is replaced by the entries, in their order; the others stay.
void PrepareComments(const TTags& Tags, std::vector<TVorbisComment>& Comments) {
    std::erase_if(Comments, [&](const TVorbisComment& c) { return c.Format == vcfText && Tags.Exists(c.Name) >= 0; });
    for (int i = 0; i < Tags.Count(); ++i) {
        const TTag& e = *Tags.TagAt(i);
        if (e.Value.empty()) continue;
        TVorbisComment c;
        c.Name = e.Name;
        if (IsListName(e.Name)) {
            std::vector<std::string> list;
            for (const auto& l : mapping::SplitLines(e.Value))
                if (!l.empty()) list.push_back(l);
            c.SetList(list);
        } else {
            c.SetText(e.Value);
        }
        if (!c.Value.empty()) Comments.push_back(std::move(c));
    }
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
