#include "app/test_hooks_window.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSslConfiguration>
#include <QTimer>
#include <QTreeWidget>
#include <memory>
#include <functional>

#include "app/lookup/auto_tag_pick_dialog.h"
#include "app/main_window.h"

namespace {

void Shoot(QWidget& Widget, const QString& FileName)
{
    QPixmap Shot;
    if (QGuiApplication::platformName() == QLatin1String("xcb") && Widget.screen())
        Shot = Widget.screen()->grabWindow(0);
    if (Shot.isNull())
        Shot = Widget.window()->grab();
    Shot.save(FileName);
}

// Waits for a modal window of this name, photographs it and hands it on.
void WhenModalShown(const QString& Name, const QString& FileName, std::function<void(QWidget&)> Then)
{
    auto* Poll = new QTimer(qApp);
    QObject::connect(Poll, &QTimer::timeout, qApp, [Poll, Name, FileName, Then] {
        QWidget* Modal = QApplication::activeModalWidget();
        if (!Modal || Modal->objectName() != Name || !Modal->isVisible())
            return;
        Poll->stop();
        Poll->deleteLater();
        QTimer::singleShot(500, Modal, [Modal, FileName, Then] {
            if (!FileName.isEmpty())
                Shoot(*Modal, FileName);
            Then(*Modal);
        });
    });
    Poll->start(100);
}

}  // namespace

bool RunStartUpTestHook(const QString& Hook)
{
    const QString Kind = Hook.section(QLatin1Char('='), 0, 0);
    const QString Argument = Hook.section(QLatin1Char('='), 1);
    const bool Screenshot = Kind == QLatin1String("newversion-screenshot");
    if (!Screenshot && Kind != QLatin1String("newversion-press"))
        return false;
    // "...|CERT": the check's test server uses a certificate made for the check.
    const QString Certificate = Argument.section(QLatin1Char('|'), 1);
    if (!Certificate.isEmpty()) {
        QSslConfiguration Tls = QSslConfiguration::defaultConfiguration();
        Tls.addCaCertificates(Certificate, QSsl::Pem);
        QSslConfiguration::setDefaultConfiguration(Tls);
    }
    const QString First = Argument.section(QLatin1Char('|'), 0, 0);
    const QString Button = Screenshot ? QStringLiteral("btCancel") : First;
    WhenModalShown(QStringLiteral("frmNewVersion"), Screenshot ? First : QString(), [Button](QWidget& Dialog) {
        if (auto* Pressed = Dialog.findChild<QPushButton*>(Button))
            Pressed->click();
    });
    // A screenshot ends the program after the dialog; a pressed button lets
    // the dialog decide.
    return Screenshot;
}

bool RunWindowTestHook(TFrmMain& Window, const QString& Hook)
{
    const QString Kind = Hook.section(QLatin1Char('='), 0, 0);
    const QString Argument = Hook.section(QLatin1Char('='), 1);
    if (Kind == QLatin1String("newversion-screenshot")) {
        return true;
    } else if (Kind == QLatin1String("quit-when-shown") || Kind == QLatin1String("newversion-press")) {
        QTimer::singleShot(0, &Window, [&Window] { Window.close(); });
        return true;
    } else if (Kind == QLatin1String("autotag-pick")) {
        // Double-clicks row N of every pick dialog, as a user choosing a hit.
        const int Row = Argument.toInt();
        // Re-arms itself for the next dialog; held by a static (not by its own
        // lambda, which would keep itself alive past the program's end).
        static std::function<void()> PickRow;
        PickRow = [Row] {
            WhenModalShown(QStringLiteral("frmAutoTagPick"), QString(), [Row](QWidget& Dialog) {
                auto* List = Dialog.findChild<QTreeWidget*>(QStringLiteral("lv"));
                if (QTreeWidgetItem* Item = List ? List->topLevelItem(Row) : nullptr) {
                    List->setCurrentItem(Item);
                    emit List->itemDoubleClicked(Item, 0);
                } else {
                    static_cast<QDialog&>(Dialog).reject();
                }
                PickRow();
            });
        };
        PickRow();
        QObject::connect(&Window.Model(), &TMainModel::ScanFinished, &Window, [&Window] {
            QTimer::singleShot(0, &Window, [&Window] {
                Window.Model().SelectRows({0});
                Window.Action(QStringLiteral("actAutoTag"))->trigger();
                Window.close();
            });
        }, Qt::SingleShotConnection);
        return true;
    } else if (Kind == QLatin1String("autotag-screenshot")) {
        WhenModalShown(QStringLiteral("frmAutoTagPick"), Argument, [&Window](QWidget& Dialog) {
            static_cast<QDialog&>(Dialog).reject();
            QTimer::singleShot(500, &Window, [&Window] { Window.close(); });
        });
        QObject::connect(&Window.Model(), &TMainModel::ScanFinished, &Window, [&Window] {
            Window.Model().SelectRows({0});
            Window.Action(QStringLiteral("actAutoTag"))->trigger();
        }, Qt::SingleShotConnection);
        return true;
    }
    return false;
}
