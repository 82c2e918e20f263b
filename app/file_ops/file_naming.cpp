#include "app/file_ops/file_naming.h"

#include <QStringList>

#include "app/actions/tag_action.h"

QString CleanFileName(const QString& Name) {
    QString Out = Name;
    for (QChar C : {QChar(u'<'), QChar(u'>'), QChar(u':'), QChar(u'"'), QChar(u'/'), QChar(u'\\'), QChar(u'|'),
                    QChar(u'?'), QChar(u'*'), QChar(u'\0')})
        Out.replace(C, QLatin1Char('_'));
    return TrimSpaces(Out);
}

QString ExpandPattern(const QString& Pattern, const TAudioTag& Tag, int Number) {
    const std::pair<const char*, QString> Steps[] = {
        {"%artist%", Tag.Artist},
        {"%title%", Tag.Title},
        {"%album%", Tag.Album},
        {"%track%", Tag.Track},
        {"%year%", Tag.Year},
        {"%genre%", Tag.Genre},
        {"%albumartist%", Tag.AlbumArtist},
        {"%composer%", Tag.Composer},
        {"%num%", QString::number(Number).rightJustified(2, QLatin1Char('0'))},
    };
    QString Out = Pattern;
    for (const auto& [Placeholder, Value] : Steps) Out.replace(QLatin1String(Placeholder), Value, Qt::CaseInsensitive);
    return CleanFileName(Out);
}

bool IsValidName(const QString& Name) {
    return !Name.isEmpty() && Name != QLatin1String(".") && Name != QLatin1String("..") &&
           !Name.contains(QLatin1Char('/')) && !Name.contains(QChar(u'\0')) && Name.toUtf8().size() <= kMaxNameBytes;
}

bool IsValidRelativeFolder(const QString& Path) {
    const QStringList Parts = Path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (Parts.isEmpty()) return false;
    for (const QString& Part : Parts) {
        if (!IsValidName(Part)) return false;
    }
    return true;
}

QString NameExtension(const QString& Name) {
    const QString Last = Name.section(QLatin1Char('/'), -1);
    const qsizetype Dot = Last.lastIndexOf(QLatin1Char('.'));
    return Dot < 0 ? QString() : Last.mid(Dot);
}
