// TNamePattern: tags read back from where a file lies and what it is called.
//
// A pattern describes the last parts of a path, "/" between them, e.g.
// "%artist%/%year% - %album%/%track% - %title%": the last part stands for
// the file name without its extension, the ones before it for the folders
// above it. Placeholders (any letter case) fill record fields:
//   %artist% %albumartist% %album% %title% %comment% %genre%  any text
//   %track% %disc%                                           digits
//   %year%                                                   four digits
//   %dummy%                                                  any text, even
//                                                            none, ignored
// Everything else is literal text, compared without regard to letter case.
// Each part must match its path part whole; text placeholders take as few
// characters as they can, so in "%artist% - %title%" the first " - " ends
// the artist. A path with fewer parts than the pattern does not match.
// Values are trimmed; one that is empty then fills nothing. A field named
// twice takes its value from the part nearest the file name (the folder may
// say "Various Artists" where the file names the artist). Path and pattern
// are compared in Unicode composed form (NFC), as one person's accented
// letter may be another system's letter plus accent.
//
// A plain value type, parsed once and matched against any number of paths.
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QVector>
#include <optional>

#include "app/core/audio_tag.h"

// One record field a path gives a value, by TAudioTag::TextField index.
struct TGuessedValue {
    int Field = 0;
    QString Value;
    bool operator==(const TGuessedValue&) const = default;
};
// The values of one path, in the record's field order.
using TGuessedValues = QVector<TGuessedValue>;

class TNamePattern {
public:
    // The placeholders in the order shown to users.
    static QStringList PlaceholderNames();
    // The default offered when no pattern has been used yet.
    static QString DefaultPattern() { return QStringLiteral("%artist%/%album%/%track% - %title%"); }

    // False with Error (translated) for an empty pattern, an empty part
    // ("a//b", a leading or trailing "/"), an unknown placeholder, or a
    // pattern that fills no field.
    bool Parse(const QString& Pattern, QString& Error);
    bool IsValid() const { return !FParts.isEmpty(); }
    int PartCount() const { return static_cast<int>(FParts.size()); }
    // The record fields the pattern fills, in the record's order.
    QVector<int> Fields() const;

    // The values for Path (a full path, extension included), or nothing
    // when it does not match.
    std::optional<TGuessedValues> Match(const QString& Path) const;
    // The last PartCount() parts of Path as the pattern sees them (without
    // the extension), "/" between them; empty when Path has fewer parts.
    QString MatchedText(const QString& Path) const;

private:
    struct TPart {
        QRegularExpression Expression;
        QVector<int> GroupFields;  // per capture group: record field, -1 for %dummy%
    };
    // The last Count parts of Path, the file name without its extension.
    static QStringList LastParts(const QString& Path, int Count);

    QVector<TPart> FParts;
};

// Puts the values into a record. A track or disc number without a total
// keeps the total the record had ("03" into "5/12" gives "03/12").
void ApplyGuessedValues(TAudioTag& Tag, const TGuessedValues& Values);
