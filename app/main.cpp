// Program entry: the application object with the blue theme, the translation
// table and the language, the update check (which may end the program after
// its dialog), then the main window.
#include <QApplication>
#include <QStyleFactory>
#include <cstdio>
#include <cstring>

#include "app/app_icons.h"
#include "app/main_window.h"
#include "app/settings/network_settings.h"
#include "app/settings/new_version_dialog.h"
#include "app/settings/translation.h"
#include "app/theme.h"
#ifdef VELTRANO_TEST_HOOKS
#include "app/testing/window_hooks_window.h"
#endif
#include "app/version.h"

namespace {

// --version and --help answer on the terminal before the application object
// exists, so they need no display. Returns whether one of them was asked for.
bool AnsweredCommandLine(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("veltrano %s\n", kVersionText);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "usage: veltrano [--version] [--help] [Qt options]\n"
                "Opens the tag editor's window.\n"
                "See veltrano(1) for the files it reads and writes.\n");
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (AnsweredCommandLine(argc, argv)) return 0;
    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrano"));
    QApplication::setOrganizationName(QStringLiteral("Veltrano"));
    // Ties the window to the installed menu entry (<id>.desktop, the id the
    // software centre's metainfo names too) and its icon.
    QGuiApplication::setDesktopFileName(QLatin1String(kApplicationId));
    QApplication::setApplicationVersion(QLatin1String(kVersionText));
    QApplication::setWindowIcon(AppIcon(aiApplication));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(BlueThemePalette());
    App.setStyleSheet(BlueThemeStyleSheet());

    TSettingsLanguageStore LanguageStore;
    TTranslation::Instance().Load(TTranslation::DefaultTableFile(), LanguageStore);

#ifdef VELTRANO_TEST_HOOKS
    // Automated checks: "screenshot=FILE", "captions=FILE", "autotag-screenshot=FILE"
    // or "newversion-screenshot=FILE" (see scripts/ and tests/scripts/).
    const QString Hook = qEnvironmentVariable("VELTRANO_TEST_HOOK");
    const bool EndAfterUpdateCheck = RunStartUpTestHook(Hook);
#else
    const bool EndAfterUpdateCheck = false;
#endif

    TStartupDesktop Desktop;
    TNewVersionDialogRunner NewVersion;
    if (!RunStartupUpdateCheck(UpdateServerBaseUrl(), NewVersion, Desktop, Desktop) || EndAfterUpdateCheck) return 0;

    TFrmMain Window;
#ifdef VELTRANO_TEST_HOOKS
    if (!Hook.isEmpty() && !RunWindowTestHook(Window, Hook)) Window.RunTestHook(Hook);
#endif
    Window.ShowFirstTime();
    return App.exec();
}
