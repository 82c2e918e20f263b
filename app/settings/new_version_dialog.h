// TFrmNewVersion: the modal dialog that announces a newer version at start,
// shown over TNewVersionModel, and the start-up's stand-ins for the message
// boxes and the desktop (there is no main window yet).
#pragma once

#include <QDialog>

#include "app/settings/update_check.h"
#include "app/user_interaction.h"

class QLabel;
class QProgressBar;
class QPushButton;

class TFrmNewVersion final : public QDialog {
    Q_OBJECT
public:
    explicit TFrmNewVersion(TNewVersionModel& Model, QWidget* Parent = nullptr);

protected:
    void closeEvent(QCloseEvent* Event) override;
    void reject() override;

private:
    void Refresh();
    void btCancelClick();

    TNewVersionModel& FModel;
    QLabel* lblText = nullptr;
    QProgressBar* pbDownload = nullptr;
    QPushButton* btUpdateNow = nullptr;
    QPushButton* btCancel = nullptr;
    bool FClosing = false;
};

// Shows TFrmNewVersion modally, centred on the screen.
class TNewVersionDialogRunner final : public INewVersionDialog {
public:
    void Execute(TNewVersionModel& Model) override;
};

// Message boxes without an owner and the desktop services, for the start-up.
class TStartupDesktop final : public IUserInteraction, public IShellActions {
public:
    void Inform(const QString& Text) override;
    void Warn(const QString& Text) override;
    void ShowError(const QString& Text) override;
    bool Confirm(const QString& Text) override;
    QString AskText(const QString&, const QString&, const QString&) override { return QString(); }
    QString PickFolder(const QString&) override { return QString(); }
    QString PickImageFile() override { return QString(); }
    void ShowErrorReport(const QVector<TErrorItem>&) override {}
    bool PlayFile(const QString& Path) override { return OpenFile(Path); }
    bool OpenFile(const QString& Path) override;
    bool OpenUrl(const QString& Url) override;
};
