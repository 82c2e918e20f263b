#include "app/lookup/auto_tag_pick.h"

QStringList TAutoTagPickModel::ColumnCaptions()
{
    return {QStringLiteral("Score"), QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album")};
}

int TAutoTagPickModel::ColumnWidth(int Column)
{
    static const int kWidths[pcCount] = {60, 250, 200, 250};
    return (Column >= 0 && Column < pcCount) ? kWidths[Column] : 0;
}

void TAutoTagPickModel::SetCandidates(const QVector<TMBReleaseCandidate>& Candidates)
{
    FCandidates = Candidates;
    FSelected = -1;
}

QString TAutoTagPickModel::Cell(int Row, int Column) const
{
    if (Row < 0 || Row >= RowCount())
        return QString();
    const TMBReleaseCandidate& C = FCandidates[Row];
    switch (Column) {
    case pcScore: return QString::number(C.Score);
    case pcTitle: return C.Title;
    case pcArtist: return C.Artist;
    case pcAlbum: return C.Album;
    default: return QString();
    }
}

bool TAutoTagPickModel::Finish(bool ClosedWithOk, TMBReleaseCandidate& Pick) const
{
    Pick = TMBReleaseCandidate();
    if (!ClosedWithOk || FSelected < 0)
        return false;
    Pick = FCandidates[FSelected];
    return true;
}
