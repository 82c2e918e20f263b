#include "app/cover_art.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "app/settings/translation.h"

namespace {

// Cover files larger than this are refused: no front picture is that big,
// and reading it would only hold the whole file in memory for nothing.
constexpr qint64 kMaxCoverFileBytes = 64LL * 1024 * 1024;

QImage DecodePicture(const QByteArray& Data) {
    QImage Image;
    if (!Data.isEmpty()) Image.loadFromData(Data);
    return Image;
}

}  // namespace

void TCoverDisplay::ShowRecord(const TAudioTag& Tag) {
    FImage = DecodePicture(Tag.CoverData);
    FData = Tag.CoverData;
    FMime = Tag.CoverMime;
    if (Tag.CoverData.isEmpty())
        FKind = cdNone;
    else
        FKind = FImage.isNull() ? cdKeep : cdStored;
}

void TCoverDisplay::ShowKeep() {
    FKind = cdKeep;
    FImage = QImage();
    FData.clear();
    FMime.clear();
}

bool TCoverDisplay::LoadFile(const QString& FileName, QString& Error) {
    QFile File(FileName);
    if (!File.open(QIODevice::ReadOnly)) {
        Error =
            Tr("Cannot open the picture file:") + QLatin1Char('\n') + FileName + QLatin1Char('\n') + File.errorString();
        return false;
    }
    if (File.size() > kMaxCoverFileBytes) {
        Error = Tr("The picture file is too large:") + QLatin1Char('\n') + FileName;
        return false;
    }
    QByteArray Data = File.readAll();
    QImage Image = DecodePicture(Data);
    if (Image.isNull()) {
        Error = Tr("The file is not a picture that can be loaded:") + QLatin1Char('\n') + FileName;
        return false;
    }
    QString Mime = MimeOfPicture(Data);
    if (Mime.isEmpty()) {
        // Some other format the decoder knows (GIF ...): store it as PNG, which
        // every tag format and player accepts, rather than a mislabelled file.
        QBuffer Buffer;
        Buffer.open(QIODevice::WriteOnly);
        Image.save(&Buffer, "PNG");
        Data = Buffer.data();
        Mime = QStringLiteral("image/png");
    }
    FKind = cdLoaded;
    FImage = std::move(Image);
    FData = std::move(Data);
    FMime = std::move(Mime);
    return true;
}

void TCoverDisplay::Clear() {
    FKind = cdCleared;
    FImage = QImage();
    FData.clear();
    FMime.clear();
}

void TCoverDisplay::ApplyTo(TAudioTag& Tag) const {
    switch (FKind) {
        case cdLoaded:
            Tag.CoverData = FData;
            Tag.CoverMime = FMime;
            break;
        case cdCleared:
        case cdNone:
            Tag.CoverData.clear();
            Tag.CoverMime.clear();
            break;
        case cdStored:
        case cdKeep: break;  // the record's own bytes stay as they are
    }
}

QString TCoverDisplay::MimeOfPicture(const QByteArray& Data) {
    if (Data.startsWith("\xFF\xD8\xFF")) return QStringLiteral("image/jpeg");
    if (Data.startsWith("\x89PNG\r\n\x1A\n")) return QStringLiteral("image/png");
    if (Data.startsWith("BM")) return QStringLiteral("image/bmp");
    return QString();
}

void TCoverPool::Intern(QByteArray& Data) {
    if (Data.isEmpty()) return;
    QVector<QByteArray>& Bucket = FBuckets[qHash(Data)];
    for (const QByteArray& Known : Bucket) {
        if (Known.size() == Data.size() && Known == Data) {
            Data = Known;
            return;
        }
    }
    Bucket.append(Data);
    ++FCount;
}
