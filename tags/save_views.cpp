// What each tag kind is given to write when a file is saved back.
//
// The container merges every tag kind of a file into one list, and the
// first value of a name wins. Writing that merged list into every kind would
// change values the user never touched: a RIFF INFO artist "A, B" would
// overwrite the ID3v2 artist list "A" / "B", an album only the ID3v1 tag held
// would appear in the ID3v2 tag, and two INFO lists would turn one album into
// two. So each kind loaded from the file is written from its own view: for a
// name whose entries are still exactly as the load merged them, the kind's
// own entries (and so its bytes) stay; for a name the caller changed, added
// or deleted, the caller's entries go into every kind.
#include <algorithm>

#include "tags/byte_io.h"
#include "tags/native_formats.h"
#include "tags/tags.h"
#include "tags/text.h"

namespace {

bool SameEntry(const TTag& A, const TTag& B) {
    return A.Value == B.Value && A.Description == B.Description && A.Language == B.Language &&
           A.ExtTagType == B.ExtTagType;
}

// The entries of Name in List, in order.
std::vector<const TTag*> Group(const std::vector<std::unique_ptr<TTag>>& List, const std::string& Name) {
    std::vector<const TTag*> out;
    for (const auto& e : List)
        if (text::SameText(e->Name, Name)) out.push_back(e.get());
    return out;
}

bool SameGroup(const std::vector<const TTag*>& A, const std::vector<const TTag*>& B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (!SameEntry(*A[i], *B[i])) return false;
    return true;
}

bool SamePicture(const TCoverArt& A, const TCoverArt& B) {
    return A.Name == B.Name && A.Data == B.Data && A.Description == B.Description && A.CoverType == B.CoverType &&
           A.MIMEType == B.MIMEType;
}

}  // namespace

TTags::TEntryList TTags::MergedView(TTagType OnlyKind, TPictureList* Pictures) {
    // The merge routines write into the container's own lists; they run on
    // empty ones here, without pictures unless asked for, and the caller's
    // lists come back.
    TEntryList savedTags = std::move(FTags);
    auto savedArts = std::move(FCoverArts);
    FTags.clear();
    FCoverArts.clear();
    const bool parse = ParseCoverArts, only = OnlyParseCoverArts, loaded = Loaded;
    ParseCoverArts = parse && Pictures;
    OnlyParseCoverArts = false;
    try {
        if (OnlyKind == ttNone) {
            LoadTags();
        } else {
            TNativeFormats::ForEach([&](const auto& Row) {
                if (Row.Info.Kind == OnlyKind && TNativeFormats::Object(*this, Row).Loaded) Row.Merge(*this);
            });
        }
    } catch (const ETagFormat&) {
        FTags.clear();
    }
    TEntryList view = std::move(FTags);
    if (Pictures) *Pictures = std::move(FCoverArts);
    FTags = std::move(savedTags);
    FCoverArts = std::move(savedArts);
    ParseCoverArts = parse;
    OnlyParseCoverArts = only;
    Loaded = loaded;
    return view;
}

bool TTags::EditedSinceLoad() {
    TPictureList pictures;
    const TEntryList merged = MergedView(ttNone, &pictures);
    if (merged.size() != FTags.size() || (ParseCoverArts && pictures.size() != FCoverArts.size())) return true;
    for (size_t i = 0; i < merged.size(); ++i)
        if (merged[i]->Name != FTags[i]->Name || !SameEntry(*merged[i], *FTags[i])) return true;
    for (size_t i = 0; ParseCoverArts && i < pictures.size(); ++i)
        if (!SamePicture(*pictures[i], *FCoverArts[i])) return true;
    return false;
}

