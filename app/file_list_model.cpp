#include "app/file_list_model.h"

#include <algorithm>
#include <cctype>
#include <numeric>

#include "app/settings/translation.h"

namespace {

const char* const kColumnCaptions[lcCount] = {
    "File", "Directory", "Title", "Artist", "Album Artist", "Album", "Duration", "Year", "Track",
};

}  // namespace

namespace {
// How long added rows may wait before a view is told about them.
constexpr int kFlushIntervalMs = 40;

// A text mask has a bit for each character of the text as case folding
// leaves it: a letter (0-25), a digit (26-35), another ASCII sign (36-61,
// shared), anything beyond ASCII (63, surrogates included: they never fold
// into ASCII). Bit 62 marks text that is not plain ASCII, which is compared
// the long way.
constexpr quint64 kFoldsBeyondAscii = quint64(1) << 63;
constexpr quint64 kNotAscii = quint64(1) << 62;

constexpr char16_t AsciiLower(char16_t C) { return C >= u'A' && C <= u'Z' ? char16_t(C + 32) : C; }

constexpr int AsciiBit(char16_t Lower) {
    if (Lower >= u'a' && Lower <= u'z') return Lower - u'a';
    if (Lower >= u'0' && Lower <= u'9') return 26 + (Lower - u'0');
    return 36 + Lower % 26;
}

// The mask bit of one UTF-16 unit, case folded as the filter's comparison
// folds it.
quint64 FoldedBit(char16_t C) {
    if (C < 0x80) return quint64(1) << AsciiBit(AsciiLower(C));
    if (QChar::isSurrogate(C)) return kFoldsBeyondAscii;
    const char32_t Folded = QChar::toCaseFolded(char32_t(C));
    return Folded < 0x80 ? quint64(1) << AsciiBit(char16_t(Folded)) : kFoldsBeyondAscii;
}

// Whether ASCII text holds the folded ASCII needle, letter case ignored.
bool AsciiContains(QStringView Text, const QByteArray& Needle) {
    const qsizetype N = Needle.size();
    const qsizetype Last = Text.size() - N;
    const char16_t* H = Text.utf16();
    const char First = Needle[0];
    for (qsizetype i = 0; i <= Last; ++i) {
        if (AsciiLower(H[i]) != First) continue;
        qsizetype j = 1;
        while (j < N && AsciiLower(H[i + j]) == Needle[j]) ++j;
        if (j == N) return true;
    }
    return false;
}

}  // namespace

TFileListModel::TFileListModel(QObject* Parent) : QAbstractTableModel(Parent) {
    FFlushTimer.setSingleShot(true);
    FFlushTimer.setInterval(kFlushIntervalMs);
    connect(&FFlushTimer, &QTimer::timeout, this, &TFileListModel::Flush);
}

int TFileListModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : FAnnounced; }

int TFileListModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : lcCount; }

QVariant TFileListModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= FAnnounced || Index.column() >= lcCount) return QVariant();
    const TRow& Row = FRows[FShown[Index.row()]];
    switch (Role) {
        case Qt::DisplayRole: return CellText(Row, Index.column());
        case Qt::ToolTipRole: return Index.column() == lcFile ? Row.Path : CellText(Row, Index.column());
        case PathRole: return Row.Path;
        default: return QVariant();
    }
}

QVariant TFileListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 && Section < lcCount)
        return Tr(ColumnCaption(Section));
    return QAbstractTableModel::headerData(Section, Orientation, Role);
}

QString TFileListModel::ColumnCaption(int Column) {
    return Column >= 0 && Column < lcCount ? QString::fromLatin1(kColumnCaptions[Column]) : QString();
}

void TFileListModel::RetranslateHeaders() { emit headerDataChanged(Qt::Horizontal, 0, lcCount - 1); }

