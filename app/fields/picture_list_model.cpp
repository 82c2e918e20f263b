#include "app/fields/picture_list_model.h"

#include <QFile>
#include <algorithm>
#include <QFileInfo>

#include "app/core/picture_info.h"
#include "app/core/record_entries.h"
#include "app/main_model.h"
#include "app/settings/translation.h"

namespace {

// Picture files larger than this are refused before they are read: no
// picture in a tag is that big.
constexpr qint64 kMaxPictureFileBytes = 64LL * 1024 * 1024;

constexpr const char* kTypeCaptions[pictureinfo::TypeCount] = {"Other",
                                                               "File icon (32x32 PNG)",
                                                               "Other file icon",
                                                               "Front cover",
                                                               "Back cover",
                                                               "Leaflet page",
                                                               "Media (label side)",
                                                               "Lead artist",
                                                               "Artist",
                                                               "Conductor",
                                                               "Band or orchestra",
                                                               "Composer",
                                                               "Lyricist",
                                                               "Recording location",
                                                               "During recording",
                                                               "During performance",
                                                               "Video screen capture",
                                                               "Bright coloured fish",
                                                               "Illustration",
                                                               "Band or artist logo",
                                                               "Publisher or studio logo"};

pictureinfo::TImageInfo InfoOf(const QByteArray& Data) {
    return pictureinfo::Inspect(reinterpret_cast<const uint8_t*>(Data.constData()), static_cast<size_t>(Data.size()));
}

bool SameKey(const TPictureEntry& P, uint32_t Type, const QString& Description) {
    return P.Type == Type && P.Description == Description;
}

// The index of the n-th picture of that type and description, -1 when none.
int FindPicture(const QVector<TPictureEntry>& Pictures, uint32_t Type, const QString& Description, int Occurrence) {
    for (int I = 0; I < Pictures.size(); ++I)
        if (SameKey(Pictures[I], Type, Description) && Occurrence-- == 0) return I;
    return -1;
}

}  // namespace

TPictureListModel::TPictureListModel(TMainModel& Main, QObject* Parent) : QAbstractTableModel(Parent), FMain(Main) {
    connect(&FMain, &TMainModel::EditorChanged, this, [this] { Reload(); });
    Reload();
}

void TPictureListModel::Reload() {
    beginResetModel();
    FFiles.clear();
    FRows.clear();
    QVector<QVector<TPictureEntry>> Lists;
    for (const QString& Path : FMain.GetSelectedFiles()) {
        TAudioTag Tag;
        if (!FMain.TryGetCachedTag(Path, Tag)) continue;
        QVector<TTagEntry> Entries;
        QVector<TPictureEntry> Pictures;
        recordentries::Effective(Tag, Entries, Pictures);
        FFiles.append(Path);
        Lists.append(std::move(Pictures));
    }
    for (const QVector<TPictureEntry>& Pictures : Lists)
        for (int I = 0; I < Pictures.size(); ++I) {
            const TPictureEntry& P = Pictures[I];
            int Occurrence = 0;
            for (int K = 0; K < I; ++K) Occurrence += SameKey(Pictures[K], P.Type, P.Description) ? 1 : 0;
            bool Known = false;
            for (const TRow& R : FRows)
                Known = Known || (R.Type == P.Type && R.Description == P.Description && R.Occurrence == Occurrence);
            if (Known) continue;
            TRow Row;
            Row.Type = P.Type;
            Row.Description = P.Description;
            Row.Occurrence = Occurrence;
            FRows.append(Row);
        }
    for (TRow& Row : FRows) {
        bool First = true;
        for (const QVector<TPictureEntry>& Pictures : Lists) {
            const int I = FindPicture(Pictures, Row.Type, Row.Description, Row.Occurrence);
            if (I < 0) {
                Row.Differs = true;
                continue;
            }
            const TPictureEntry& P = Pictures[I];
            if (First) {
                const pictureinfo::TImageInfo Info = InfoOf(P.Data);
                Row.Data = P.Data;
                Row.Mime = !P.Mime.isEmpty() ? P.Mime : QString::fromStdString(Info.Mime);
                // The size the bytes hold; the tag's own figures when they cannot be read.
                Row.Width = Info.Width ? Info.Width : P.Width;
                Row.Height = Info.Height ? Info.Height : P.Height;
                First = false;
            } else if (P.Data != Row.Data) {
                Row.Differs = true;
            }
        }
    }
    endResetModel();
}

bool TPictureListModel::ChangePictures(const std::function<bool(QVector<TPictureEntry>&)>& Change) {
    if (FFiles.isEmpty()) return false;
    const QStringList Changed = FMain.ApplyToSelectedRecords([&](const QString&, TAudioTag& Tag) {
        QVector<TTagEntry> Entries;
        QVector<TPictureEntry> Pictures;
        recordentries::Effective(Tag, Entries, Pictures);
        if (!Change(Pictures)) return false;
        recordentries::SetLists(Tag, std::move(Entries), std::move(Pictures));
        return true;
    });
    Reload();
    return !Changed.isEmpty();
}

bool TPictureListModel::ReadPictureFile(const QString& FileName, QByteArray& Data, QString& Mime, QString& Error) {
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly)) {
        Error =
            Tr("Cannot open the picture file:") + QLatin1Char('\n') + FileName + QLatin1Char('\n') + File.errorString();
        return false;
    }
    if (File.size() > kMaxPictureFileBytes) {
        Error = Tr("The picture file is too large:") + QLatin1Char('\n') + FileName;
        return false;
    }
    Data = File.readAll();
    Mime = QString::fromStdString(InfoOf(Data).Mime);
    if (Mime.isEmpty()) {
        Error = Tr("The file is not a picture that can be loaded:") + QLatin1Char('\n') + FileName;
        return false;
    }
    return true;
}

