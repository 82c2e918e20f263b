#include "app/core/record_entries.h"

#include <QSet>
#include <string>
#include <vector>

#include "app/core/tag_service.h"
#include "tags/tag_formats.h"
#include "tags/tags.h"

namespace {

std::string ToLib(const QString& Text) { return Text.toStdString(); }
QString FromLib(const std::string& Text) { return QString::fromUtf8(Text.data(), (qsizetype)Text.size()); }

TTagEntry EntryOf(const TTag& T) {
    TTagEntry E;
    E.Name = FromLib(T.Name);
    E.Value = FromLib(T.Value);
    E.Description = FromLib(T.Description);
    E.Language = FromLib(T.Language);
    E.SortWith = FromLib(T.SortWith);
    E.ExtType = T.ExtTagType;
    return E;
}

void SetLibEntry(TTag& T, const TTagEntry& E) {
    T.Name = ToLib(E.Name);
    T.Value = ToLib(E.Value);
    T.Description = ToLib(E.Description);
    T.Language = ToLib(E.Language);
    T.SortWith = ToLib(E.SortWith);
    T.ExtTagType = static_cast<TExtTagType>(E.ExtType);
}

// What the save compares: the entry as each tag kind would write it.
bool SameEntry(const TTag& T, const TTagEntry& E) {
    return FromLib(T.Name) == E.Name && FromLib(T.Value) == E.Value && FromLib(T.Description) == E.Description &&
           FromLib(T.Language) == E.Language && T.ExtTagType == E.ExtType;
}

bool SamePicture(const TCoverArt& C, const TPictureEntry& P) {
    return FromLib(C.Name) == P.Name && C.CoverType == P.Type && FromLib(C.Description) == P.Description &&
           FromLib(C.MIMEType) == P.Mime && (qsizetype)C.Data.size() == P.Data.size() &&
           std::equal(C.Data.begin(), C.Data.end(), reinterpret_cast<const uint8_t*>(P.Data.constData()));
}

void AddPicture(TTags& Tags, const TPictureEntry& P) {
    const auto* Bytes = reinterpret_cast<const uint8_t*>(P.Data.constData());
    TCoverArt* C = Tags.AddCoverArt(ToLib(P.Name), std::vector<uint8_t>(Bytes, Bytes + P.Data.size()), ToLib(P.Mime));
    C->CoverType = P.Type;
    C->Description = ToLib(P.Description);
    if (C->PictureFormat == tpfUnknown)
        C->PictureFormat = TTags::PicturePointerType(C->Data.data(), (int64_t)C->Data.size());
    C->Width = P.Width;
    C->Height = P.Height;
}

// A container that holds the lists and nothing else: no file, no tag kind.
void FillDetached(TTags& Tags, const QVector<TTagEntry>& Entries, const QVector<TPictureEntry>& Pictures) {
    for (const TTagEntry& E : Entries) SetLibEntry(*Tags.Add(ToLib(E.Name)), E);
    for (const TPictureEntry& P : Pictures) AddPicture(Tags, P);
}

// A record's pictures share their bytes with its cover where they are the same.
void ShareCover(TAudioTag& Tag) {
    for (TPictureEntry& P : Tag.Pictures)
        if (!Tag.CoverData.isEmpty() && P.Data == Tag.CoverData) {
            Tag.CoverData = P.Data;
            break;
        }
}

}  // namespace

