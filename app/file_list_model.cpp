#include "app/file_list_model.h"

#include <algorithm>

#include "app/settings/translation.h"

namespace {

const char* const kColumnCaptions[lcCount] = {
    "File", "Directory", "Title", "Artist", "Album Artist", "Album", "Duration", "Year", "Track",
};

}  // namespace

namespace {
// How long added rows may wait before a view is told about them.
constexpr int kFlushIntervalMs = 40;
}  // namespace

TFileListModel::TFileListModel(QObject* Parent) : QAbstractTableModel(Parent)
{
    FFlushTimer.setSingleShot(true);
    FFlushTimer.setInterval(kFlushIntervalMs);
    connect(&FFlushTimer, &QTimer::timeout, this, &TFileListModel::Flush);
}

int TFileListModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : FShownRows;
}

int TFileListModel::columnCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : lcCount;
}

QVariant TFileListModel::data(const QModelIndex& Index, int Role) const
{
    if (!Index.isValid() || Index.row() >= FShownRows || Index.column() >= lcCount)
        return QVariant();
    const TRow& Row = FRows[Index.row()];
    switch (Role) {
    case Qt::DisplayRole:
        return CellText(Row, Index.column());
    case Qt::ToolTipRole:
        return Index.column() == lcFile ? Row.Path : CellText(Row, Index.column());
    case PathRole:
        return Row.Path;
    default:
        return QVariant();
    }
}

QVariant TFileListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 && Section < lcCount)
        return Tr(ColumnCaption(Section));
    return QAbstractTableModel::headerData(Section, Orientation, Role);
}

QString TFileListModel::ColumnCaption(int Column)
{
    return Column >= 0 && Column < lcCount ? QString::fromLatin1(kColumnCaptions[Column]) : QString();
}

void TFileListModel::RetranslateHeaders()
{
    emit headerDataChanged(Qt::Horizontal, 0, lcCount - 1);
}

void TFileListModel::Clear()
{
    FFlushTimer.stop();
    if (FRows.isEmpty())
        return;
    beginResetModel();
    FRows.clear();
    FRowOfPath.clear();
    FShownRows = 0;
    endResetModel();
}

int TFileListModel::AddRow(const QString& Path, const TAudioTag& Tag)
{
    const int Row = static_cast<int>(FRows.size());
    TRow NewRow;
    NewRow.Path = Path;
    FillCells(NewRow, Tag);
    FRows.append(std::move(NewRow));
    if (!FRowOfPath.contains(Path))
        FRowOfPath.insert(Path, Row);
    if (!FBatching)
        Flush();
    else if (!FFlushTimer.isActive())
        FFlushTimer.start();
    return Row;
}

void TFileListModel::SetBatching(bool On)
{
    FBatching = On;
    if (!On)
        Flush();
}

void TFileListModel::Flush()
{
    FFlushTimer.stop();
    const int Total = static_cast<int>(FRows.size());
    if (FShownRows >= Total)
        return;
    beginInsertRows(QModelIndex(), FShownRows, Total - 1);
    FShownRows = Total;
    endInsertRows();
}

void TFileListModel::RemoveRow(int Row)
{
    Flush();
    if (Row < 0 || Row >= FRows.size())
        return;
    beginRemoveRows(QModelIndex(), Row, Row);
    FRows.removeAt(Row);
    --FShownRows;
    ReindexRows();
    endRemoveRows();
}

void TFileListModel::UpdateRow(int Row, const TAudioTag& Tag)
{
    if (Row < 0 || Row >= FRows.size())
        return;
    FillCells(FRows[Row], Tag);
    if (Row < FShownRows)
        emit dataChanged(index(Row, lcTitle), index(Row, lcTrack));
}

void TFileListModel::SetRowPath(int Row, const QString& Path)
{
    if (Row < 0 || Row >= FRows.size())
        return;
    FRows[Row].Path = Path;
    ReindexRows();
    if (Row < FShownRows)
        emit dataChanged(index(Row, lcFile), index(Row, lcDirectory));
}

int TFileListModel::FindRow(const QString& Path) const
{
    return FRowOfPath.value(Path, -1);
}

QString TFileListModel::PathAt(int Row) const
{
    return Row >= 0 && Row < FRows.size() ? FRows[Row].Path : QString();
}