void TFileListModel::Clear() {
    FFlushTimer.stop();
    if (FRows.isEmpty() && FShown.isEmpty()) return;
    beginResetModel();
    FRows.clear();
    FShown.clear();
    FRowOfPath.clear();
    FAnnounced = 0;
    FShownExact = true;
    endResetModel();
}

int TFileListModel::AddRow(const QString& Path, const TAudioTag& Tag) {
    const int Index = static_cast<int>(FRows.size());
    TRow NewRow;
    SetPath(NewRow, Path);
    FillCells(NewRow, Tag);
    const bool Shown = RowMatches(NewRow);
    FRows.append(std::move(NewRow));
    if (!FRowOfPath.contains(Path)) FRowOfPath.insert(Path, Index);
    if (!Shown) return -1;
    FShown.append(Index);
    if (!FBatching)
        Flush();
    else if (!FFlushTimer.isActive())
        FFlushTimer.start();
    return static_cast<int>(FShown.size()) - 1;
}

bool TFileListModel::Matches(const QString& Filter, QStringView FileName, const QString& Title, const QString& Artist,
                             const QString& Album) {
    if (Filter.isEmpty()) return true;
    // Compared in place, without a lower-cased copy of each text: the filter
    // runs over every row at each keystroke.
    return FileName.contains(Filter, Qt::CaseInsensitive) || Title.contains(Filter, Qt::CaseInsensitive) ||
           Artist.contains(Filter, Qt::CaseInsensitive) || Album.contains(Filter, Qt::CaseInsensitive);
}

quint64 TFileListModel::FilterMaskOf(QStringView Text) {
    quint64 Mask = 0;
    for (const QChar C : Text) {
        if (C.unicode() >= 0x80) Mask |= kNotAscii;
        Mask |= FoldedBit(C.unicode());
    }
    return Mask;
}

// The same answer as Matches() for one text. Every character of the filter
// must fold to a character the text folds to as well, so a text whose mask
// lacks a bit of the filter's cannot hold it. Case folding maps ASCII only to
// ASCII, so plain ASCII text is compared with ASCII letter case ignored. A
// filter of one letter or digit has a bit of its own, which answers alone.
bool TFileListModel::TextMatches(const TNeedle& Needle, QStringView Text, quint64 Mask) {
    if ((Mask & Needle.Mask) != Needle.Mask) return false;
    if (Needle.MaskDecides) return true;
    if (Mask & kNotAscii) return Text.contains(Needle.Text, Qt::CaseInsensitive);
    return AsciiContains(Text, Needle.Folded);  // the mask check left only a filter of ASCII
}

bool TFileListModel::RowMatches(const TRow& Row) const {
    if (FFilter.isEmpty()) return true;
    return TextMatches(FNeedle, QStringView(Row.Path).mid(Row.NameStart), Row.Masks[ftName]) ||
           TextMatches(FNeedle, Row.Cells[lcTitle], Row.Masks[ftTitle]) ||
           TextMatches(FNeedle, Row.Cells[lcArtist], Row.Masks[ftArtist]) ||
           TextMatches(FNeedle, Row.Cells[lcAlbum], Row.Masks[ftAlbum]);
}

QVector<int> TFileListModel::MatchingRows(const QVector<int>& Candidates) const {
    // Each text lives in a block of its own, so the texts of a row a few
    // places ahead are fetched while the current one is compared; a filter
    // the masks answer alone reads no text.
    constexpr qsizetype kAhead = 6;
    const qsizetype N = Candidates.size();
    QVector<int> Result;
    Result.reserve(N);
    for (qsizetype k = 0; k < N; ++k) {
        if (!FNeedle.MaskDecides && k + kAhead < N) {
            const TRow& Ahead = FRows[Candidates[k + kAhead]];
            __builtin_prefetch(Ahead.Path.constData() + Ahead.NameStart);
            __builtin_prefetch(Ahead.Cells[lcTitle].constData());
            __builtin_prefetch(Ahead.Cells[lcArtist].constData());
            __builtin_prefetch(Ahead.Cells[lcAlbum].constData());
        }
        if (RowMatches(FRows[Candidates[k]])) Result.append(Candidates[k]);
    }
    return Result;
}

