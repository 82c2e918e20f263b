// Unified mapping of MP4 items: items become unified entries and pictures
// on loading, and entries and pictures become items again on saving. A name
// whose values the item list already holds is left alone, so a save changes
// only the items whose entries were edited: their type, width, locale and
// place in the list stay as they were.
#include <algorithm>
#include <string_view>

#include "tags/mapping_common.h"
#include "tags/mp4/mp4_module.h"
#include "tags/mp4/mp4_tag.h"
#include "tags/stream_values.h"
#include "tags/tags.h"
#include "tags/text.h"
#include "tags/field_names.h"

namespace {

struct TItemName {
    std::string_view Item;
    std::string_view Name;
};

// Item ID <-> unified name; loading reads it left to right, saving right to left.
constexpr TItemName ItemNames[] = {
    {"©ART", fieldname::Artist},
    {"©nam", fieldname::Title},
    {"aART", fieldname::AlbumArtist},
    {"©wrt", fieldname::Composer},
    {"©alb", fieldname::Album},
    {"cprt", fieldname::Copyright},
    {"©grp", "GROUPING"},
    {"©day", "RELEASEDATE"},
    {"pgap", "GAPLESSPLAYBACK"},
    {"cpil", "PARTOFCOMPILATION"},
    {"tmpo", fieldname::Bpm},
    {"SErg", fieldname::Rating},
    {"tvnn", "TVNETWORK"},
    {"tvsh", "SHOW"},
    {"tven", "EPISODE"},
    {"tvsn", "SEASONNUMBER"},
    {"tves", "EPISODENUMBER"},
    {"hdvd", "HDVIDEO"},
    {"desc", "DESCRIPTION"},
    {"ldes", "LONGDESCRIPTION"},
    {"purd", "PURCHASEDATE"},
    {"plID", "ITUNESALBUMID"},
    {"cmID", "ITUNESCOMPOSERID"},
    {"geID", "ITUNESGENREID"},
    {"©cmt", fieldname::Comment},
    {"stdo", "STUDIO"},
    {"TPUB", fieldname::Publisher},
    {"©enc", fieldname::EncodedBy},
    {"©too", "ENCODERTOOL"},
    {"TIPL", "TIPL"},
    {"TMCL", "TMCL"},
    {"©lyr", fieldname::Lyrics},
    {"soar", "ARTISTSORT"},
    {"sonm", "TITLESORT"},
    {"soaa", "ALBUMARTISTSORT"},
    {"soal", "ALBUMSORT"},
    {"soco", "COMPOSERSORT"},
    {"sosn", "SHOWSORT"},
    {"pcst", "PODCAST"},
    {"purl", "PODCASTURL"},
    {"keyw", "PODCASTKEYWORDS"},
    {"catg", "PODCASTCATEGORY"},
    {"apID", "PURCHASEACCOUNT"},
    {"akID", "PURCHASEACCOUNTTYPE"},
    {"SEpc", "PLAYCOUNT"},
    {"atID", "ITUNESARTISTID"},
    {"sfID", "ITUNESCOUNTRYID"},
    {"xid ", "XID"},
};
static_assert(std::size(ItemNames) == 48);

// Names that save into an item without coming back from it under that name.
constexpr TItemName ExtraSaveNames[] = {{"aART", "ALBUM ARTIST"},
                                        {"©day", "RELEASE DATE"},
                                        {"©day", "DATE_RELEASED"},
                                        {"©day", fieldname::Year},
                                        {"cpil", "PART OF COMPILATION"}};
// Items read under a name that saves as a freeform item instead.
constexpr std::string_view FreeformOnSave[] = {fieldname::Rating, "PLAYCOUNT", fieldname::Publisher};

// Integer items and the width they are written with when new.
struct TIntegerItem {
    std::string_view Item;
    int Width;
    bool Boolean;
};
constexpr TIntegerItem IntegerItems[] = {
    {"pgap", 1, true},  {"cpil", 1, true},  {"hdvd", 1, true},  {"pcst", 1, true},  {"tmpo", 2, false},
    {"tvsn", 4, false}, {"tves", 4, false}, {"akID", 1, false}, {"plID", 8, false}, {"atID", 4, false},
    {"cmID", 4, false}, {"geID", 4, false}, {"sfID", 4, false}, {"cnID", 4, false}, {"rtng", 1, false},
};

// Windows Media attributes of the Xtra box and their unified names.
constexpr TItemName XtraNames[] = {
    {"WM/SharedUserRating", "SharedUserRating"},
    {"WM/AuthorURL", "AuthorURL"},
    {"WM/PromotionURL", "PromotionURL"},
    {"WM/SubTitle", "SubTitle"},
    {"WM/Category", "Category"},
    {"WM/Producer", "Producer"},
    {"WM/EncodedBy", "EncodedBy"},
    {"WM/Conductor", "Conductor"},
    {"WM/ParentalRating", "ParentalRating"},
    {"WM/Writer", "Writer"},
    {"WM/Director", "Director"},
    {"WM/Publisher", "Publisher"},
    {"WM/Mood", "Mood"},
    {"WM/ContentDistributor", "ContentDistributor"},
    {"WM/InitialKey", "InitialKey"},
    {"WM/Period", "Period"},
    {"WM/PartOfSet", "PartOfSet"},
    {"WM/MediaClassPrimaryID", "MediaClassPrimaryID"},
    {"WM/MediaClassSecondaryID", "MediaClassSecondaryID"},
    {"WM/WMContentID", "WMContentID"},
    {"WM/WMCollectionID", "WMCollectionID"},
    {"WM/WMCollectionGroupID", "WMCollectionGroupID"},
};
static_assert(std::size(XtraNames) == 22);

const char* const ITunesMean = "com.apple.iTunes";

std::string NameOfItem(const TAtomName& ID) {
    for (const auto& m : ItemNames)
        if (AtomName(m.Item) == ID) return std::string(m.Name);
    return {};
}

// The item a unified name saves into; "" for a freeform item.
std::string ItemOfName(const std::string& Name) {
    const std::string n = text::UpperAscii(Name);
    for (auto f : FreeformOnSave)
        if (n == f) return {};
    for (const auto& m : ItemNames)
        if (m.Name == n) return std::string(m.Item);
    for (const auto& m : ExtraSaveNames)
        if (m.Name == n) return std::string(m.Item);
    return {};
}

// The item a unified name was read from, for deletion.
std::string SourceItemOfName(const std::string& Name) {
    const std::string n = text::UpperAscii(Name);
    for (const auto& m : ItemNames)
        if (m.Name == n) return std::string(m.Item);
    return ItemOfName(Name);
}

const TIntegerItem* IntegerItem(const TAtomName& ID) {
    for (const auto& i : IntegerItems)
        if (AtomName(i.Item) == ID) return &i;
    return nullptr;
}

// The unified value of an Xtra attribute: WM/SharedUserRating 0-99 becomes 0-255.
std::string XtraValue(const TMP4Tag& Tag, const TItemName& X) {
    std::string v = Tag.GetTextXtra(std::string(X.Item), X.Item == "WM/Category");
    if (X.Item == "WM/SharedUserRating" && !v.empty()) {
        const int64_t n = text::ParseInt(v).value_or(0);
        v = std::to_string(int64_t(double(n) / 99 * 255));
    }
    return v;
}

const TItemName* XtraOfName(const std::string& Name) {
    for (const auto& x : XtraNames)
        if (text::SameText(x.Name, Name)) return &x;
    return nullptr;
}

int64_t ToInt(const std::string& Value) { return text::ParseInt(text::Trim(Value)).value_or(0); }

TTagPictureFormat FormatOf(const TCoverArt& Picture) {
    const TTagPictureFormat f = TTags::PicturePointerType(Picture.Data.data(), (int64_t)Picture.Data.size());
    return f != tpfUnknown ? f : Picture.PictureFormat;
}

uint32_t DataTypeOf(TTagPictureFormat Format) {
    switch (Format) {
        case tpfPNG: return mp4type::PNG;
        case tpfBMP: return mp4type::BMP;
        case tpfGIF: return mp4type::GIF;
        default: return mp4type::JPEG;
    }
}

const char* MIMEOf(TTagPictureFormat Format) {
    switch (Format) {
        case tpfJPEG: return "image/jpeg";
        case tpfPNG: return "image/png";
        case tpfGIF: return "image/gif";
        case tpfBMP: return "image/bmp";
        default: return "";
    }
}

// Values of every entry, grouped by upper-cased name in the order names first appear.
std::vector<std::pair<std::string, std::vector<std::string>>> GroupedEntries(const TTags& Tags) {
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (int i = 0; i < Tags.Count(); ++i) {
        const TTag* t = Tags.TagAt(i);
        const std::string n = text::UpperAscii(t->Name);
        auto g = std::find_if(groups.begin(), groups.end(), [&](const auto& x) { return x.first == n; });
        if (g == groups.end())
            groups.push_back({n, {t->Value}});
        else
            g->second.push_back(t->Value);
    }
    return groups;
}

// A freeform item is named by its namespace and its name. Items of the
// iTunes namespace load under their bare name; any other namespace (DJ
// software keeps its cue points under its own) under "----:namespace:name",
// so that a save finds each value's own item and never copies it into the
// iTunes namespace.
struct TFreeformKey {
    std::string Mean, Name;
};

constexpr std::string_view FreeformPrefix = "----:";

TFreeformKey FreeformKeyOf(const std::string& EntryName) {
    const size_t n = FreeformPrefix.size();
    if (EntryName.size() > n && EntryName.compare(0, n, FreeformPrefix) == 0)
        if (const size_t colon = EntryName.find(':', n); colon != std::string::npos)
            return {EntryName.substr(n, colon - n), EntryName.substr(colon + 1)};
    return {ITunesMean, EntryName};
}

bool HasKey(const TMP4Atom& Item, const TFreeformKey& Key) {
    return Item.ID == AtomName("----") && text::SameText(Item.NameText(), Key.Name) &&
           text::SameText(Item.MeanText(), Key.Mean);
}

std::string EntryNameOf(const TMP4Atom& Item) {
    const std::string name = Item.NameText(), mean = Item.MeanText();
    if (name.empty() || text::SameText(mean, ITunesMean)) return name;
    return std::string(FreeformPrefix) + mean + ":" + name;
}

// The values of every item of that key, in order.
std::vector<std::string> FreeformValues(TMP4Tag& Tag, const std::string& Name) {
    const TFreeformKey key = FreeformKeyOf(Name);
    std::vector<std::string> v;
    for (const auto& a : Tag.Atoms)
        if (HasKey(a, key))
            for (int i = 0; i < a.Count(); ++i) v.push_back(a.DataText(i));
    return v;
}

void DeleteFreeform(TMP4Tag& Tag, const std::string& Name) {
    const TFreeformKey key = FreeformKeyOf(Name);
    while (Tag.DeleteAtomCommon(key.Name, key.Mean)) {}
}

// The first item of that key holds the values; other items of the key go.
void SetFreeform(TMP4Tag& Tag, const std::string& Name, const std::vector<std::string>& Values) {
    const TFreeformKey key = FreeformKeyOf(Name);
    TMP4Atom* a = Tag.FindAtomCommon(key.Name, key.Mean);
    if (!a) a = &Tag.AddAtom(AtomName("----"));
    a->SetCommonText(key.Name, key.Mean, Values.empty() ? std::string() : Values[0]);
    a->Datas.resize(1);
    for (size_t i = 1; i < Values.size(); ++i) {
        auto& d = a->AddData();
        d.Data.assign(Values[i].begin(), Values[i].end());
    }
    const size_t keep = size_t(a - Tag.Atoms.data());
    for (size_t i = Tag.Atoms.size(); i-- > keep + 1;)
        if (HasKey(Tag.Atoms[i], key)) Tag.DeleteAtom((int)i);
}

void SetItemValues(TMP4Tag& Tag, const TAtomName& ID, const std::vector<std::string>& Values) {
    const int first = Tag.FindAtomIndex(ID);
    if (Values.size() == 1 && first >= 0 && Tag.FindAtomIndex(ID, first + 1) < 0) {
        // One value into one item: the item keeps its place and locale.
        TMP4Atom& a = Tag.Atoms[(size_t)first];
        a.Datas.resize(1);
        a.SetText(Values[0]);
        return;
    }
    Tag.SetValues(ID, Values);
}

}  // namespace

