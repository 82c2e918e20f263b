// TFileListModel: the rows of the main window's file list.
//
// Each row carries the full path of its file (the row's key) and the nine
// column texts drawn from the file's record. The rows are what the list
// shows; the records themselves live in the window model's cache, so this
// model only holds display texts. Rows added after a sort are appended
// unsorted, as the list shows files in the order they arrive.
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
    lcFile, lcDirectory, lcTitle, lcArtist, lcAlbumArtist, lcAlbum, lcDuration, lcYear, lcTrack,
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
    int AddRow(const QString& Path, const TAudioTag& Tag);
    // Announce added rows in batches (during a scan) or one by one.
    void SetBatching(bool On);
    // Announces every row added but not yet shown.
    void Flush();
    // Rows added, shown or not.
    int RowCountWithPending() const { return static_cast<int>(FRows.size()); }
    void RemoveRow(int Row);
    // Rewrites columns 2 to 8 from the record; the file and folder columns stay.
    void UpdateRow(int Row, const TAudioTag& Tag);
    // Gives a row another file (after a rename): path and columns 0 and 1.
    void SetRowPath(int Row, const QString& Path);
    // The row of a path (exact comparison), or -1.
    int FindRow(const QString& Path) const;
    QString PathAt(int Row) const;
    QString Cell(int Row, int Column) const;

    // Sorts every row once by a column; the selection follows its rows.
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
    struct TRow {
        QString Path;
        int DurationSec = 0;
        std::array<QString, lcCount> Cells;   // tag columns only
    };
    void FillCells(TRow& Row, const TAudioTag& Tag) const;
    static QString CellText(const TRow& Row, int Column);
    void ReindexRows();

    QVector<TRow> FRows;
    QHash<QString, int> FRowOfPath;
    int FShownRows = 0;        // rows announced to views; the rest are pending
    bool FBatching = false;
    QTimer FFlushTimer;
};
