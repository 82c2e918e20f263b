#include "app/lookup/auto_tag_pick.h"

#include "app/settings/translation.h"

QStringList TAutoTagPickModel::ColumnCaptions() {
    return {QStringLiteral("Score"), QStringLiteral("Title"),   QStringLiteral("Artist"), QStringLiteral("Album"),
            QStringLiteral("Date"),  QStringLiteral("Country"), QStringLiteral("Format"), QStringLiteral("Track")};
}

QString TAutoTagPickModel::NoteText() {
    return QStringLiteral(
        "Album, album artist and year are taken from the chosen release; "
        "what it lacks is cleared in the file.");
}

QString TAutoTagPickModel::ReplaceCoversCaption() { return QStringLiteral("Replace covers"); }

QString TAutoTagPickModel::ReplaceCoversHint() {
    return QStringLiteral(
        "The release's front cover goes into files without a cover; "
        "ticked, it replaces the cover a file has too.");
}

int TAutoTagPickModel::ColumnWidth(int Column) {
    static const int kWidths[pcCount] = {50, 220, 170, 220, 90, 60, 100, 50};
    return (Column >= 0 && Column < pcCount) ? kWidths[Column] : 0;
}

void TAutoTagPickModel::SetCandidates(const QVector<TMBReleaseCandidate>& Candidates) {
    FCandidates = Candidates;
    FSelected = -1;
}

QString TAutoTagPickModel::Cell(int Row, int Column) const {
    if (Row < 0 || Row >= RowCount()) return QString();
    const TMBReleaseCandidate& C = FCandidates[Row];
    switch (Column) {
        case pcScore: return QString::number(C.Score);
        case pcTitle:
            return C.Video ? QLatin1Char('[') + Tr(QStringLiteral("Video")) + QStringLiteral("] ") + C.Title : C.Title;
        case pcArtist: return C.Artist;
        case pcAlbum: return C.Album;
        case pcDate: return C.Date;
        case pcCountry: return C.Country;
        case pcFormat: return C.Format;
        case pcTrack: return C.TrackPosition();
        default: return QString();
    }
}

bool TAutoTagPickModel::Finish(bool ClosedWithOk, TMBReleaseCandidate& Pick) const {
    Pick = TMBReleaseCandidate();
    if (!ClosedWithOk || FSelected < 0) return false;
    Pick = FCandidates[FSelected];
    return true;
}