bool TFileListModel::SetFilter(const QString& Text) {
    if (Text == FFilter) return false;
    const QString Old = FFilter;
    FFilter = Text;
    FNeedle = TNeedle();
    FNeedle.Text = Text;
    for (const QChar C : Text) {
        FNeedle.Mask |= FoldedBit(C.unicode());
        if (!(FNeedle.Mask & kFoldsBeyondAscii))
            FNeedle.Folded.append(
                char(C.unicode() < 0x80 ? AsciiLower(C.unicode()) : QChar::toCaseFolded(char32_t(C.unicode()))));
    }
    FNeedle.MaskDecides =
        Text.size() == 1 && FNeedle.Folded.size() == 1 && std::isalnum(static_cast<unsigned char>(FNeedle.Folded[0]));
    // A text that contains another matches a subset of the rows the other
    // matches. Ends that split a surrogate pair are folded differently on
    // their own, so such a text is compared over every row.
    const auto WholeCharacters = [](const QString& S) {
        return !S.isEmpty() && !S.front().isLowSurrogate() && !S.back().isHighSurrogate();
    };
    const int Total = static_cast<int>(FRows.size());
    QVector<int> Shown;
    if (Text.isEmpty()) {
        Shown.resize(Total);
        std::iota(Shown.begin(), Shown.end(), 0);
    } else if (FShownExact && (Old.isEmpty() || (Text.contains(Old) && WholeCharacters(Old)))) {
        // Narrower: only the rows shown so far can still match.
        Shown = MatchingRows(FShown);
    } else {
        // Wider: the rows shown so far stay; only hidden ones are compared.
        // Otherwise every row is.
        const bool Wider = FShownExact && Old.contains(Text) && WholeCharacters(Text);
        QVector<int> Candidates;
        Candidates.reserve(Wider ? Total - FShown.size() : Total);
        auto Next = FShown.cbegin();
        for (int Index = 0; Index < Total; ++Index) {
            if (Wider && Next != FShown.cend() && *Next == Index)
                ++Next;
            else
                Candidates.append(Index);
        }
        const QVector<int> Found = MatchingRows(Candidates);
        if (Wider) {
            Shown.resize(FShown.size() + Found.size());
            std::merge(FShown.cbegin(), FShown.cend(), Found.cbegin(), Found.cend(), Shown.begin());
        } else {
            Shown = Found;
        }
    }
    FShownExact = true;
    if (Shown == FShown) return false;
    FFlushTimer.stop();
    beginResetModel();
    FShown = std::move(Shown);
    FAnnounced = static_cast<int>(FShown.size());
    endResetModel();
    return true;
}

void TFileListModel::SetBatching(bool On) {
    FBatching = On;
    if (!On) Flush();
}

void TFileListModel::Flush() {
    FFlushTimer.stop();
    const int Total = static_cast<int>(FShown.size());
    if (FAnnounced >= Total) return;
    beginInsertRows(QModelIndex(), FAnnounced, Total - 1);
    FAnnounced = Total;
    endInsertRows();
}

int TFileListModel::ShownRowOf(int Index) const {
    const auto It = std::lower_bound(FShown.cbegin(), FShown.cend(), Index);
    return It != FShown.cend() && *It == Index ? static_cast<int>(It - FShown.cbegin()) : -1;
}

void TFileListModel::RemovePath(const QString& Path) {
    const int Index = RecordIndex(Path);
    if (Index >= 0) RemoveIndex(Index);
}

