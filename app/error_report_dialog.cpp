#include "app/error_report_dialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

TFrmErrorReport::TFrmErrorReport(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("frmErrorReport"));
    setWindowTitle(QStringLiteral("Tag Writing Errors"));
    FList = new QTreeWidget(this);
    FList->setObjectName(QStringLiteral("lvErrors"));
    FList->setRootIsDecorated(false);
    FList->setSelectionBehavior(QAbstractItemView::SelectRows);
    FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FList->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Error")});
    FList->setUniformRowHeights(true);

    auto* btnCopy = new QPushButton(QStringLiteral("Copy"), this);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    auto* btnClose = new QPushButton(QStringLiteral("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnCopy, &QPushButton::clicked, this, &TFrmErrorReport::btnCopyClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(btnCopy);
    Buttons->addWidget(btnClose);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(FList);
    Layout->addLayout(Buttons);
    resize(600, 300);
}

void TFrmErrorReport::LoadErrors(const QVector<TErrorItem>& Errors) {
    FErrors = Errors;
    FList->clear();
    for (const TErrorItem& Item : Errors) FList->addTopLevelItem(new QTreeWidgetItem({Item.FileName, Item.Message}));
    FList->resizeColumnToContents(0);
    FList->setColumnWidth(0, std::min(FList->columnWidth(0), 360));
}

void TFrmErrorReport::btnCopyClick() {
    const QString Text = ErrorReportText(FErrors);
    if (!Text.isEmpty()) QGuiApplication::clipboard()->setText(Text);
}

void ShowErrorReport(const QVector<TErrorItem>& Errors, QWidget* Owner) {
    TFrmErrorReport Dialog(Owner);
    Dialog.LoadErrors(Errors);
    if (QScreen* Screen = Dialog.screen()) {
        const QRect Available = Screen->availableGeometry();
        Dialog.move(Available.center() - Dialog.rect().center());
    }
    Dialog.exec();
}