QString TFileListModel::Cell(int Row, int Column) const
{
    if (Row < 0 || Row >= FRows.size() || Column < 0 || Column >= lcCount)
        return QString();
    return CellText(FRows[Row], Column);
}

QString TFileListModel::CellText(const TRow& Row, int Column)
{
    switch (Column) {
    case lcFile: return Row.Path.mid(Row.Path.lastIndexOf(QLatin1Char('/')) + 1);
    case lcDirectory: return DirectoryOf(Row.Path);
    case lcDuration: return FormatDuration(Row.DurationSec);
    default: return Row.Cells[Column];
    }
}

void TFileListModel::FillCells(TRow& Row, const TAudioTag& Tag) const
{
    Row.Cells[lcTitle] = Tag.Title;
    Row.Cells[lcArtist] = Tag.Artist;
    Row.Cells[lcAlbumArtist] = Tag.AlbumArtist;
    Row.Cells[lcAlbum] = Tag.Album;
    Row.DurationSec = Tag.DurationSec;
    Row.Cells[lcYear] = Tag.Year;
    Row.Cells[lcTrack] = Tag.Track;
}

void TFileListModel::ReindexRows()
{
    FRowOfPath.clear();
    for (int i = static_cast<int>(FRows.size()) - 1; i >= 0; --i)
        FRowOfPath.insert(FRows[i].Path, i);  // the first row of a path wins
}

void TFileListModel::Sort(int Column, bool Ascending)
{
    Flush();
    if (Column < 0 || Column >= lcCount || FRows.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList Before = persistentIndexList();
    QVector<QString> PathsBefore;
    PathsBefore.reserve(Before.size());
    for (const QModelIndex& I : Before)
        PathsBefore.append(FRows[I.row()].Path);
    // Remember where each row was so that persistent indexes (the selection,
    // the current row) can follow their rows.
    QVector<int> Order(FRows.size());
    QVector<QString> Keys(FRows.size());
    for (int i = 0; i < Order.size(); ++i) {
        Order[i] = i;
        Keys[i] = CellText(FRows[i], Column);
    }
    std::stable_sort(Order.begin(), Order.end(), [&](int A, int B) {
        const int R = CompareCells(Column, Keys[A], Keys[B]);
        return Ascending ? R < 0 : R > 0;
    });
    QVector<TRow> Sorted;
    Sorted.reserve(FRows.size());
    QVector<int> NewRowOf(FRows.size());
    for (int i = 0; i < Order.size(); ++i) {
        Sorted.append(std::move(FRows[Order[i]]));
        NewRowOf[Order[i]] = i;
    }
    FRows = std::move(Sorted);
    ReindexRows();
    QModelIndexList After;
    After.reserve(Before.size());
    for (const QModelIndex& I : Before)
        After.append(index(NewRowOf[I.row()], I.column()));
    changePersistentIndexList(Before, After);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString TFileListModel::FormatDuration(int Seconds)
{
    if (Seconds <= 0)
        return QString();
    return QStringLiteral("%1:%2").arg(Seconds / 60).arg(Seconds % 60, 2, 10, QLatin1Char('0'));
}

int TFileListModel::ParseDuration(const QString& Text)
{
    const int Colon = static_cast<int>(Text.indexOf(QLatin1Char(':')));
    if (Colon < 0)
        return 0;
    bool OkMinutes = false, OkSeconds = false;
    const int Minutes = Text.left(Colon).trimmed().toInt(&OkMinutes);
    const int Seconds = Text.mid(Colon + 1).trimmed().toInt(&OkSeconds);
    if (!OkMinutes || !OkSeconds)
        return 0;
    return Minutes * 60 + Seconds;
}

int TFileListModel::CompareCells(int Column, const QString& A, const QString& B)
{
    if (Column == lcDuration) {
        const int DA = ParseDuration(A), DB = ParseDuration(B);
        return DA < DB ? -1 : (DA > DB ? 1 : 0);
    }
    return A.compare(B, Qt::CaseInsensitive);
}

QString TFileListModel::DirectoryOf(const QString& Path)
{
    const int Slash = static_cast<int>(Path.lastIndexOf(QLatin1Char('/')));
    if (Slash < 0)
        return QString();
    if (Slash == 0)
        return QStringLiteral("/");
    return Path.left(Slash);
}
