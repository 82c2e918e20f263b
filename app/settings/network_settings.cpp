#include "app/settings/network_settings.h"

#include <QSettings>

#include "app/settings/window_settings.h"

namespace {

const char* const kDefaultMusicBrainzUrl = "https://musicbrainz.org";
const char* const kDefaultCoverArtUrl = "https://coverartarchive.org";
const char* const kWebSiteUrl = "https://www.veltrano.example";
const char* const kContactAddress = "support@veltrano.example";

QString WithoutTrailingSlash(QString Url) {
    Url = Url.trimmed();
    while (Url.endsWith(QLatin1Char('/'))) Url.chop(1);
    return Url;
}

QString Configured(const char* Variable, const QString& Key, const QString& Default) {
    const QString FromEnvironment = qEnvironmentVariable(Variable).trimmed();
    if (!FromEnvironment.isEmpty()) return WithoutTrailingSlash(FromEnvironment);
    const QSettings Ini(SettingsFileName(), QSettings::IniFormat);
    const QString FromFile = Ini.value(QStringLiteral("Network/") + Key).toString().trimmed();
    return WithoutTrailingSlash(FromFile.isEmpty() ? Default : FromFile);
}

}  // namespace

QString ProductVersionText() { return QLatin1String(kVersionText); }

QString MusicBrainzBaseUrl() {
    return Configured("VELTRANO_MUSICBRAINZ_URL", QStringLiteral("MusicBrainzUrl"),
                      QLatin1String(kDefaultMusicBrainzUrl));
}

QString CoverArtArchiveBaseUrl() {
    return Configured("VELTRANO_COVERART_URL", QStringLiteral("CoverArtUrl"), QLatin1String(kDefaultCoverArtUrl));
}

QString UpdateServerBaseUrl() {
    return Configured("VELTRANO_UPDATE_URL", QStringLiteral("UpdateUrl"), QLatin1String(kWebSiteUrl));
}

QString WebSiteUrl() { return QLatin1String(kWebSiteUrl); }

QString ApplicationUserAgent() {
    return QStringLiteral("Veltrano/") + ProductVersionText() + QStringLiteral(" ( ") + QLatin1String(kContactAddress) +
           QStringLiteral(" )");
}
