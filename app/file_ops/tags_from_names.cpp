#include "app/file_ops/tags_from_names.h"

#include <QSettings>

#include "app/main_model.h"
#include "app/settings/translation.h"

namespace {

const char* const kRecentKey = "NamePatterns/Recent";

// Column captions by record field; the list's and the editor's words.
constexpr const char* kFieldCaptions[TAudioTag::TextFieldCount] = {
    "Title", "Artist",       "Album",    "Year",        "Track",     "Genre", "Comment",    "Disc",
    "BPM",   "Album Artist", "Composer", "Orig.Artist", "Copyright", "URL",   "Encoded By", "Lyrics",
};

}  // namespace

// --- the preview -------------------------------------------------------------

TNameGuessPreview::TNameGuessPreview(QObject* Parent) : QAbstractTableModel(Parent) {}

QString TNameGuessPreview::FieldCaption(int Field) {
    return Field >= 0 && Field < TAudioTag::TextFieldCount ? QLatin1String(kFieldCaptions[Field]) : QString();
}

QString TNameGuessPreview::NoMatchText() { return QStringLiteral("(no match)"); }

void TNameGuessPreview::SetFiles(const QStringList& Paths) {
    FFiles = Paths;
    Refill();
}

bool TNameGuessPreview::SetPattern(const QString& Pattern) {
    FError.clear();
    if (!FPattern.Parse(Pattern, FError)) FPattern = TNamePattern();
    Refill();
    return FPattern.IsValid();
}

void TNameGuessPreview::Refill() {
    beginResetModel();
    FFields = FPattern.Fields();
    FValues.clear();
    for (const QString& Path : FFiles) FValues.append(FPattern.IsValid() ? FPattern.Match(Path) : std::nullopt);
    endResetModel();
}

int TNameGuessPreview::MatchCount() const {
    int Count = 0;
    for (const auto& V : FValues) Count += V.has_value();
    return Count;
}

int TNameGuessPreview::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(FFiles.size());
}

int TNameGuessPreview::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : 1 + static_cast<int>(FFields.size());
}

QVariant TNameGuessPreview::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= FFiles.size()) return QVariant();
    const QString& Path = FFiles[Index.row()];
    if (Role == Qt::ToolTipRole && Index.column() == 0) return Path;
    if (Role != Qt::DisplayRole) return QVariant();
    if (Index.column() == 0) {
        const QString Matched = FPattern.MatchedText(Path);
        return Matched.isEmpty() ? Path.section(u'/', -1) : Matched;
    }
    const std::optional<TGuessedValues>& Values = FValues[Index.row()];
    if (!Values) return Index.column() == 1 && FPattern.IsValid() ? Tr(NoMatchText()) : QString();
    const int Field = ColumnField(Index.column());
    for (const TGuessedValue& V : *Values)
        if (V.Field == Field) return V.Value;
    return QString();
}

QVariant TNameGuessPreview::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(Section, Orientation, Role);
    return Tr(Section == 0 ? QStringLiteral("File") : FieldCaption(ColumnField(Section)));
}

// --- the command -------------------------------------------------------------

TTagsFromNames::TTagsFromNames(TMainModel& Model, const QString& SettingsFile)
    : FModel(Model), FSettingsFile(SettingsFile) {}

QStringList TTagsFromNames::Files() const { return FModel.GetSelectedFiles(); }

QStringList TTagsFromNames::StoredPatterns() const {
    const QSettings Ini(FSettingsFile, QSettings::IniFormat);
    QStringList Recent;
    for (const QString& P : Ini.value(QLatin1String(kRecentKey)).toStringList())
        if (!P.trimmed().isEmpty() && !Recent.contains(P) && Recent.size() < kMaxRecentPatterns) Recent.append(P);
    return Recent;
}

QStringList TTagsFromNames::RecentPatterns() const {
    const QStringList Recent = StoredPatterns();
    return Recent.isEmpty() ? QStringList{TNamePattern::DefaultPattern()} : Recent;
}

void TTagsFromNames::Remember(const QString& Pattern) {
    QStringList Recent = StoredPatterns();
    Recent.removeAll(Pattern);
    Recent.prepend(Pattern);
    while (Recent.size() > kMaxRecentPatterns) Recent.removeLast();
    QSettings Ini(FSettingsFile, QSettings::IniFormat);
    Ini.setValue(QLatin1String(kRecentKey), Recent);
}

int TTagsFromNames::Apply(const QString& Pattern) {
    IUserInteraction& Ui = FModel.Ui();
    const QStringList Paths = Files();
    if (Paths.isEmpty()) {
        Ui.Inform(Tr("Please select the files whose tags are to come from their names."));
        return 0;
    }
    TNamePattern Parsed;
    QString Error;
    if (!Parsed.Parse(Pattern, Error)) {
        Ui.ShowError(Error);
        return 0;
    }
    bool AnyMatch = false;
    for (const QString& Path : Paths) AnyMatch = AnyMatch || Parsed.Match(Path).has_value();
    if (!AnyMatch) {
        Ui.Inform(Tr("None of the selected files matches the pattern."));
        return 0;
    }
    Remember(Pattern);
    const QStringList Changed = FModel.ApplyToSelectedRecords([&Parsed](const QString& Path, TAudioTag& Tag) {
        const std::optional<TGuessedValues> Values = Parsed.Match(Path);
        if (!Values) return false;
        const TAudioTag Before = Tag;
        ApplyGuessedValues(Tag, *Values);
        return !(Tag == Before);
    });
    if (!Changed.isEmpty()) FModel.Save();
    return static_cast<int>(Changed.size());
}