void TTags::PrepareSaveViews() {
    FSaveViews.clear();
    FSavePictureViews.clear();
    std::vector<TTagType> kinds;
    for (const TTagFormat& f : TagFormats())
        if (NativeLoaded(f.Kind)) kinds.push_back(f.Kind);
    // With one kind, its own view is the merged list itself.
    if (kinds.size() < 2) return;
    TPictureList mergedPictures;
    const TEntryList merged = MergedView(ttNone, &mergedPictures);

    // The merge keeps the pictures of one kind (an ID3v2 tag's over an APE
    // tag's). While the caller's pictures are still those, every kind keeps
    // its own; a changed picture list goes into every kind.
    bool picturesUnchanged = mergedPictures.size() == FCoverArts.size();
    for (size_t i = 0; picturesUnchanged && i < FCoverArts.size(); ++i)
        picturesUnchanged = SamePicture(*FCoverArts[i], *mergedPictures[i]);
    if (ParseCoverArts && !OnlyParseCoverArts && picturesUnchanged)
        for (TTagType kind : kinds) {
            TPictureList own;
            MergedView(kind, &own);
            FSavePictureViews.emplace_back(kind, std::move(own));
        }

    // Names in the order the caller's list has them, then the loaded ones it
    // dropped, then any a kind holds that the merge left out.
    std::vector<std::string> names;
    auto note = [&](const std::string& Name) {
        for (const auto& n : names)
            if (text::SameText(n, Name)) return;
        names.push_back(Name);
    };
    std::vector<TEntryList> owns;
    for (TTagType kind : kinds) owns.push_back(MergedView(kind));
    for (const auto& e : FTags) note(e->Name);
    for (const auto& e : merged) note(e->Name);
    for (const auto& own : owns)
        for (const auto& e : own) note(e->Name);

    for (size_t k = 0; k < kinds.size(); ++k) {
        const TTagType kind = kinds[k];
        const TEntryList& own = owns[k];
        TEntryList view;
        auto copy = [&](const TTag& From) {
            auto t = std::make_unique<TTag>(this);
            t->Name = From.Name;
            t->Value = From.Value;
            t->SortWith = From.SortWith;
            t->Language = From.Language;
            t->Description = From.Description;
            t->ExtTagType = From.ExtTagType;
            view.push_back(std::move(t));
        };
        for (const auto& n : names) {
            const auto current = Group(FTags, n);
            const bool unchanged = SameGroup(current, Group(merged, n));
            for (const TTag* e : unchanged ? Group(own, n) : current) copy(*e);
        }
        FSaveViews.emplace_back(kind, std::move(view));
    }
}

bool TTags::PicturesAsLoaded() {
    // The merge routines run on empty lists, with pictures this time; the
    // caller's lists come back.
    TEntryList savedTags = std::move(FTags);
    auto savedArts = std::move(FCoverArts);
    FTags.clear();
    FCoverArts.clear();
    const bool parse = ParseCoverArts, only = OnlyParseCoverArts, loaded = Loaded;
    ParseCoverArts = true;
    OnlyParseCoverArts = false;
    bool same = false;
    try {
        LoadTags();
        same = FCoverArts.size() == savedArts.size();
        for (size_t i = 0; same && i < savedArts.size(); ++i) {
            const TCoverArt &a = *FCoverArts[i], &b = *savedArts[i];
            same = a.Data == b.Data && a.MIMEType == b.MIMEType && a.CoverType == b.CoverType &&
                   a.Description == b.Description;
        }
    } catch (const ETagFormat&) {
        same = false;
    }
    FTags = std::move(savedTags);
    FCoverArts = std::move(savedArts);
    ParseCoverArts = parse;
    OnlyParseCoverArts = only;
    Loaded = loaded;
    return same;
}

// An MPEG or WAVE file without an ID3v2 tag keeps its values in the tags it
// has: ID3v1, RIFF INFO, maybe an APEv2 tag that few players read there. A
// value the user typed that none of the first two has a place for (an album
// artist, a disc number, a picture) would be dropped, or hidden in the APEv2
// tag, while the save reports success. Such values go into a new ID3v2 tag,
// the tag every reader of these formats knows; values the file's own tags
// hold stay there alone, so the new tag holds only what had no place.
bool TTags::PrepareOverflowView(bool& Pictures) {
    Pictures = false;
    if (NativeLoaded(ttID3v2)) return false;
    std::vector<bool (*)(const TTag&)> homes;
    TNativeFormats::ForEach([&](const auto& Row) {
        if (Row.Holds && TNativeFormats::Object(*this, Row).Loaded) homes.push_back(Row.Holds);
    });
    const TEntryList merged = MergedView(ttNone);
    TEntryList view;
    std::vector<std::string> seen;
    for (const auto& e : FTags) {
        if (std::any_of(seen.begin(), seen.end(), [&](const std::string& n) { return text::SameText(n, e->Name); }))
            continue;
        seen.push_back(e->Name);
        const auto current = Group(FTags, e->Name);
        if (SameGroup(current, Group(merged, e->Name))) continue;
        for (const TTag* t : current) {
            if (t->Value.empty() || std::any_of(homes.begin(), homes.end(), [&](auto Holds) { return Holds(*t); }))
                continue;
            auto copy = std::make_unique<TTag>(this);
            copy->Name = t->Name;
            copy->Value = t->Value;
            copy->SortWith = t->SortWith;
            copy->Language = t->Language;
            copy->Description = t->Description;
            copy->ExtTagType = t->ExtTagType;
            view.push_back(std::move(copy));
        }
    }
    // Neither ID3v1 nor RIFF INFO holds a picture.
    Pictures = !FCoverArts.empty() && !PicturesAsLoaded();
    if (view.empty() && !Pictures) return false;
    FSaveViews.emplace_back(ttID3v2, std::move(view));
    return true;
}