// ---- loading ----------------------------------------------------------------------------

namespace mp4module {

bool MergePictures(TTags& Tags, TMP4Tag& From) {
    bool added = false;
    for (const auto& a : From.Atoms) {
        if (a.ID != AtomName("covr")) continue;
        for (const auto& d : a.Datas) {
            if (d.Skipped) continue;
            TCoverArt* c = Tags.AddCoverArt(mapping::NextCoverArtName(Tags));
            if (!c) continue;
            c->Data = d.Data;
            c->PictureFormat = TTags::PicturePointerType(d.Data.data(), (int64_t)d.Data.size());
            c->MIMEType = MIMEOf(c->PictureFormat);
            c->CoverType = mapping::FrontCoverType;
            c->Description.clear();
            added = true;
        }
    }
    return added;
}

void Merge(TTags& Tags) {
    TMP4Tag& T = Tags.MP4Tag();
    const TAtomName freeform = AtomName("----"), covr = AtomName("covr");

    struct TValue {
        std::string Name, Value;
    };
    std::vector<TValue> values;
    auto add = [&](const std::string& Name, const std::string& Value) {
        if (!Value.empty()) values.push_back({Name, Value});
    };
    for (const auto& a : T.Atoms) {
        if (a.ID == freeform) {
            const std::string name = EntryNameOf(a);
            if (name.empty()) continue;
            for (int i = 0; i < a.Count(); ++i) add(name, a.DataText(i));
            continue;
        }
        if (Tags.OnlyParseCoverArts) continue;
        const std::string name = NameOfItem(a.ID);
        if (name.empty()) continue;
        if (name == "TIPL" || name == "TMCL") {
            add(name, mapping::JoinLines(T.GetList(a.ID)));
            continue;
        }
        for (int i = 0; i < a.Count(); ++i) add(name, a.DataText(i));
    }
    if (!Tags.OnlyParseCoverArts) {
        add(fieldname::Genre, T.GetGenre());
        add("MEDIA", T.GetMediaType());
        if (T.GetTrack()) add(fieldname::TrackNumber, std::to_string(T.GetTrack()));
        if (T.GetTotalTracks()) add(fieldname::TotalTracks, std::to_string(T.GetTotalTracks()));
        if (T.GetDisc()) add(fieldname::DiscNumber, std::to_string(T.GetDisc()));
        if (T.GetTotalDiscs()) add(fieldname::TotalDiscs, std::to_string(T.GetTotalDiscs()));
        add("PURCHASECOUNTRY", T.GetPurchaseCountry());
    }
    // Every name this tag supplies replaces what an earlier merge put there.
    for (const auto& v : values) {
        Tags.RemoveAll(v.Name);
        if (v.Name == fieldname::TrackNumber) Tags.RemoveAll("TRACK");
        if (v.Name == fieldname::DiscNumber) Tags.RemoveAll("DISC");
    }
    for (const auto& v : values) Tags.Add(v.Name)->Value = v.Value;

    if (Tags.ParseCoverArts && T.FindAtom(covr)) {
        Tags.DeleteAllCoverArts();
        MergePictures(Tags, T);
    }
    // The Windows Media attributes fill only names the item list left empty:
    // the same value held twice would come back as a second item on every save.
    if (!Tags.OnlyParseCoverArts)
        for (const auto& x : XtraNames) {
            const std::string v = XtraValue(T, x);
            if (!v.empty() && Tags.Exists(std::string(x.Name)) < 0) Tags.Add(std::string(x.Name))->Value = v;
        }
    Tags.Loaded = true;
}

// ---- saving -----------------------------------------------------------------------------

void Prepare(TTags& Tags) {
    TMP4Tag& T = Tags.MP4Tag();
    const auto groups = GroupedEntries(Tags);
    const std::vector<std::string>* year = nullptr;
    bool tracksDone = false, discsDone = false;
    for (const auto& [name, all] : groups) {
        // Empty entries stand for nothing; a name with only empty entries clears its items.
        std::vector<std::string> values;
        for (const auto& x : all)
            if (!x.empty()) values.push_back(x);
        if (values.empty()) values.push_back(std::string());
        const std::string& v = values[0];
        const bool cleared = v.empty();
        if (name == fieldname::TotalTracks || name == "TRACKTOTAL" || name == fieldname::TotalDiscs ||
            name == "DISCTOTAL")
            continue;
        if (name == fieldname::Year) {
            year = &all;
            continue;
        }
        if (name == fieldname::TrackNumber || name == "TRACK" || name == fieldname::DiscNumber || name == "DISC") {
            const bool track = name == fieldname::TrackNumber || name == "TRACK";
            bool& done = track ? tracksDone : discsDone;
            if (done) continue;
            done = true;
            const mapping::TNumberTotal nt = mapping::NumberAndTotal(Tags, track);
            const int n = (int)std::clamp<int64_t>(ToInt(nt.Number), 0, 0xFFFF);
            const int t = (int)std::clamp<int64_t>(ToInt(nt.Total), 0, 0xFFFF);
            if (track && (n != T.GetTrack() || t != T.GetTotalTracks())) T.SetTrack(n, t);
            if (!track && (n != T.GetDisc() || t != T.GetTotalDiscs())) T.SetDisc(n, t);
            continue;
        }
        if (name == fieldname::Genre) {
            if (values.size() == 1) {
                if (T.GetGenre() != v) T.SetGenre(v);
            } else if (T.GetValues(AtomName("©gen")) != values) {
                T.DeleteAllAtoms(AtomName("gnre"));
                T.SetValues(AtomName("©gen"), values);
            }
            continue;
        }
        if (name == "MEDIA") {
            if (T.GetMediaType() != v) T.SetMediaType(v);
            continue;
        }
        if (name == "PURCHASECOUNTRY") {
            if (T.GetPurchaseCountry() != v) T.SetPurchaseCountry(v);
            continue;
        }
        const std::string item = ItemOfName(name);
        if (item.empty() || item == "TIPL" || item == "TMCL") {
            // A freeform item; names read from another item (SErg, SEpc,
            // TPUB, the TIPL / TMCL lists) or from the Xtra box stay there
            // while their value is unchanged.
            const std::string source = SourceItemOfName(name);
            const TAtomName src = AtomName(source);
            if (!source.empty() && T.FindAtom(src)) {
                const std::string loaded =
                    source == "TIPL" || source == "TMCL" ? mapping::JoinLines(T.GetList(src)) : T.GetText(src);
                if (values.size() == 1 && loaded == v) continue;
            }
            std::vector<std::string> current = FreeformValues(T, name);
            if (current == values) continue;
            if (cleared) {
                if (!source.empty()) T.DeleteAllAtoms(src);
                DeleteFreeform(T, name);
                continue;
            }
            if (current.empty() && (source.empty() || !T.FindAtom(src)))
                if (const TItemName* x = XtraOfName(name); x && values.size() == 1 && XtraValue(T, *x) == v) continue;
            if (!source.empty()) T.DeleteAllAtoms(src);
            // The freeform item keeps the entry's own spelling of the name.
            std::string own = name;
            for (int i = 0; i < Tags.Count(); ++i)
                if (text::SameText(Tags.TagAt(i)->Name, name)) {
                    own = Tags.TagAt(i)->Name;
                    break;
                }
            SetFreeform(T, own, values);
            continue;
        }
        const TAtomName id = AtomName(item);
        if (T.GetValues(id) == values) continue;
        if (cleared) {
            T.DeleteAllAtoms(id);
            continue;
        }
        const TMP4Atom* existing = T.FindAtom(id);
        const TIntegerItem* integer = IntegerItem(id);
        if (integer || (existing && existing->IsInteger())) {
            const int width = existing && existing->IsInteger() ? (int)existing->Datas[0].Data.size() : integer->Width;
            uint64_t n = integer && integer->Boolean ? (v != "0" ? 1 : 0) : (uint64_t)std::max<int64_t>(0, ToInt(v));
            if (existing && existing->IsInteger()) {
                uint64_t old = 0;
                existing->GetInteger(old);
                if (integer && integer->Boolean && (old != 0) == (n != 0)) continue;
            }
            T.DeleteAllAtoms(id);  // an integer item holds one value
            T.SetInteger(id, n, width);
            continue;
        }
        SetItemValues(T, id, values);
    }
    // The record's year goes into the release date; a full date that
    // already starts with that year stays whole.
    if (year) {
        const TAtomName day = AtomName("©day");
        const std::string current = T.GetText(day);
        const std::string wanted = mapping::YearIntoDate(current, (*year)[0]);
        if (wanted != current) T.SetText(day, wanted);
    }

    if (!Tags.ParseCoverArts) return;
    // Pictures: the covr item holds every picture in order; an unchanged
    // list leaves it alone, and a picture that was loaded keeps its type.
    const TAtomName covr = AtomName("covr");
    const int at = T.FindAtomIndex(covr);
    if (Tags.CoverArtCount() == 0) {
        T.DeleteAllAtoms(covr);
        return;
    }
    std::vector<TMP4AtomData> old;
    for (const auto& a : T.Atoms)
        if (a.ID == covr) old.insert(old.end(), a.Datas.begin(), a.Datas.end());
    bool same = (int)old.size() == Tags.CoverArtCount();
    for (int i = 0; same && i < Tags.CoverArtCount(); ++i) same = old[(size_t)i].Data == Tags.CoverArtAt(i)->Data;
    if (same) return;
    std::vector<TMP4AtomData> datas;
    std::vector<bool> used(old.size(), false);
    for (int i = 0; i < Tags.CoverArtCount(); ++i) {
        const TCoverArt& c = *Tags.CoverArtAt(i);
        TMP4AtomData d;
        d.Data = c.Data;
        d.DataType = DataTypeOf(FormatOf(c));
        for (size_t k = 0; k < old.size(); ++k)
            if (!used[k] && !old[k].Skipped && old[k].Data == c.Data) {
                used[k] = true;
                d.DataType = old[k].DataType;
                d.Reserved = old[k].Reserved;
                break;
            }
        datas.push_back(std::move(d));
    }
    T.DeleteAllAtoms(covr);
    TMP4Atom a;
    a.ID = covr;
    a.Datas = std::move(datas);
    T.Atoms.insert(T.Atoms.begin() + (at < 0 ? T.Count() : std::min(at, T.Count())), std::move(a));
}

int Save(TTags& Tags, const std::string& FileName, bool Buffered, TStream* Stream) {
    Prepare(Tags);
    return Stream ? Tags.MP4Tag().SaveToStream(*Stream, Buffered, Tags.MP4KeepPadding)
                  : Tags.MP4Tag().SaveToFile(FileName, Tags.MP4KeepPadding);
}

void DeleteNative(TTags& Tags, const TTag& Entry) {
    TMP4Tag& T = Tags.MP4Tag();
    const std::string n = text::UpperAscii(Entry.Name);
    if (n == fieldname::TrackNumber || n == "TRACK")
        T.DeleteAllAtoms(AtomName("trkn"));
    else if (n == fieldname::TotalTracks || n == "TRACKTOTAL")
        T.SetTrack(T.GetTrack(), 0);
    else if (n == fieldname::DiscNumber || n == "DISC")
        T.DeleteAllAtoms(AtomName("disk"));
    else if (n == fieldname::TotalDiscs || n == "DISCTOTAL")
        T.SetDisc(T.GetDisc(), 0);
    else if (n == fieldname::Genre)
        T.SetGenre("");
    else if (n == "MEDIA")
        T.DeleteAllAtoms(AtomName("stik"));
    else if (n == "PURCHASECOUNTRY")
        T.DeleteAllAtoms(AtomName("sfID"));
    const std::string item = SourceItemOfName(n);
    if (!item.empty()) T.DeleteAllAtoms(AtomName(item));
    DeleteFreeform(T, Entry.Name);
    // A Windows Media value would otherwise come back from the Xtra box.
    if (const TItemName* x = XtraOfName(Entry.Name)) {
        const auto before = T.Xtras.size();
        T.Xtras.erase(std::remove_if(T.Xtras.begin(), T.Xtras.end(),
                                     [&](const TMP4Xtra& a) { return text::SameText(a.Name, x->Item); }),
                      T.Xtras.end());
        if (T.Xtras.size() != before) T.XtraChanged = true;
    }
}

int Strip(const std::string& FileName) { return RemoveMP4TagFromFile(FileName); }

bool StripFailed(int NativeCode) {
    return NativeCode == mp4result::FileOpenFailed || NativeCode == mp4result::UnsafeLayout ||
           NativeCode == mp4result::ChunkOffsetsFailed || NativeCode == mp4result::ChunkOffsets64Failed;
}

// MP4 track data: play time, bit rate (final once the media-data size is
// known), channels, bits per sample, sample rate; no sample count.
TStreamValues StreamValues(const TTags& Tags) {
    const TMP4Tag& M = Tags.MP4Tag();
    TStreamValues V;
    V.PlayTime = M.Playtime;
    V.BitRate = {M.BitRate, M.mdatAtomSize > 0};
    V.Channels.Value = M.AudioChannelCount;
    V.BitsPerSample.Value = streamvalues::ClampedInt<uint16_t>(M.AudioResolution);
    V.SamplesPerSec.Value = M.AudioSampleRate;
    return V;
}

}  // namespace mp4module