namespace recordentries {

bool SameGroup(const TTagEntry& A, const TTagEntry& B) {
    return A.Name.compare(B.Name, Qt::CaseInsensitive) == 0 && A.Description == B.Description &&
           A.Language == B.Language && A.ExtType == B.ExtType;
}

QString NewPictureName(const QVector<TPictureEntry>& Pictures) {
    for (int N = (int)Pictures.size() + 1;; ++N) {
        const QString Name = QStringLiteral("Cover art %1").arg(N);
        bool Taken = false;
        for (const TPictureEntry& P : Pictures) Taken = Taken || P.Name.compare(Name, Qt::CaseInsensitive) == 0;
        if (!Taken) return Name;
    }
}

void ReadLists(const TTags& Tags, TAudioTag& Tag) {
    Tag.Entries.clear();
    Tag.Entries.reserve(Tags.Count());
    for (int I = 0; I < Tags.Count(); ++I) Tag.Entries.append(EntryOf(*Tags.TagAt(I)));
    Tag.Pictures.clear();
    for (int I = 0; I < Tags.CoverArtCount(); ++I) {
        const TCoverArt& C = *Tags.CoverArtAt(I);
        TPictureEntry P;
        P.Name = FromLib(C.Name);
        P.Type = C.CoverType;
        P.Description = FromLib(C.Description);
        P.Mime = FromLib(C.MIMEType);
        P.Data = QByteArray(reinterpret_cast<const char*>(C.Data.data()), (qsizetype)C.Data.size());
        P.Width = C.Width;
        P.Height = C.Height;
        Tag.Pictures.append(P);
    }
    ShareCover(Tag);
    Tag.EntriesLoaded = true;
}

void NoteKinds(TTags& Tags, TAudioTag& Tag) {
    std::vector<TTagType> Kinds;
    for (const TTagFormat& F : TagFormats())
        if (Tags.NativeLoaded(F.Kind)) Kinds.push_back(F.Kind);
    if (Kinds.size() == 1) {
        for (TTagEntry& E : Tag.Entries) E.Kinds = 1u << Kinds.front();
        return;
    }
    // The merge keeps one kind's entries for each name; each kind merged on
    // its own shows which names it holds.
    const TTagPriority Priority = Tags.TagLoadPriority;
    const bool Pictures = Tags.ParseCoverArts, OnlyPictures = Tags.OnlyParseCoverArts;
    Tags.ParseCoverArts = false;
    Tags.OnlyParseCoverArts = false;
    for (TTagType Kind : Kinds) {
        while (Tags.Count() > 0) Tags.Remove(Tags.Count() - 1);
        TTagPriority Only;
        Only.fill(ttNone);
        Only[0] = Kind;
        Tags.TagLoadPriority = Only;
        try {
            Tags.LoadTags();
        } catch (...) {
            continue;
        }
        QSet<QString> Names;
        for (int I = 0; I < Tags.Count(); ++I) Names.insert(FromLib(Tags.TagAt(I)->Name).toUpper());
        for (TTagEntry& E : Tag.Entries)
            if (Names.contains(E.Name.toUpper())) E.Kinds |= 1u << Kind;
    }
    Tags.TagLoadPriority = Priority;
    Tags.ParseCoverArts = Pictures;
    Tags.OnlyParseCoverArts = OnlyPictures;
}

bool ListsDiffer(const TTags& Tags, const TAudioTag& Tag) {
    if (!Tag.EntriesLoaded) return false;
    if (Tags.Count() != Tag.Entries.size() || Tags.CoverArtCount() != Tag.Pictures.size()) return true;
    for (int I = 0; I < Tags.Count(); ++I)
        if (!SameEntry(*Tags.TagAt(I), Tag.Entries[I])) return true;
    for (int I = 0; I < Tags.CoverArtCount(); ++I)
        if (!SamePicture(*Tags.CoverArtAt(I), Tag.Pictures[I])) return true;
    return false;
}

void ApplyLists(TTags& Tags, const TAudioTag& Tag) {
    if (!Tag.EntriesLoaded) return;
    auto InRecord = [&](const TTag& T) {
        const TTagEntry E = EntryOf(T);
        for (const TTagEntry& R : Tag.Entries)
            if (SameGroup(R, E)) return true;
        return false;
    };
    // Names the record no longer has go, with their counterparts in every kind.
    for (int I = Tags.Count() - 1; I >= 0; --I)
        if (!InRecord(*Tags.TagAt(I))) Tags.Delete(I);
    // Each name of the record, in its order: unchanged ones stay untouched,
    // so every kind keeps its own bytes for them.
    for (qsizetype First = 0; First < Tag.Entries.size(); ++First) {
        const TTagEntry& Key = Tag.Entries[First];
        bool Seen = false;
        for (qsizetype K = 0; K < First && !Seen; ++K) Seen = SameGroup(Tag.Entries[K], Key);
        if (Seen) continue;
        QVector<const TTagEntry*> Want;
        for (qsizetype K = First; K < Tag.Entries.size(); ++K)
            if (SameGroup(Tag.Entries[K], Key)) Want.append(&Tag.Entries[K]);
        std::vector<int> Own;
        for (int I = 0; I < Tags.Count(); ++I)
            if (SameGroup(EntryOf(*Tags.TagAt(I)), Key)) Own.push_back(I);
        bool Same = Own.size() == (size_t)Want.size();
        for (size_t K = 0; Same && K < Own.size(); ++K) Same = SameEntry(*Tags.TagAt(Own[K]), *Want[(qsizetype)K]);
        if (Same) continue;
        for (qsizetype K = 0; K < Want.size(); ++K) {
            if ((size_t)K < Own.size())
                SetLibEntry(*Tags.TagAt(Own[(size_t)K]), *Want[K]);
            else
                SetLibEntry(*Tags.Add(ToLib(Want[K]->Name)), *Want[K]);
        }
        for (size_t K = Own.size(); K-- > (size_t)Want.size();) Tags.Remove(Own[K]);
    }

    bool PicturesSame = Tags.CoverArtCount() == Tag.Pictures.size();
    for (int I = 0; PicturesSame && I < Tags.CoverArtCount(); ++I)
        PicturesSame = SamePicture(*Tags.CoverArtAt(I), Tag.Pictures[I]);
    if (PicturesSame) return;
    Tags.DeleteAllCoverArts();
    for (const TPictureEntry& P : Tag.Pictures) AddPicture(Tags, P);
}

void Effective(const TAudioTag& Tag, QVector<TTagEntry>& Entries, QVector<TPictureEntry>& Pictures) {
    TTags Tags;
    FillDetached(Tags, Tag.Entries, Tag.Pictures);
    TTagService::CopyRecordToTags(Tags, Tag);
    TAudioTag Out;
    ReadLists(Tags, Out);
    for (TTagEntry& E : Out.Entries)
        for (const TTagEntry& Old : Tag.Entries)
            if (SameGroup(Old, E)) {
                E.Kinds = Old.Kinds;
                break;
            }
    // Pictures the cover did not change keep the bytes the record shares.
    for (TPictureEntry& P : Out.Pictures)
        for (const TPictureEntry& Old : Tag.Pictures)
            if (Old.Data == P.Data) {
                P.Data = Old.Data;
                break;
            }
    Entries = std::move(Out.Entries);
    Pictures = std::move(Out.Pictures);
}

bool LeavesNothing(const TAudioTag& Tag) {
    QVector<TTagEntry> Entries;
    QVector<TPictureEntry> Pictures;
    Effective(Tag, Entries, Pictures);
    return Entries.isEmpty() && Pictures.isEmpty();
}

void SetLists(TAudioTag& Tag, QVector<TTagEntry> Entries, QVector<TPictureEntry> Pictures) {
    TTags Tags;
    FillDetached(Tags, Entries, Pictures);
    TAudioTag Shown;
    TTagService::CopyTagsToRecord(Tags, Shown);
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I) Tag.TextField(I) = Shown.TextField(I);
    Tag.CoverData = Shown.CoverData;
    Tag.CoverMime = Shown.CoverMime;
    Tag.Entries = std::move(Entries);
    Tag.Pictures = std::move(Pictures);
    Tag.EntriesLoaded = true;
    ShareCover(Tag);
}

}  // namespace recordentries
