#include "app/core/record_merge.h"

#include <utility>

#include "app/core/record_entries.h"

namespace recordmerge {

namespace {

// Replaces in Into every group (as Same tells them apart) in which Edited
// differs from Base by Edited's items of that group, in the place of the
// group's first item (at the end when Into has none of it).
template <typename T, typename TSame>
bool MergeGroups(const QVector<T>& Base, const QVector<T>& Edited, QVector<T>& Into, TSame Same) {
    auto GroupOf = [&Same](const QVector<T>& List, const T& Key) {
        QVector<T> Group;
        for (const T& Item : List)
            if (Same(Item, Key)) Group.append(Item);
        return Group;
    };
    bool Changed = false;
    QVector<T> Seen;
    for (const QVector<T>* List : {&Base, &Edited}) {
        for (const T& Key : *List) {
            bool Known = false;
            for (const T& S : Seen) Known = Known || Same(S, Key);
            if (Known) continue;
            Seen.append(Key);
            const QVector<T> Wanted = GroupOf(Edited, Key);
            if (GroupOf(Base, Key) == Wanted) continue;
            Changed = true;
            qsizetype At = -1;
            for (qsizetype I = Into.size() - 1; I >= 0; --I) {
                if (!Same(Into[I], Key)) continue;
                Into.removeAt(I);
                At = I;
            }
            if (At < 0) At = Into.size();
            for (const T& Item : Wanted) Into.insert(At++, Item);
        }
    }
    return Changed;
}

}  // namespace

TAudioTag ApplyEdits(const TAudioTag& Base, const TAudioTag& Edited, const TAudioTag& Current) {
    TAudioTag Result = Current;
    if (Base.EntriesLoaded && Edited.EntriesLoaded && Current.EntriesLoaded) {
        QVector<TTagEntry> Entries = Current.Entries;
        QVector<TPictureEntry> Pictures = Current.Pictures;
        const bool EntriesChanged = MergeGroups(Base.Entries, Edited.Entries, Entries, &recordentries::SameGroup);
        const bool PicturesChanged =
            MergeGroups(Base.Pictures, Edited.Pictures, Pictures,
                        [](const TPictureEntry& A, const TPictureEntry& B) { return A.Name == B.Name; });
        if (EntriesChanged || PicturesChanged) recordentries::SetLists(Result, std::move(Entries), std::move(Pictures));
    }
    for (int I = 0; I < TAudioTag::TextFieldCount; ++I)
        if (Edited.TextField(I) != Base.TextField(I)) Result.TextField(I) = Edited.TextField(I);
    if (Edited.CoverData != Base.CoverData || Edited.CoverMime != Base.CoverMime) {
        Result.CoverData = Edited.CoverData;
        Result.CoverMime = Edited.CoverMime;
    }
    Result.FileName = Edited.FileName;
    Result.FileType = Edited.FileType;
    Result.Modified = Edited.Modified;
    return Result;
}

}  // namespace recordmerge
