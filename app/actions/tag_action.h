// Quick actions: one text transformation of one tag field, and named,
// ordered lists of them (presets).
//
// An action reads and writes only the seven fields TTagField names; the
// record's other fields are never touched. ApplyActions runs a preset's
// actions in order on one record, each seeing what the previous one left.
#pragma once

#include <QString>
#include <QVector>
#include <cstdint>

#include "app/core/audio_tag.h"

enum TTagActionKind : uint8_t {
    takTrimSpaces,
    takUpperCase,
    takLowerCase,
    takTitleCase,
    takReplaceText,
    takCopyField,
    takCollapseSpaces
};
constexpr int kTagActionKindCount = 7;

enum TTagField : uint8_t { tfTitle, tfArtist, tfAlbum, tfYear, tfTrack, tfGenre, tfComment };
constexpr int kTagFieldCount = 7;

struct TTagAction {
    TTagActionKind Kind = takTrimSpaces;
    TTagField TargetField = tfTitle;
    TTagField SourceField = tfTitle;
    QString SearchText;
    QString ReplaceText;
    bool operator==(const TTagAction&) const = default;
};

struct TActionPreset {
    QString Name;
    QVector<TTagAction> Actions;
};

// The names written to the preset file: "TrimSpaces" ..., "Title" ...
// (an out-of-range ordinal gives "TrimSpaces" / "Title").
QString ActionKindName(TTagActionKind Kind);
QString TagFieldName(TTagField Field);
// Reading them back: trimmed, any letter case; anything unknown gives
// takTrimSpaces / tfTitle.
TTagActionKind ActionKindFromName(const QString& Name);
TTagField TagFieldFromName(const QString& Name);

// A field of the record by TTagField; an ordinal outside the seven reads as
// empty and writes nothing.
QString ReadTagField(const TAudioTag& Tag, TTagField Field);
void WriteTagField(TAudioTag& Tag, TTagField Field, const QString& Value);

// The single transformations.
QString TrimSpaces(const QString& Text);      // U+0000..U+0020 at both ends
QString CollapseSpaces(const QString& Text);  // runs of U+0000..U+0020 -> one space, trimmed
QString AsciiUpper(const QString& Text);      // a-z only
QString AsciiLower(const QString& Text);      // A-Z only
QString TitleCase(const QString& Text);       // letters and digits start words
QString ReplaceAll(const QString& Text, const QString& Search, const QString& Replace);

// Applies Actions[0..LastIndex] to the record in order.
void ApplyActions(TAudioTag& Tag, const QVector<TTagAction>& Actions, int LastIndex);
inline void ApplyActions(TAudioTag& Tag, const QVector<TTagAction>& Actions) {
    ApplyActions(Tag, Actions, static_cast<int>(Actions.size()) - 1);
}

// Names compare with ASCII letters folded; every other character exactly.
bool SameAsciiName(const QString& A, const QString& B);
