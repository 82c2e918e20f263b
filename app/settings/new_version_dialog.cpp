#include "app/settings/new_version_dialog.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "app/settings/translation.h"

TFrmNewVersion::TFrmNewVersion(TNewVersionModel& Model, QWidget* Parent) : QDialog(Parent), FModel(Model) {
    setObjectName(QStringLiteral("frmNewVersion"));
    setWindowTitle(FModel.Caption());
    setFixedSize(411, 172);

    auto* Icon = new QLabel(this);
    Icon->setObjectName(QStringLiteral("imgUpdate"));
    Icon->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(48, 48));
    Icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    Icon->setFixedWidth(56);

    lblText = new QLabel(FModel.Text());
    lblText->setObjectName(QStringLiteral("Label1"));
    lblText->setWordWrap(true);
    lblText->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    lblText->setTextFormat(Qt::PlainText);
    // A long list of changes scrolls inside the fixed-size window.
    auto* TextArea = new QScrollArea(this);
    TextArea->setWidget(lblText);
    TextArea->setWidgetResizable(true);
    TextArea->setFrameShape(QFrame::NoFrame);
    TextArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    pbDownload = new QProgressBar(this);
    pbDownload->setObjectName(QStringLiteral("pbDownload"));
    pbDownload->setRange(0, 100);
    pbDownload->setVisible(false);

    btUpdateNow = new QPushButton(this);
    btUpdateNow->setObjectName(QStringLiteral("btUpdateNow"));
    btUpdateNow->setDefault(true);
    btCancel = new QPushButton(this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    connect(btUpdateNow, &QPushButton::clicked, this, [this] { FModel.UpdateNowPressed(); });
    connect(btCancel, &QPushButton::clicked, this, &TFrmNewVersion::btCancelClick);
    connect(&FModel, &TNewVersionModel::Changed, this, &TFrmNewVersion::Refresh);
    connect(&FModel, &TNewVersionModel::CloseRequested, this, [this] {
        FClosing = true;
        done(QDialog::Accepted);
    });

    auto* Top = new QHBoxLayout;
    Top->addWidget(Icon);
    auto* Right = new QVBoxLayout;
    Right->addWidget(TextArea, 1);
    Right->addWidget(pbDownload);
    Top->addLayout(Right, 1);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(btUpdateNow);
    Buttons->addWidget(btCancel);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Top, 1);
    Layout->addLayout(Buttons);
    Refresh();
}

void TFrmNewVersion::Refresh() {
    btUpdateNow->setText(FModel.UpdateCaption());
    btUpdateNow->setEnabled(FModel.UpdateEnabled());
    btCancel->setText(FModel.CancelCaption());
    pbDownload->setVisible(FModel.ProgressVisible());
    pbDownload->setValue(FModel.ProgressValue());
}

void TFrmNewVersion::btCancelClick() {
    if (FModel.CancelPressed()) {
        FClosing = true;
        done(QDialog::Rejected);
    }
}

void TFrmNewVersion::reject() {
    // Escape and the close box act as the second button; while a download
    // runs that is Abort, and the window closes once the download stopped.
    btCancelClick();
}

void TFrmNewVersion::closeEvent(QCloseEvent* Event) {
    if (FClosing) {
        Event->accept();
        return;
    }
    Event->ignore();
    btCancelClick();
}

void TNewVersionDialogRunner::Execute(TNewVersionModel& Model) {
    TFrmNewVersion Dialog(Model);
    if (QScreen* Screen = Dialog.screen()) Dialog.move(Screen->availableGeometry().center() - Dialog.rect().center());
    Dialog.exec();
}

namespace {

void Message(QMessageBox::Icon Icon, const QString& Text) {
    QMessageBox Box(Icon, QStringLiteral("Veltrano"), Text, QMessageBox::NoButton);
    Box.addButton(Tr(QStringLiteral("OK")), QMessageBox::AcceptRole);
    Box.exec();
}

}  // namespace

void TStartupDesktop::Inform(const QString& Text) { Message(QMessageBox::Information, Text); }

void TStartupDesktop::Warn(const QString& Text) { Message(QMessageBox::Warning, Text); }

void TStartupDesktop::ShowError(const QString& Text) { Message(QMessageBox::Critical, Text); }

bool TStartupDesktop::Confirm(const QString& Text) {
    QMessageBox Box(QMessageBox::Question, QStringLiteral("Veltrano"), Text, QMessageBox::NoButton);
    Box.addButton(Tr(QStringLiteral("Yes")), QMessageBox::YesRole);
    Box.setEscapeButton(Box.addButton(Tr(QStringLiteral("No")), QMessageBox::NoRole));
    Box.exec();
    return Box.buttonRole(Box.clickedButton()) == QMessageBox::YesRole;
}

bool TStartupDesktop::OpenFile(const QString& Path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(Path)); }

bool TStartupDesktop::OpenUrl(const QString& Url) { return QDesktopServices::openUrl(QUrl(Url)); }
