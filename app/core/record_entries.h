// The record's full entry and picture lists (TAudioTag::Entries, Pictures)
// and their way to and from a tag container.
//
// A record read from a file carries the container's merged entry list and
// its pictures beside the sixteen fields. The sixteen fields are a view of
// that list: a field edited in the editor changes the record's field only,
// and what a save writes is the list with the edited fields on top
// (Effective). The all-fields and pictures views edit the lists themselves
// and then derive the sixteen fields and the cover from them again
// (SetLists), so both views always agree.
//
// A save compares the record's lists with the container read from the file:
// where they are the same, nothing but the sixteen fields and the cover is
// written, exactly as for a record without lists; where they differ, the
// changed names are put into the container group by group (ApplyLists) and
// the names the record did not touch keep their entries, so each tag kind
// writes them back from its own bytes.
#pragma once

#include <QVector>

#include "app/core/audio_tag.h"

class TTags;

namespace recordentries {

// The container's entries and pictures into the record's lists (no kinds yet).
void ReadLists(const TTags& Tags, TAudioTag& Tag);
// Notes in each entry of Tag which loaded tag kinds of Tags hold its name.
// Merges each kind on its own into the container's entry list, so the
// container's entries are the last kind's afterwards: call it last.
void NoteKinds(TTags& Tags, TAudioTag& Tag);

// Whether the record carries lists that differ from the container's.
bool ListsDiffer(const TTags& Tags, const TAudioTag& Tag);
// Puts the record's lists into the container: names whose entries differ
// get the record's entries, names it no longer has are deleted (with what
// stands for them in every tag kind), and a changed picture list replaces
// the container's pictures.
void ApplyLists(TTags& Tags, const TAudioTag& Tag);

// What a save of the record writes: its lists with the sixteen fields and
// the cover applied on top, as the save applies them.
void Effective(const TAudioTag& Tag, QVector<TTagEntry>& Entries, QVector<TPictureEntry>& Pictures);
// Whether a save of the record would leave the file without any entry or picture.
bool LeavesNothing(const TAudioTag& Tag);
// Replaces the record's lists and sets its sixteen fields and its cover to
// what they show. Kinds of entries that are still as they were stay.
void SetLists(TAudioTag& Tag, QVector<TTagEntry> Entries, QVector<TPictureEntry> Pictures);

// Entries of one name: same name (letter case aside), description, language
// and kind of user-defined frame.
bool SameGroup(const TTagEntry& A, const TTagEntry& B);
// A name for a new picture that no picture of the list has: "Cover art N".
QString NewPictureName(const QVector<TPictureEntry>& Pictures);

}  // namespace recordentries
