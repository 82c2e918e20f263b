#include "app/file_ops/name_pattern.h"

#include <QStringList>

#include "app/settings/translation.h"

namespace {

// Each placeholder: its name, the record field it fills (by the record's
// field name; none for %dummy%) and what it matches.
struct TPlaceholder {
    const char* Name;
    const char* Field;
    const char* Expression;
};
constexpr TPlaceholder kPlaceholders[] = {
    {"artist", "Artist", "(.+?)"},   {"albumartist", "AlbumArtist", "(.+?)"},
    {"album", "Album", "(.+?)"},     {"title", "Title", "(.+?)"},
    {"track", "Track", "([0-9]+)"},  {"disc", "Disc", "([0-9]+)"},
    {"year", "Year", "([0-9]{4})"},  {"genre", "Genre", "(.+?)"},
    {"comment", "Comment", "(.+?)"}, {"dummy", nullptr, "(.*?)"},
};

int RecordField(const char* Name) {
    for (int i = 0; i < TAudioTag::TextFieldCount; ++i)
        if (qstrcmp(TAudioTag::TextFieldName(i), Name) == 0) return i;
    return -1;
}

const TPlaceholder* FindPlaceholder(const QString& Name) {
    for (const TPlaceholder& P : kPlaceholders)
        if (Name.compare(QLatin1String(P.Name), Qt::CaseInsensitive) == 0) return &P;
    return nullptr;
}

// The total after the number: "5/12" gives "/12", "5" nothing.
QString TotalPart(const QString& Number) {
    const qsizetype Slash = Number.indexOf(u'/');
    return Slash < 0 ? QString() : Number.mid(Slash);
}

}  // namespace

QStringList TNamePattern::PlaceholderNames() {
    QStringList Names;
    for (const TPlaceholder& P : kPlaceholders)
        Names.append(QLatin1Char('%') + QLatin1String(P.Name) + QLatin1Char('%'));
    return Names;
}

bool TNamePattern::Parse(const QString& Pattern, QString& Error) {
    FParts.clear();
    const QString Text = Pattern.normalized(QString::NormalizationForm_C);
    if (Text.trimmed().isEmpty()) {
        Error = Tr("The pattern is empty.");
        return false;
    }
    static const QRegularExpression Token(QStringLiteral("%([A-Za-z]+)%"));
    QVector<TPart> Parts;
    bool FillsAField = false;
    for (const QString& Part : Text.split(u'/')) {
        if (Part.isEmpty()) {
            Error = Tr("Every part of the pattern between two slashes needs some text.");
            return false;
        }
        TPart Out;
        QString Expression = QStringLiteral("\\A");
        qsizetype Done = 0;
        for (auto It = Token.globalMatch(Part); It.hasNext();) {
            const QRegularExpressionMatch M = It.next();
            const TPlaceholder* P = FindPlaceholder(M.captured(1));
            if (!P) {
                Error = FormatTr("Unknown placeholder: %s", {M.captured(0)});
                return false;
            }
            Expression += QRegularExpression::escape(Part.mid(Done, M.capturedStart(0) - Done));
            Expression += QLatin1String(P->Expression);
            Done = M.capturedEnd(0);
            const int Field = P->Field ? RecordField(P->Field) : -1;
            Out.GroupFields.append(Field);
            FillsAField = FillsAField || Field >= 0;
        }
        Expression += QRegularExpression::escape(Part.mid(Done)) + QStringLiteral("\\z");
        Out.Expression = QRegularExpression(Expression, QRegularExpression::CaseInsensitiveOption |
                                                            QRegularExpression::UseUnicodePropertiesOption |
                                                            QRegularExpression::DotMatchesEverythingOption);
        Parts.append(std::move(Out));
    }
    if (!FillsAField) {
        Error = Tr("The pattern has no placeholder for a tag field.");
        return false;
    }
    FParts = std::move(Parts);
    return true;
}

QVector<int> TNamePattern::Fields() const {
    QVector<int> Fields;
    for (int f = 0; f < TAudioTag::TextFieldCount; ++f) {
        for (const TPart& Part : FParts)
            if (Part.GroupFields.contains(f) && !Fields.contains(f)) Fields.append(f);
    }
    return Fields;
}

QStringList TNamePattern::LastParts(const QString& Path, int Count) {
    const QStringList All = Path.normalized(QString::NormalizationForm_C).split(u'/', Qt::SkipEmptyParts);
    if (Count <= 0 || All.size() < Count) return {};
    QStringList Parts = All.mid(All.size() - Count);
    QString& Name = Parts.last();
    const qsizetype Dot = Name.lastIndexOf(u'.');
    if (Dot >= 0) Name.truncate(Dot);
    return Parts;
}

QString TNamePattern::MatchedText(const QString& Path) const { return LastParts(Path, PartCount()).join(u'/'); }

std::optional<TGuessedValues> TNamePattern::Match(const QString& Path) const {
    const QStringList Parts = LastParts(Path, PartCount());
    if (Parts.isEmpty()) return std::nullopt;
    // Left to right, so a later part (nearer the file) overrides an earlier one.
    QVector<QString> Found(TAudioTag::TextFieldCount);
    QVector<bool> Has(TAudioTag::TextFieldCount, false);
    for (int i = 0; i < FParts.size(); ++i) {
        const QRegularExpressionMatch M = FParts[i].Expression.match(Parts[i]);
        if (!M.hasMatch()) return std::nullopt;
        for (int g = 0; g < FParts[i].GroupFields.size(); ++g) {
            const int Field = FParts[i].GroupFields[g];
            const QString Value = M.captured(g + 1).trimmed();
            if (Field < 0 || Value.isEmpty()) continue;
            Found[Field] = Value;
            Has[Field] = true;
        }
    }
    TGuessedValues Values;
    for (int f = 0; f < TAudioTag::TextFieldCount; ++f)
        if (Has[f]) Values.append({f, Found[f]});
    return Values;
}

void ApplyGuessedValues(TAudioTag& Tag, const TGuessedValues& Values) {
    static const int Track = RecordField("Track"), Disc = RecordField("Disc");
    for (const TGuessedValue& V : Values) {
        QString& Field = Tag.TextField(V.Field);
        if ((V.Field == Track || V.Field == Disc) && !V.Value.contains(u'/'))
            Field = V.Value + TotalPart(Field);
        else
            Field = V.Value;
    }
}
