// TAllFieldsModel: every entry of the selected files, by name, for the
// all-fields view beside the editor.
//
// A row is one field: a name (with the description and language that tell
// apart a described comment or a user-defined frame of that name) and its
// values, as a save of the selected records would write them (the record's
// entry list with the editor's sixteen fields on top). The kind column
// names the file's tag kinds that hold it. With several files selected, a
// field whose values are not the same in every file shows the editor's
// "<keep>" and has no values of its own.
//
// Its commands change the selected records through the window model's
// ApplyToSelectedRecords, so each is one undo step, marks the records
// modified for the next save and shows in the editor at once. The model
// reads the window model's record cache and owns nothing but its rows.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <QStringList>
#include <QVector>

#include "app/core/audio_tag.h"

class TMainModel;

class TAllFieldsModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { fcName, fcValues, fcKinds, fcCount };
    struct TRow {
        TTagEntry Key;         // name, description, language, kind of frame
        QStringList Values;    // empty when Differs
        bool Differs = false;  // the selected files do not all hold these values
        uint32_t Kinds = 0;    // tag kinds holding the name, over all files
    };

    explicit TAllFieldsModel(TMainModel& Main, QObject* Parent = nullptr);

    // Rebuilds the rows from the selected files' records (also after every
    // change of the editor's records).
    void Reload();
    const QVector<TRow>& Rows() const { return FRows; }
    int FileCount() const { return static_cast<int>(FFiles.size()); }
    // The first row whose name is Name (letter case aside), -1 when none.
    int FindRow(const QString& Name) const;

    // Sets a field's values in every selected file (an empty list deletes it).
    bool SetValues(int Row, const QStringList& Values);
    // Adds values under Name in every selected file: to the field of that
    // name when a file has one (values it holds already are not doubled),
    // else as a new field. False with Error for a name no tag can hold or
    // no value.
    bool AddField(const QString& Name, const QStringList& Values, QString& Error);
    // Deletes these fields from every selected file.
    bool DeleteRows(const QVector<int>& Rows);

    // "COMMENT (iTunNORM) [eng]": the name with the description (when it is
    // not the name itself) and the language.
    static QString ShownName(const TTagEntry& Key);
    // "ID3v2, APEv2, ID3v1"; "new" for a field no tag kind holds yet.
    static QString KindsText(uint32_t Kinds);
    // The values on one line, "; " between them, line breaks shown as "↵".
    static QString ValuesText(const TRow& Row);
    // Whether the field is edited as one text that keeps its line breaks
    // (comments, lyrics, a list kept as lines) rather than one value a line.
    static bool IsTextField(const QString& Name, const QStringList& Values);
    // An edit box's text as values: the whole text, or each non-empty line.
    static QStringList ValuesFromText(bool OneText, const QString& Text);
    static bool ValidName(const QString& Name, QString& Error);
    static QStringList ColumnCaptions();

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;

private:
    // Runs Change on each selected record's entry and picture lists (as a
    // save would write them) and stores what it returns true for.
    bool ChangeLists(const std::function<bool(QVector<TTagEntry>& Entries)>& Change);

    TMainModel& FMain;
    QStringList FFiles;
    QVector<TRow> FRows;
};