void TFileListModel::RemoveIndex(int Index) {
    Flush();
    const int Row = ShownRowOf(Index);
    if (Row >= 0) beginRemoveRows(QModelIndex(), Row, Row);
    FRows.removeAt(Index);
    if (Row >= 0) FShown.removeAt(Row);
    // Shown rows after the removed one moved up by one place in FRows.
    for (auto It = std::upper_bound(FShown.begin(), FShown.end(), Index); It != FShown.end(); ++It) --*It;
    ReindexRows();
    if (Row >= 0) {
        --FAnnounced;
        endRemoveRows();
    }
}

void TFileListModel::UpdateRow(int Row, const TAudioTag& Tag) {
    if (Row >= 0 && Row < FShown.size()) UpdateIndex(FShown[Row], Tag);
}

bool TFileListModel::UpdatePath(const QString& Path, const TAudioTag& Tag) {
    const int Index = RecordIndex(Path);
    if (Index < 0) return false;
    UpdateIndex(Index, Tag);
    return true;
}

void TFileListModel::UpdateIndex(int Index, const TAudioTag& Tag) {
    FillCells(FRows[Index], Tag);
    if (!FFilter.isEmpty()) FShownExact = false;
    const int Row = ShownRowOf(Index);
    if (Row >= 0 && Row < FAnnounced) emit dataChanged(index(Row, lcTitle), index(Row, lcTrack));
}

void TFileListModel::RenamePath(const QString& OldPath, const QString& NewPath) {
    const int Index = RecordIndex(OldPath);
    if (Index >= 0) SetIndexPath(Index, NewPath);
}

void TFileListModel::SetIndexPath(int Index, const QString& Path) {
    const QString OldPath = FRows[Index].Path;
    SetPath(FRows[Index], Path);
    if (!FFilter.isEmpty()) FShownExact = false;
    // The index follows the one row that changed: rebuilding it for each
    // file of a batch rename would cost the whole list per file.
    const auto Old = FRowOfPath.find(OldPath);
    if (Old != FRowOfPath.end() && Old.value() == Index) {
        FRowOfPath.erase(Old);
        for (int i = Index + 1; i < static_cast<int>(FRows.size()); ++i)
            if (FRows[i].Path == OldPath) {
                FRowOfPath.insert(OldPath, i);
                break;
            }
    }
    const auto New = FRowOfPath.find(Path);
    if (New == FRowOfPath.end())
        FRowOfPath.insert(Path, Index);
    else if (New.value() > Index)
        New.value() = Index;  // the first row of a path wins
    const int Row = ShownRowOf(Index);
    if (Row >= 0 && Row < FAnnounced) emit dataChanged(index(Row, lcFile), index(Row, lcDirectory));
}

int TFileListModel::FindRow(const QString& Path) const {
    const int Index = RecordIndex(Path);
    return Index < 0 ? -1 : ShownRowOf(Index);
}

QString TFileListModel::PathAt(int Row) const {
    return Row >= 0 && Row < FShown.size() ? FRows[FShown[Row]].Path : QString();
}

QString TFileListModel::Cell(int Row, int Column) const {
    if (Row < 0 || Row >= FShown.size() || Column < 0 || Column >= lcCount) return QString();
    return CellText(FRows[FShown[Row]], Column);
}

void TFileListModel::SetPath(TRow& Row, const QString& Path) {
    Row.Path = Path;
    Row.NameStart = static_cast<int>(Path.lastIndexOf(QLatin1Char('/'))) + 1;
    Row.Masks[ftName] = FilterMaskOf(QStringView(Path).mid(Row.NameStart));
}

QString TFileListModel::CellText(const TRow& Row, int Column) {
    switch (Column) {
        case lcFile: return Row.Path.mid(Row.NameStart);
        case lcDirectory: return DirectoryOf(Row.Path);
        case lcDuration: return FormatDuration(Row.DurationSec);
        default: return Row.Cells[Column];
    }
}