bool TPictureListModel::AddPicture(uint32_t Type, const QString& Description, const QString& FileName, QString& Error) {
    QByteArray Data;
    QString Mime;
    if (Type >= pictureinfo::TypeCount || !ReadPictureFile(FileName, Data, Mime, Error)) return false;
    const pictureinfo::TImageInfo Info = InfoOf(Data);
    return ChangePictures([&](QVector<TPictureEntry>& Pictures) {
        int I = FindPicture(Pictures, Type, Description, 0);
        if (I < 0) {
            TPictureEntry P;
            P.Name = recordentries::NewPictureName(Pictures);
            P.Type = Type;
            P.Description = Description;
            Pictures.append(P);
            I = static_cast<int>(Pictures.size()) - 1;
        }
        Pictures[I].Data = Data;
        Pictures[I].Mime = Mime;
        Pictures[I].Width = Info.Width;
        Pictures[I].Height = Info.Height;
        return true;
    });
}

bool TPictureListModel::ReplacePicture(int Row, const QString& FileName, QString& Error) {
    QByteArray Data;
    QString Mime;
    if (Row < 0 || Row >= FRows.size() || !ReadPictureFile(FileName, Data, Mime, Error)) return false;
    const TRow Key = FRows[Row];
    const pictureinfo::TImageInfo Info = InfoOf(Data);
    return ChangePictures([&](QVector<TPictureEntry>& Pictures) {
        const int I = FindPicture(Pictures, Key.Type, Key.Description, Key.Occurrence);
        if (I < 0 || (Pictures[I].Data == Data && Pictures[I].Mime == Mime)) return false;
        Pictures[I].Data = Data;
        Pictures[I].Mime = Mime;
        Pictures[I].Width = Info.Width;
        Pictures[I].Height = Info.Height;
        return true;
    });
}

bool TPictureListModel::SetTypeAndDescription(int Row, uint32_t Type, const QString& Description) {
    if (Row < 0 || Row >= FRows.size() || Type >= pictureinfo::TypeCount) return false;
    const TRow Key = FRows[Row];
    return ChangePictures([&](QVector<TPictureEntry>& Pictures) {
        const int I = FindPicture(Pictures, Key.Type, Key.Description, Key.Occurrence);
        if (I < 0 || (Pictures[I].Type == Type && Pictures[I].Description == Description)) return false;
        Pictures[I].Type = Type;
        Pictures[I].Description = Description;
        return true;
    });
}

bool TPictureListModel::RemoveRows(const QVector<int>& Rows) {
    QVector<TRow> Keys;
    for (int R : Rows)
        if (R >= 0 && R < FRows.size()) Keys.append(FRows[R]);
    if (Keys.isEmpty()) return false;
    return ChangePictures([&](QVector<TPictureEntry>& Pictures) {
        QVector<int> Gone;
        for (const TRow& Key : Keys)
            if (const int I = FindPicture(Pictures, Key.Type, Key.Description, Key.Occurrence); I >= 0) Gone.append(I);
        std::sort(Gone.begin(), Gone.end());
        for (qsizetype K = Gone.size(); K-- > 0;) Pictures.removeAt(Gone[K]);
        return !Gone.isEmpty();
    });
}

bool TPictureListModel::SavePicture(int Row, const QString& FileName, QString& Error) const {
    if (Row < 0 || Row >= FRows.size() || FRows[Row].Data.isEmpty()) return false;
    QFile File(FileName);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        File.write(FRows[Row].Data) != FRows[Row].Data.size() || !File.flush()) {
        Error = Tr("Cannot write the file:") + QLatin1Char('\n') + FileName + QLatin1Char('\n') + File.errorString();
        return false;
    }
    return true;
}

QString TPictureListModel::SuggestedFileName(const TRow& Row) {
    const char* Key = pictureinfo::TypeKey(Row.Type);
    return QLatin1String(*Key ? Key : "picture") + QLatin1Char('.') +
           QLatin1String(pictureinfo::ExtensionOfMime(Row.Mime.toStdString()));
}

QStringList TPictureListModel::TypeCaptions() {
    QStringList Out;
    for (const char* C : kTypeCaptions) Out.append(QLatin1String(C));
    return Out;
}

QString TPictureListModel::TypeCaption(uint32_t Type) {
    return Type < pictureinfo::TypeCount ? Tr(QLatin1String(kTypeCaptions[Type])) : QString::number(Type);
}

QStringList TPictureListModel::ColumnCaptions() {
    return {QStringLiteral("Type"), QStringLiteral("Description"), QStringLiteral("MIME type"), QStringLiteral("Bytes"),
            QStringLiteral("Pixels")};
}

int TPictureListModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TPictureListModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : pcCount; }

QVariant TPictureListModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= FRows.size() || Role != Qt::DisplayRole) return QVariant();
    const TRow& Row = FRows[Index.row()];
    const bool Keep = Row.Differs && Index.column() >= pcMime;
    switch (Index.column()) {
        case pcType: return TypeCaption(Row.Type);
        case pcDescription: return Row.Description;
        case pcMime: return Keep ? TMainModel::KeepMarker() : Row.Mime;
        case pcBytes: return Keep ? TMainModel::KeepMarker() : QString::number(Row.Data.size());
        case pcPixels:
            if (Keep) return TMainModel::KeepMarker();
            return Row.Width && Row.Height ? QStringLiteral("%1 \u00D7 %2").arg(Row.Width).arg(Row.Height) : QString();
        default: return QVariant();
    }
}

QVariant TPictureListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation != Qt::Horizontal || Role != Qt::DisplayRole || Section < 0 || Section >= pcCount)
        return QVariant();
    return Tr(ColumnCaptions().at(Section));
}
