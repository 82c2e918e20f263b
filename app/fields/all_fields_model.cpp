#include "app/fields/all_fields_model.h"

#include <QRegularExpression>

#include "app/core/record_entries.h"
#include "app/main_model.h"
#include "app/settings/translation.h"
#include "tags/tag_formats.h"
#include "tags/tag_types.h"

namespace {

// Names whose value is a text of several lines rather than a list.
constexpr const char* kTextNames[] = {"COMMENT",     "LYRICS",         "UNSYNCEDLYRICS",
                                      "DESCRIPTION", "INVOLVEDPEOPLE", "MUSICIANCREDITS"};
// Longer names no tag kind keeps (an APEv2 key has at most 255 bytes).
constexpr int kMaxNameLength = 255;

// The entries of one field in a list, in order.
QVector<int> GroupIndexes(const QVector<TTagEntry>& Entries, const TTagEntry& Key) {
    QVector<int> Out;
    for (int I = 0; I < Entries.size(); ++I)
        if (recordentries::SameGroup(Entries[I], Key)) Out.append(I);
    return Out;
}

bool IsTextName(const QString& Name) {
    for (const char* T : kTextNames)
        if (Name.compare(QLatin1String(T), Qt::CaseInsensitive) == 0) return true;
    return false;
}

// A field's values as the view shows them. Tags keep several values of a
// name as several entries, or as one entry with a value a line (an ID3v2
// text frame's list); both show as one value a line, but for the names
// whose value is a text of several lines.
QStringList GroupValues(const QVector<TTagEntry>& Entries, const TTagEntry& Key) {
    QStringList Out;
    const bool Text = IsTextName(Key.Name);
    for (int I : GroupIndexes(Entries, Key)) {
        if (Text) {
            Out.append(Entries[I].Value);
            continue;
        }
        for (const QString& Line : Entries[I].Value.split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n"))))
            if (!Line.isEmpty()) Out.append(Line);
    }
    return Out;
}

// Gives the field Key exactly Values: its entries take them in order, new
// ones go right behind its last entry (or at the end for a new field),
// surplus ones go. Returns whether anything changed.
bool SetGroup(QVector<TTagEntry>& Entries, const TTagEntry& Key, const QStringList& Values) {
    if (GroupValues(Entries, Key) == Values) return false;
    // A value the view split from its lines stays one entry per value now.
    const QVector<int> Own = GroupIndexes(Entries, Key);
    for (int K = 0; K < Values.size() && K < Own.size(); ++K) Entries[Own[K]].Value = Values[K];
    int InsertAt = Own.isEmpty() ? static_cast<int>(Entries.size()) : Own.last() + 1;
    const TTagEntry Like = Own.isEmpty() ? Key : Entries[Own.first()];
    for (qsizetype K = Own.size(); K < Values.size(); ++K) {
        TTagEntry E = Like;
        E.Value = Values[K];
        Entries.insert(InsertAt++, E);
    }
    for (qsizetype K = Own.size(); K-- > Values.size();) Entries.removeAt(Own[K]);
    return true;
}

// The field a name stands for in one file: an entry of that name without a
// description, or a user-defined frame described by it.
const TTagEntry* NamedField(const QVector<TTagEntry>& Entries, const QString& Name) {
    for (const TTagEntry& E : Entries)
        if (E.Name.compare(Name, Qt::CaseInsensitive) == 0 &&
            (E.Description.isEmpty() || E.Description.compare(Name, Qt::CaseInsensitive) == 0))
            return &E;
    return nullptr;
}

}  // namespace

TAllFieldsModel::TAllFieldsModel(TMainModel& Main, QObject* Parent) : QAbstractTableModel(Parent), FMain(Main) {
    // The editor shows the records anew after every change of them (an
    // edit applied, an undo, a command): so does this view.
    connect(&FMain, &TMainModel::EditorChanged, this, [this] { Reload(); });
    Reload();
}

void TAllFieldsModel::Reload() {
    beginResetModel();
    FFiles.clear();
    FRows.clear();
    QVector<QVector<TTagEntry>> Lists;
    for (const QString& Path : FMain.GetSelectedFiles()) {
        TAudioTag Tag;
        if (!FMain.TryGetCachedTag(Path, Tag)) continue;
        QVector<TTagEntry> Entries;
        QVector<TPictureEntry> Pictures;
        recordentries::Effective(Tag, Entries, Pictures);
        FFiles.append(Path);
        Lists.append(std::move(Entries));
    }
    // Fields in the order they first come in the files.
    for (const QVector<TTagEntry>& Entries : Lists)
        for (const TTagEntry& E : Entries) {
            bool Known = false;
            for (const TRow& R : FRows) Known = Known || recordentries::SameGroup(R.Key, E);
            if (Known) continue;
            TRow Row;
            Row.Key = E;
            Row.Key.Value.clear();
            FRows.append(Row);
        }
    for (TRow& Row : FRows) {
        Row.Values = GroupValues(Lists.first(), Row.Key);
        for (const QVector<TTagEntry>& Entries : Lists) {
            for (int I : GroupIndexes(Entries, Row.Key)) Row.Kinds |= Entries[I].Kinds;
            Row.Differs = Row.Differs || GroupValues(Entries, Row.Key) != Row.Values;
        }
        if (Row.Differs) Row.Values.clear();
    }
    endResetModel();
}

int TAllFieldsModel::FindRow(const QString& Name) const {
    for (int R = 0; R < FRows.size(); ++R)
        if (FRows[R].Key.Name.compare(Name, Qt::CaseInsensitive) == 0) return R;
    return -1;
}

bool TAllFieldsModel::ChangeLists(const std::function<bool(QVector<TTagEntry>&)>& Change) {
    if (FFiles.isEmpty()) return false;
    const QStringList Changed = FMain.ApplyToSelectedRecords([&](const QString&, TAudioTag& Tag) {
        QVector<TTagEntry> Entries;
        QVector<TPictureEntry> Pictures;
        recordentries::Effective(Tag, Entries, Pictures);
        if (!Change(Entries)) return false;
        recordentries::SetLists(Tag, std::move(Entries), std::move(Pictures));
        return true;
    });
    Reload();
    return !Changed.isEmpty();
}

bool TAllFieldsModel::SetValues(int Row, const QStringList& Values) {
    if (Row < 0 || Row >= FRows.size()) return false;
    const TTagEntry Key = FRows[Row].Key;
    QStringList Clean;
    for (const QString& V : Values)
        if (!V.isEmpty()) Clean.append(V);
    return ChangeLists([&](QVector<TTagEntry>& Entries) { return SetGroup(Entries, Key, Clean); });
}

bool TAllFieldsModel::AddField(const QString& AName, const QStringList& Values, QString& Error) {
    const QString Name = AName.trimmed();
    if (!ValidName(Name, Error)) return false;
    QStringList Clean;
    for (const QString& V : Values)
        if (!V.isEmpty() && !Clean.contains(V)) Clean.append(V);
    if (Clean.isEmpty()) {
        Error = Tr("Enter a value for the field.");
        return false;
    }
    if (FFiles.isEmpty()) {
        Error = Tr("Please select one or more files first.");
        return false;
    }
    Error.clear();
    ChangeLists([&](QVector<TTagEntry>& Entries) {
        TTagEntry Key;
        if (const TTagEntry* Own = NamedField(Entries, Name))
            Key = *Own;
        else
            Key.Name = Name;
        QStringList Now = GroupValues(Entries, Key);
        for (const QString& V : Clean)
            if (!Now.contains(V)) Now.append(V);
        return SetGroup(Entries, Key, Now);
    });
    return true;
}

bool TAllFieldsModel::DeleteRows(const QVector<int>& Rows) {
    QVector<TTagEntry> Keys;
    for (int R : Rows)
        if (R >= 0 && R < FRows.size()) Keys.append(FRows[R].Key);
    if (Keys.isEmpty()) return false;
    return ChangeLists([&](QVector<TTagEntry>& Entries) {
        bool Any = false;
        for (const TTagEntry& Key : Keys) Any = SetGroup(Entries, Key, {}) || Any;
        return Any;
    });
}

QString TAllFieldsModel::ShownName(const TTagEntry& Key) {
    QString Out = Key.Name;
    if (!Key.Description.isEmpty() && Key.Description.compare(Key.Name, Qt::CaseInsensitive) != 0)
        Out += QStringLiteral(" (") + Key.Description + QLatin1Char(')');
    if (!Key.Language.isEmpty()) Out += QStringLiteral(" [") + Key.Language + QLatin1Char(']');
    return Out;
}

QString TAllFieldsModel::KindsText(uint32_t Kinds) {
    QStringList Names;
    for (const TTagFormat& F : TagFormats())
        if (Kinds & (1u << F.Kind)) Names.append(QLatin1String(TagTypeName(F.Kind)));
    return Names.isEmpty() ? Tr("new") : Names.join(QStringLiteral(", "));
}

QString TAllFieldsModel::ValuesText(const TRow& Row) {
    if (Row.Differs) return TMainModel::KeepMarker();
    QStringList Shown;
    for (QString V : Row.Values)
        Shown.append(V.replace(QStringLiteral("\r\n"), QStringLiteral(" \u21B5 "))
                         .replace(QLatin1Char('\n'), QStringLiteral(" \u21B5 "))
                         .replace(QLatin1Char('\r'), QStringLiteral(" \u21B5 ")));
    return Shown.join(QStringLiteral("; "));
}

bool TAllFieldsModel::IsTextField(const QString& Name, const QStringList& Values) {
    if (IsTextName(Name)) return true;
    for (const QString& V : Values)
        if (V.contains(QLatin1Char('\n')) || V.contains(QLatin1Char('\r'))) return true;
    return false;
}

QStringList TAllFieldsModel::ValuesFromText(bool OneText, const QString& Text) {
    if (OneText) {
        // The library keeps line breaks as CR LF.
        QString Value = Text;
        Value.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        return Value.isEmpty() ? QStringList() : QStringList{Value};
    }
    QStringList Out;
    for (const QString& Line : Text.split(QLatin1Char('\n'))) {
        QString Value = Line;
        if (Value.endsWith(QLatin1Char('\r'))) Value.chop(1);
        if (!Value.isEmpty()) Out.append(Value);
    }
    return Out;
}

bool TAllFieldsModel::ValidName(const QString& Name, QString& Error) {
    bool Bad = Name.isEmpty() || Name.size() > kMaxNameLength || Name.contains(QLatin1Char('='));
    for (QChar C : Name) Bad = Bad || C.unicode() < 0x20 || C.unicode() == 0x7F;
    Error = Bad ? Tr("A field name must not be empty and must not hold \"=\" or line breaks.") : QString();
    return !Bad;
}

QStringList TAllFieldsModel::ColumnCaptions() {
    return {QStringLiteral("Field"), QStringLiteral("Values"), QStringLiteral("Tags")};
}

int TAllFieldsModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TAllFieldsModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : fcCount; }

QVariant TAllFieldsModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= FRows.size()) return QVariant();
    const TRow& Row = FRows[Index.row()];
    if (Role == Qt::DisplayRole) {
        switch (Index.column()) {
            case fcName: return ShownName(Row.Key);
            case fcValues: return ValuesText(Row);
            case fcKinds: return KindsText(Row.Kinds);
            default: return QVariant();
        }
    }
    if (Role == Qt::ToolTipRole && Index.column() == fcValues && !Row.Differs)
        return Row.Values.join(QLatin1Char('\n'));
    return QVariant();
}

QVariant TAllFieldsModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole || Section < 0 || Section >= fcCount)
        return QVariant();
    return Tr(ColumnCaptions().at(Section));
}
