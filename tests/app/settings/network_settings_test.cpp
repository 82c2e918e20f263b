// Where the online services are looked for: the environment, then set.ini,
// then the built-in addresses.
#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>

#include "app/settings/network_settings.h"
#include "app/settings/window_settings.h"
#include "tests/test_util.h"

namespace {

// Sets or clears an environment variable for the scope of one test.
class TEnvironment {
public:
    TEnvironment(const char* Name, const QByteArray& Value) : FName(Name), FHad(qEnvironmentVariableIsSet(Name)) {
        FOld = qgetenv(Name);
        if (Value.isNull())
            qunsetenv(Name);
        else
            qputenv(Name, Value);
    }
    ~TEnvironment() {
        if (FHad)
            qputenv(FName, FOld);
        else
            qunsetenv(FName);
    }

private:
    const char* FName;
    bool FHad;
    QByteArray FOld;
};

TEST(NetworkSettings, EnvironmentThenSettingsFileThenDefault) {
    testutil::TTempDir Dir;
    TEnvironment Config("XDG_CONFIG_HOME", QByteArray::fromStdString(Dir.path()));
    TEnvironment Update("VELTRANO_UPDATE_URL", QByteArray());
    TEnvironment Music("VELTRANO_MUSICBRAINZ_URL", QByteArray());
    EXPECT_EQ(MusicBrainzBaseUrl(), "https://musicbrainz.org");
    EXPECT_EQ(UpdateServerBaseUrl(), "https://www.veltrano.example");

    ASSERT_TRUE(QDir().mkpath(SettingsFolder()));
    {
        QSettings Ini(SettingsFileName(), QSettings::IniFormat);
        Ini.setValue("Network/MusicBrainzUrl", " https://mirror.example/ ");
        Ini.setValue("Network/UpdateUrl", "https://updates.example//");
    }
    EXPECT_EQ(MusicBrainzBaseUrl(), "https://mirror.example");
    EXPECT_EQ(UpdateServerBaseUrl(), "https://updates.example");

    qputenv("VELTRANO_MUSICBRAINZ_URL", "http://127.0.0.1:8080/");
    qputenv("VELTRANO_UPDATE_URL", "https://127.0.0.1:8443");
    EXPECT_EQ(MusicBrainzBaseUrl(), "http://127.0.0.1:8080");
    EXPECT_EQ(UpdateServerBaseUrl(), "https://127.0.0.1:8443");

    // The project version, as the build wrote it.
    EXPECT_EQ(ProductVersionText(), QLatin1String(kVersionText));
    EXPECT_EQ(ApplicationUserAgent(), QStringLiteral("Veltrano/%1 ( support@veltrano.example )").arg(kVersionText));
}

}  // namespace
