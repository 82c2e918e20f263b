// Program entry: the application object with the blue theme, the translation
// table and the language, the update check (which may end the program after
// its dialog), then the main window.
#include <QApplication>
#include <QStyleFactory>

#include "app/app_icons.h"
#include "app/main_window.h"
#include "app/settings/network_settings.h"
#include "app/settings/new_version_dialog.h"
#include "app/settings/translation.h"
#include "app/theme.h"
#ifdef VELTRANO_TEST_HOOKS
#include "app/testing/window_hooks_window.h"
#endif

int main(int argc, char* argv[])
{
    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veltrano"));
    QApplication::setOrganizationName(QStringLiteral("Veltrano"));
    // Ties the window to the installed menu entry (veltrano.desktop) and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("veltrano"));
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
    if (!RunStartupUpdateCheck(UpdateServerBaseUrl(), NewVersion, Desktop, Desktop) || EndAfterUpdateCheck)
        return 0;

    TFrmMain Window;
#ifdef VELTRANO_TEST_HOOKS
    if (!Hook.isEmpty() && !RunWindowTestHook(Window, Hook))
        Window.RunTestHook(Hook);
#endif
    Window.ShowFirstTime();
    return App.exec();
}