void TFileListModel::FillCells(TRow& Row, const TAudioTag& Tag) const {
    Row.Cells[lcTitle] = Tag.Title;
    Row.Cells[lcArtist] = Tag.Artist;
    Row.Cells[lcAlbumArtist] = Tag.AlbumArtist;
    Row.Cells[lcAlbum] = Tag.Album;
    Row.DurationSec = Tag.DurationSec;
    Row.Cells[lcYear] = Tag.Year;
    Row.Cells[lcTrack] = Tag.Track;
    Row.Masks[ftTitle] = FilterMaskOf(Tag.Title);
    Row.Masks[ftArtist] = FilterMaskOf(Tag.Artist);
    Row.Masks[ftAlbum] = FilterMaskOf(Tag.Album);
}

void TFileListModel::ReindexRows() {
    FRowOfPath.clear();
    for (int i = static_cast<int>(FRows.size()) - 1; i >= 0; --i)
        FRowOfPath.insert(FRows[i].Path, i);  // the first row of a path wins
}

void TFileListModel::Sort(int Column, bool Ascending) {
    Flush();
    if (Column < 0 || Column >= lcCount || FRows.size() < 2) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList Before = persistentIndexList();
    const int Total = static_cast<int>(FRows.size());
    QVector<int> Order(Total);
    QVector<QString> Keys(Total);
    for (int i = 0; i < Total; ++i) {
        Order[i] = i;
        Keys[i] = CellText(FRows[i], Column);
    }
    std::stable_sort(Order.begin(), Order.end(), [&](int A, int B) {
        const int R = CompareCells(Column, Keys[A], Keys[B]);
        return Ascending ? R < 0 : R > 0;
    });
    // Shown rows stay shown: the new shown list is the old one in sorted order.
    QVector<int> NewRowOf(Total, -1);  // old index into FRows -> new shown row
    for (int Index : std::as_const(FShown)) NewRowOf[Index] = 0;
    QVector<TRow> Sorted;
    Sorted.reserve(Total);
    QVector<int> Shown;
    Shown.reserve(FShown.size());
    for (int i = 0; i < Total; ++i) {
        const int Old = Order[i];
        if (NewRowOf[Old] >= 0) {
            NewRowOf[Old] = static_cast<int>(Shown.size());
            Shown.append(i);
        }
        Sorted.append(std::move(FRows[Old]));
    }
    QModelIndexList After;
    After.reserve(Before.size());
    for (const QModelIndex& I : Before) After.append(index(NewRowOf[FShown[I.row()]], I.column()));
    FRows = std::move(Sorted);
    FShown = std::move(Shown);
    ReindexRows();
    changePersistentIndexList(Before, After);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString TFileListModel::FormatDuration(int Seconds) {
    if (Seconds <= 0) return QString();
    return QStringLiteral("%1:%2").arg(Seconds / 60).arg(Seconds % 60, 2, 10, QLatin1Char('0'));
}

int TFileListModel::ParseDuration(const QString& Text) {
    const int Colon = static_cast<int>(Text.indexOf(QLatin1Char(':')));
    if (Colon < 0) return 0;
    bool OkMinutes = false, OkSeconds = false;
    const int Minutes = Text.left(Colon).trimmed().toInt(&OkMinutes);
    const int Seconds = Text.mid(Colon + 1).trimmed().toInt(&OkSeconds);
    if (!OkMinutes || !OkSeconds) return 0;
    return Minutes * 60 + Seconds;
}

int TFileListModel::CompareCells(int Column, const QString& A, const QString& B) {
    if (Column == lcDuration) {
        const int DA = ParseDuration(A), DB = ParseDuration(B);
        return DA < DB ? -1 : (DA > DB ? 1 : 0);
    }
    return A.compare(B, Qt::CaseInsensitive);
}

QString TFileListModel::DirectoryOf(const QString& Path) {
    const int Slash = static_cast<int>(Path.lastIndexOf(QLatin1Char('/')));
    if (Slash < 0) return QString();
    if (Slash == 0) return QStringLiteral("/");
    return Path.left(Slash);
}
