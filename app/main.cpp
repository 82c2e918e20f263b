// Program entry: the application object with the blue theme, the translation
// table and the language, then the main window.
#include <QApplication>
#include <QStyleFactory>

#include "app/app_icons.h"
#include "app/main_window.h"
#include "app/settings/translation.h"
#include "app/theme.h"

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

    TFrmMain Window;
    // Automated checks: "screenshot=FILE" or "captions=FILE" (see scripts/).
    const QString Hook = qEnvironmentVariable("VELTRANO_TEST_HOOK");
    if (!Hook.isEmpty())
        Window.RunTestHook(Hook);
    Window.ShowFirstTime();
    return App.exec();
}
