// Tags from file names: the preview of a pattern over the selected files and
// the command that applies it.
//
// TNameGuessPreview is the table the dialog shows while the user types a
// pattern: one row per file, the part of its path the pattern reads, then
// one column per field the pattern fills, or "no match". TTagsFromNames
// applies a pattern to the window model's selection as one undo step
// (TMainModel::ApplyToSelectedRecords), saves, and keeps the last patterns
// used in the settings file. Neither owns the window model.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

#include "app/file_ops/name_pattern.h"

class TMainModel;

class TNameGuessPreview final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TNameGuessPreview(QObject* Parent = nullptr);

    void SetFiles(const QStringList& Paths);
    // Parses Pattern and refills the table; false (and no value columns)
    // when it is not a pattern, with the reason in Error().
    bool SetPattern(const QString& Pattern);
    QString Error() const { return FError; }
    bool IsValid() const { return FPattern.IsValid(); }
    // Files the pattern matches.
    int MatchCount() const;
    // The values of one row, nothing when its file does not match.
    std::optional<TGuessedValues> RowValues(int Row) const { return FValues.value(Row); }
    // The record field a value column shows (columns from 1).
    int ColumnField(int Column) const { return FFields.value(Column - 1, -1); }

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;

    // The English caption of a record field's column ("Album Artist").
    static QString FieldCaption(int Field);
    // What a row shows for a file the pattern does not match.
    static QString NoMatchText();

private:
    void Refill();

    QStringList FFiles;
    TNamePattern FPattern;
    QVector<int> FFields;
    QVector<std::optional<TGuessedValues>> FValues;
    QString FError;
};

class TTagsFromNames {
public:
    static constexpr int kMaxRecentPatterns = 10;

    // Recent patterns are kept in the INI file SettingsFile.
    TTagsFromNames(TMainModel& Model, const QString& SettingsFile);

    // The files the command works on: the selection, in list order.
    QStringList Files() const;
    // The patterns used last, newest first; the default pattern when none.
    QStringList RecentPatterns() const;
    // Fills the selected files' fields from their paths as one undo step and
    // saves them; a file the pattern does not match keeps its tags. Tells
    // the user when the pattern is bad or matches no file (no undo step
    // then). Returns the number of records changed.
    int Apply(const QString& Pattern);

private:
    QStringList StoredPatterns() const;
    void Remember(const QString& Pattern);

    TMainModel& FModel;
    QString FSettingsFile;
};
