// TFileListModel: the rows of the main window's file list.
//
// Each row carries the full path of its file (the row's key) and the nine
// column texts drawn from the file's record. The records themselves live in
// the window model's cache, so this model only holds display texts.
//
// The model keeps a row for every record, in list order: the order the
// files arrived (the scanner's natural name order), or the order of the last
// sort. The filter only picks which of them are shown, so a filtered list
// keeps that order and clearing the filter gives it back whole. Rows added
// after a sort are appended unsorted, as the list shows files in the order
// they arrive. Row numbers in this interface count shown rows; a hidden
// row is reached through its path.
//
// A filter keystroke usually extends or shortens the text before it: a
// longer text can only match rows the shorter one matched, and a shorter one
// keeps every row the longer one matched, so only the rows whose answer can
// change are compared. The views are told with one reset, and not at all
// when the shown rows stay the same.
//
// While a folder is scanned, rows arrive one by one; announcing each on its
// own makes a view lay out and repaint the whole list per file, which would
// cost far more than reading the tags. With batching on, added rows are
// kept (and found by FindRow, PathAt and Cell) but announced to views
// together every few dozen milliseconds and on Flush().
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <array>

#include "app/core/audio_tag.h"

enum TListColumn {
    lcFile,
    lcDirectory,
    lcTitle,
    lcArtist,
    lcAlbumArtist,
    lcAlbum,
    lcDuration,
    lcYear,
    lcTrack,
    lcCount
};

class TFileListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // Data role holding a row's full path.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit TFileListModel(QObject* Parent = nullptr);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;

    // English column captions; the header shows them translated.
    static QString ColumnCaption(int Column);
    // Tells the views that the captions changed language.
    void RetranslateHeaders();

    void Clear();
    // Appends a row; returns its shown row, or -1 when the filter hides it.
    int AddRow(const QString& Path, const TAudioTag& Tag);
    // Shows only the rows whose file name, title, artist or album contains
    // Text (letter case ignored; Text as the user typed it, trimmed and
    // lower-cased); an empty text shows every row. Returns whether the shown
    // rows changed.
    bool SetFilter(const QString& Text);
    const QString& Filter() const { return FFilter; }
    // The filter's comparison, also for records that have no row.
    static bool Matches(const QString& Filter, QStringView FileName, const QString& Title, const QString& Artist,
                        const QString& Album);
    // Announce added rows in batches (during a scan) or one by one.
    void SetBatching(bool On);
    // Announces every row added but not yet shown.
    void Flush();
    // Rows the filter lets through, announced or not.
    int RowCountWithPending() const { return static_cast<int>(FShown.size()); }
    // Rewrites columns 2 to 8 from the record; the file and folder columns stay.
    void UpdateRow(int Row, const TAudioTag& Tag);
    // The row of a path, shown or hidden by the filter, gone or given another
    // file (after a rename: path and columns 0 and 1). A row
    // that changes is not filtered again until the filter text changes.
    void RemovePath(const QString& Path);
    // UpdatePath returns whether the path has a row.
    bool UpdatePath(const QString& Path, const TAudioTag& Tag);
    void RenamePath(const QString& OldPath, const QString& NewPath);
    // The shown row of a path (exact comparison), or -1 (no row, or hidden).
    int FindRow(const QString& Path) const;
    QString PathAt(int Row) const;
    QString Cell(int Row, int Column) const;

    // Sorts every row once by a column, hidden ones too, so that clearing the
    // filter shows the sorted order; the selection follows its rows.
    void Sort(int Column, bool Ascending);

    // "%d:%.2d" of minutes and seconds; empty for 0 or less.
    static QString FormatDuration(int Seconds);
    // "m:ss" back to seconds; text without a colon or with a part that is
    // not an integer counts as 0.
    static int ParseDuration(const QString& Text);
    // Row order for a column: negative, zero or positive.
    static int CompareCells(int Column, const QString& A, const QString& B);
    // The folder of a path without a trailing separator (the root keeps it).
    static QString DirectoryOf(const QString& Path);

private:
    // The file name, folder and play time columns are made from Path and
    // DurationSec when asked for, so that adding a row (the filter adds every
    // matching record at each keystroke) copies shared strings only.
    // The texts the filter compares: file name, title, artist, album.
    enum { ftName, ftTitle, ftArtist, ftAlbum, ftCount };
    struct TRow {
        QString Path;
        int NameStart = 0;  // where the file name starts in Path
        int DurationSec = 0;
        std::array<QString, lcCount> Cells;  // tag columns only
        // Per filtered text: the case-folded characters it holds, as bits.
        std::array<quint64, ftCount> Masks{};
    };
    // The filter text with its mask, and case-folded when every character
    // folds to ASCII.
    struct TNeedle {
        QString Text;
        QByteArray Folded;
        quint64 Mask = 0;
        bool MaskDecides = false;  // one letter or digit: a text holds it when its mask does
    };
    static quint64 FilterMaskOf(QStringView Text);
    static bool TextMatches(const TNeedle& Needle, QStringView Text, quint64 Mask);
    void FillCells(TRow& Row, const TAudioTag& Tag) const;
    static void SetPath(TRow& Row, const QString& Path);
    static QString CellText(const TRow& Row, int Column);
    bool RowMatches(const TRow& Row) const;
    // The rows among Candidates (indexes into FRows, ascending) the filter matches.
    QVector<int> MatchingRows(const QVector<int>& Candidates) const;
    void ReindexRows();
    // The index in FRows of a path's row, or -1.
    int RecordIndex(const QString& Path) const { return FRowOfPath.value(Path, -1); }
    // The shown row of an index in FRows, or -1.
    int ShownRowOf(int Index) const;
    void RemoveIndex(int Index);
    void UpdateIndex(int Index, const TAudioTag& Tag);
    void SetIndexPath(int Index, const QString& Path);

    QVector<TRow> FRows;             // every record's row, in list order
    QVector<int> FShown;             // indexes into FRows of the shown rows, ascending
    QHash<QString, int> FRowOfPath;  // path -> index into FRows (the first row of a path)
    QString FFilter;
    TNeedle FNeedle;
    // Whether the shown rows are exactly those the filter matches: a row
    // changed after the filter ran keeps its place until the next keystroke,
    // which then compares every row.
    bool FShownExact = true;
    int FAnnounced = 0;  // shown rows announced to views; the rest are pending
    bool FBatching = false;
    QTimer FFlushTimer;
};
