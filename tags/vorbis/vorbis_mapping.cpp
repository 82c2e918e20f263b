// The container's exchange with the two Vorbis-comment tags (FLAC, and Ogg
// Vorbis / Opus / Ogg-carried comments). Comment names are the unified names
// themselves, but for a few spellings other programs write ("ALBUM ARTIST");
// a track or disc number written as n/m, the involved-people lists (TIPL,
// TMCL) and the pictures need translating.
//
// A save changes only what the caller changed: the comments of a name whose
// unified entries still read as the load made them are written back byte for
// byte (a TAB metaflac stored, a value that is not UTF-8, the file's spelling
// and order), and a number keeps the n/m or separate form the file gives it.
#include <algorithm>

#include "tags/vorbis/vorbis_comment.h"
#include "tags/mapping_common.h"
#include "tags/stream.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/field_names.h"
#include "tags/vorbis/vorbis_mapping.h"

namespace vorbismapping {

// Comment names other programs write for a unified name; a comment read
// under one of them is written back under it.
struct TNameAlias {
    const char* Comment;
    const char* Unified;
};
constexpr TNameAlias NameAliases[] = {
    {"ALBUM ARTIST", fieldname::AlbumArtist},
};

// The unified name of a comment name (upper-cased, as the reader stores names).
std::string UnifiedNameOf(const std::string& Name) {
    for (const auto& a : NameAliases)
        if (text::SameText(Name, a.Comment)) return a.Unified;
    return Name;
}

bool IsListName(const std::string& Name) { return text::SameText(Name, "TIPL") || text::SameText(Name, "TMCL"); }
bool IsNumberOrTotal(const std::string& Name) {
    for (bool track : {true, false})
        if (mapping::IsNumberName(Name, track) || mapping::IsTotalName(Name, track)) return true;
    return false;
}

// One unified entry as a load makes it.
struct TEntry {
    std::string Name;
    std::string Value;
};

// The unified entries the text comments load as, in order: an n/m track or
// disc number becomes a number and a total (the total replacing one read
// before it), a people list becomes "role=name" lines, an alias its unified
// name. With ControlToSpace, control characters read as spaces.
std::vector<TEntry> LoadedEntries(std::vector<TVorbisComment>& Comments, bool ControlToSpace) {
    std::vector<TEntry> out;
    for (auto& c : Comments) {
        if (c.Format != vcfText) continue;
        const std::string name = UnifiedNameOf(c.Name);
        if (IsListName(name)) {
            std::vector<std::string> list;
            c.GetList(list);
            std::string v;
            for (const auto& l : list) v += l + "\r\n";
            out.push_back({name, v});
            continue;
        }
        const std::string value = c.GetText(ControlToSpace);
        bool split = false;
        for (bool track : {true, false}) {
            if (!mapping::IsNumberName(name, track) || value.find('/') == std::string::npos) continue;
            const mapping::TNumberTotal nt = mapping::SplitNumberTotal(value);
            const char* total = mapping::TotalNames(track)[0];
            std::erase_if(out, [&](const TEntry& e) { return text::SameText(e.Name, total); });
            out.push_back({mapping::NumberNames(track)[0], nt.Number});
            out.push_back({total, nt.Total});
            split = true;
        }
        if (!split) out.push_back({name, value});
    }
    return out;
}

void LoadComments(TTags& Tags, std::vector<TVorbisComment>& Comments, bool ControlToSpace) {
    const std::vector<TEntry> entries = LoadedEntries(Comments, ControlToSpace);
    for (const auto& c : Comments)
        if (c.Format == vcfText) Tags.RemoveAll(c.Name);
    for (const auto& e : entries) Tags.RemoveAll(e.Name);
    for (const auto& e : entries) Tags.Add(e.Name)->Value = e.Value;
}

// The values of a unified name, in order, in the container and in a load.
std::vector<std::string> ValuesOf(const TTags& Tags, const std::string& Name) {
    std::vector<std::string> out;
    for (int i = 0; i < Tags.Count(); ++i)
        if (text::SameText(Tags.TagAt(i)->Name, Name)) out.push_back(Tags.TagAt(i)->Value);
    return out;
}
std::vector<std::string> ValuesOf(const std::vector<TEntry>& Entries, const std::string& Name) {
    std::vector<std::string> out;
    for (const auto& e : Entries)
        if (text::SameText(e.Name, Name)) out.push_back(e.Value);
    return out;
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

// The track (or disc) number and total. Unless the caller changed one of
// their four names, the comments stay as they are. Otherwise the number
// and total the caller means (a number typed as n/m gives both; a total the
// caller changed wins over one left as loaded) go into the comments the file
// has, each in its form: an n/m comment gets n/m, a number comment the
// number, every total comment the total, so two totals never disagree.
// A number or total the file has no comment for is appended to Tail under
// the long name; a total alone, without a number, is not written.
void PrepareNumber(const TTags& Tags, std::vector<TVorbisComment>& Comments, const std::vector<TEntry>& Loaded,
                   bool Track, std::vector<TVorbisComment>& Tail) {
    const auto numbers = mapping::NumberNames(Track), totals = mapping::TotalNames(Track);
    auto changed = [&](const char* Name) { return ValuesOf(Tags, Name) != ValuesOf(Loaded, Name); };
    if (!changed(numbers[0]) && !changed(numbers[1]) && !changed(totals[0]) && !changed(totals[1])) return;
    auto firstValue = [&](const char* Name) {
        for (const auto& v : ValuesOf(Tags, Name))
            if (!text::Trim(v).empty()) return text::Trim(v);
        return std::string();
    };
    std::string typed = firstValue(numbers[0]);
    if (typed.empty()) typed = firstValue(numbers[1]);
    mapping::TNumberTotal want = mapping::SplitNumberTotal(typed);
    if (typed.find('/') == std::string::npos) {
        if (changed(totals[0]))
            want.Total = firstValue(totals[0]);
        else if (changed(totals[1]))
            want.Total = firstValue(totals[1]);
        else
            want.Total = !firstValue(totals[0]).empty() ? firstValue(totals[0]) : firstValue(totals[1]);
    }

    bool haveNumber = false, haveTotal = false, totalInPair = false;
    for (auto it = Comments.begin(); it != Comments.end();) {
        TVorbisComment& c = *it;
        std::string value;
        if (c.Format == vcfText && mapping::IsNumberName(c.Name, Track)) {
            haveNumber = true;
            const bool pair = c.Value.find('/') != std::string::npos;
            value = want.Number.empty() ? std::string() : pair ? mapping::JoinNumberTotal(want) : want.Number;
            totalInPair = totalInPair || (pair && !want.Total.empty());
        } else if (c.Format == vcfText && mapping::IsTotalName(c.Name, Track)) {
            haveTotal = true;
            value = want.Total;
        } else {
            ++it;
            continue;
        }
        if (value.empty()) {
            it = Comments.erase(it);
            continue;
        }
        if (c.Value != value) c.SetText(value);
        ++it;
    }
    auto append = [&](const char* Name, const std::string& Value) {
        TVorbisComment c;
        c.Name = Name;
        c.SetText(Value);
        Tail.push_back(std::move(c));
    };
    if (!haveNumber && !want.Number.empty()) append(numbers[0], want.Number);
    if (!haveTotal && !totalInPair && !want.Total.empty() && !want.Number.empty()) append(totals[0], want.Total);
}

// Unified entries -> native comments. The comments of a name whose entries
// still read as loaded stay as they are. A name the caller changed: its
// entries take the place of the first comment of that name, with that
// comment's spelling, and the name's other comments go. Names new to the
// tag follow at the end. A name without entries keeps its comments (a
// deleted entry has already removed its own through the container's Delete).
//
// Players read the year from DATE. A unified YEAR therefore goes into DATE
// (a full date there that starts with that year stays whole) unless the tag
// already keeps a YEAR comment of its own; a YEAR beside an untouched DATE
// would leave every other player showing the old year.
void PrepareComments(const TTags& Tags, std::vector<TVorbisComment>& Comments, bool ControlToSpace) {
    const std::vector<TEntry> loaded = LoadedEntries(Comments, ControlToSpace);
    std::vector<std::string> nativeNames;
    for (const auto& c : Comments)
        if (c.Format == vcfText) nativeNames.push_back(text::UpperAscii(UnifiedNameOf(c.Name)));
    auto native = [&](const std::string& Upper) {
        return std::find(nativeNames.begin(), nativeNames.end(), Upper) != nativeNames.end();
    };

    const std::string year = Tags.GetText(fieldname::Year);
    const bool yearIntoDate = !year.empty() && !native(fieldname::Year);
    std::string storedDate = Tags.GetText(fieldname::Date);
    if (storedDate.empty())
        for (auto& c : Comments)
            if (c.Format == vcfText && text::SameText(c.Name, fieldname::Date)) {
                storedDate = c.GetText();
                break;
            }
    const std::string date = yearIntoDate ? mapping::YearIntoDate(storedDate, year) : std::string();

    std::vector<TVorbisComment> tail;
    for (bool track : {true, false}) PrepareNumber(Tags, Comments, loaded, track, tail);

    std::vector<std::string> done;
    std::vector<TVorbisComment> out;
    // The entries of a name, as comments spelt like Comments[At] (or as the
    // entries spell it, for a name new to the tag, At < 0). A value that one
    // of the name's comments still reads as keeps that comment's bytes.
    auto emit = [&](const std::string& Upper, int At) {
        std::vector<TVorbisComment*> spare;
        for (size_t k = At < 0 ? Comments.size() : (size_t)At; k < Comments.size(); ++k)
            if (Comments[k].Format == vcfText && text::SameText(UnifiedNameOf(Comments[k].Name), Upper))
                spare.push_back(&Comments[k]);
        for (int i = 0; i < Tags.Count(); ++i) {
            TVorbisComment c;
            if (!text::SameText(Tags.TagAt(i)->Name, Upper) || !CommentOf(*Tags.TagAt(i), c)) continue;
            if (At >= 0) {
                c.Name = Comments[(size_t)At].Name;
                c.StoredName = Comments[(size_t)At].StoredName;
                for (auto it = spare.begin(); it != spare.end(); ++it)
                    if (!IsListName(Upper) && (*it)->GetText(ControlToSpace) == Tags.TagAt(i)->Value) {
                        c.Value = (*it)->Value;
                        spare.erase(it);
                        break;
                    }
            }
            out.push_back(std::move(c));
        }
    };
    for (size_t k = 0; k < Comments.size(); ++k) {
        TVorbisComment& c = Comments[k];
        const std::string upper = text::UpperAscii(UnifiedNameOf(c.Name));
        if (c.Format != vcfText || IsNumberOrTotal(upper)) {
            out.push_back(std::move(c));
            continue;
        }
        const bool seen = std::find(done.begin(), done.end(), upper) != done.end();
        if (yearIntoDate && upper == fieldname::Date) {
            // One DATE, holding the year.
            if (seen || date.empty()) continue;
            done.push_back(upper);
            if (c.Value != date) c.SetText(date);
            out.push_back(std::move(c));
            continue;
        }
        const std::vector<std::string> now = ValuesOf(Tags, upper);
        if (now.empty() || now == ValuesOf(loaded, upper)) {
            out.push_back(std::move(c));
            continue;
        }
        if (seen) continue;
        done.push_back(upper);
        emit(upper, (int)k);
    }
    for (int i = 0; i < Tags.Count(); ++i) {
        std::string upper = text::UpperAscii(Tags.TagAt(i)->Name);
        if (IsNumberOrTotal(upper) || native(upper)) continue;
        if (yearIntoDate && (upper == fieldname::Year || upper == fieldname::Date)) {
            if (native(fieldname::Date) || date.empty()) continue;
            upper = fieldname::Date;
            if (std::find(done.begin(), done.end(), upper) != done.end()) continue;
            done.push_back(upper);
            TVorbisComment c;
            c.Name = upper;
            c.SetText(date);
            out.push_back(std::move(c));
            continue;
        }
        if (std::find(done.begin(), done.end(), upper) != done.end()) continue;
        done.push_back(upper);
        emit(upper, -1);
    }
    for (auto& c : tail) out.push_back(std::move(c));
    Comments = std::move(out);
}

// Deletes the native comments that stand for a deleted unified entry: same
// name and value (as the load shows it), or for a track or disc number the
// number part of an n/m value.
void DeleteMatching(std::vector<TVorbisComment>& Comments, const TTag& Entry, bool ControlToSpace) {
    for (int i = (int)Comments.size() - 1; i >= 0; --i) {
        TVorbisComment& c = Comments[i];
        if (c.Format != vcfText || !text::SameText(UnifiedNameOf(c.Name), Entry.Name)) continue;
        const std::string v = c.GetText(ControlToSpace);
        const bool number = mapping::IsNumberName(c.Name, true) || mapping::IsNumberName(c.Name, false);
        if (text::SameText(v, Entry.Value) ||
            (number && text::SameText(mapping::SplitNumberTotal(v).Number, Entry.Value)))
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

}  // namespace vorbismapping
