#include "app/lookup/auto_tag_pick_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/settings/translation.h"

TFrmAutoTagPick::TFrmAutoTagPick(QWidget* Parent) : QDialog(Parent)
{
    setObjectName(QStringLiteral("frmAutoTagPick"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    lv = new QTreeWidget(this);
    lv->setObjectName(QStringLiteral("lv"));
    lv->setRootIsDecorated(false);
    lv->setUniformRowHeights(true);
    lv->setSelectionMode(QAbstractItemView::SingleSelection);
    lv->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv->setAllColumnsShowFocus(true);
    lv->setColumnCount(TAutoTagPickModel::pcCount);
    for (int c = 0; c < TAutoTagPickModel::pcCount; ++c)
        lv->setColumnWidth(c, TAutoTagPickModel::ColumnWidth(c));
    // The selection stays visible when the list loses focus.
    QPalette Colours = lv->palette();
    Colours.setColor(QPalette::Inactive, QPalette::Highlight, Colours.color(QPalette::Active, QPalette::Highlight));
    Colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     Colours.color(QPalette::Active, QPalette::HighlightedText));
    lv->setPalette(Colours);

    lblNote = new QLabel(this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);

    btnOK = new QPushButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lv, &QTreeWidget::itemSelectionChanged, this, &TFrmAutoTagPick::lvSelectionChanged);
    connect(lv, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (FModel.DoubleClickAccepts())
            accept();
    });

    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(btnOK);
    Buttons->addWidget(btnCancel);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(Label1);
    Layout->addWidget(lv, 1);
    Layout->addWidget(lblNote);
    Layout->addLayout(Buttons);
    // Wide enough for the columns side by side.
    resize(1000, 400);
    ApplyCaptions();
}

void TFrmAutoTagPick::ApplyCaptions()
{
    setWindowTitle(Tr(QStringLiteral("Results from Online Database")));
    QStringList Captions;
    for (const QString& English : TAutoTagPickModel::ColumnCaptions())
        Captions.append(Tr(English));
    lv->setHeaderLabels(Captions);
    lblNote->setText(Tr(TAutoTagPickModel::NoteText()));
    btnOK->setText(Tr(QStringLiteral("OK")));
    btnCancel->setText(Tr(QStringLiteral("Cancel")));
}

void TFrmAutoTagPick::SetHeading(const QString& Text)
{
    Label1->setText(Text);
}

void TFrmAutoTagPick::lvSelectionChanged()
{
    const QList<QTreeWidgetItem*> Items = lv->selectedItems();
    FModel.Select(Items.isEmpty() ? -1 : Items.first()->data(0, Qt::UserRole).toInt());
}

bool TFrmAutoTagPick::ExecutePick(const QVector<TMBReleaseCandidate>& Candidates, TMBReleaseCandidate& Pick)
{
    Pick = TMBReleaseCandidate();
    FModel.SetCandidates(Candidates);
    lv->clear();
    for (int r = 0; r < FModel.RowCount(); ++r) {
        auto* Item = new QTreeWidgetItem;
        for (int c = 0; c < TAutoTagPickModel::pcCount; ++c)
            Item->setText(c, FModel.Cell(r, c));
        Item->setTextAlignment(TAutoTagPickModel::pcScore, Qt::AlignRight | Qt::AlignVCenter);
        Item->setData(0, Qt::UserRole, FModel.CandidateIndex(r));
        lv->addTopLevelItem(Item);
    }
    lv->clearSelection();
    lv->setCurrentItem(nullptr);
    FModel.Select(-1);
    btnOK->setEnabled(FModel.OkEnabled());
    ApplyCaptions();
    if (QWidget* Owner = parentWidget())
        move(Owner->geometry().center() - rect().center());
    const bool ClosedWithOk = exec() == QDialog::Accepted;
    return FModel.Finish(ClosedWithOk, Pick);
}

// --- the command's windows ---------------------------------------------------

TAutoTagDialogs::~TAutoTagDialogs()
{
    delete FProgress.data();
}

void TAutoTagDialogs::BeginProgress(int FileCount, std::function<void()> OnCancel)
{
    delete FProgress.data();
    auto* Progress = new QProgressDialog(FOwner);
    Progress->setObjectName(QStringLiteral("frmAutoTagProgress"));
    Progress->setWindowTitle(Tr(QStringLiteral("Auto-Tag")));
    Progress->setCancelButtonText(Tr(QStringLiteral("Cancel")));
    Progress->setWindowModality(Qt::WindowModal);
    Progress->setAutoClose(false);
    Progress->setAutoReset(false);
    Progress->setMinimumDuration(0);
    Progress->setRange(0, FileCount);
    Progress->setMinimumWidth(420);
    QObject::connect(Progress, &QProgressDialog::canceled, Progress, [OnCancel] { OnCancel(); });
    FProgress = Progress;
    Progress->show();
}

void TAutoTagDialogs::ShowProgress(int FileIndex, const QString& Text)
{
    if (!FProgress)
        return;
    FProgress->setLabelText(Tr(QStringLiteral("Looking up:")) + QLatin1Char(' ') + Text);
    FProgress->setValue(FileIndex);
}

void TAutoTagDialogs::EndProgress()
{
    if (FProgress)
        FProgress->deleteLater();
    FProgress = nullptr;
}

bool TAutoTagDialogs::PickCandidate(const QString& Heading, const QVector<TMBReleaseCandidate>& Candidates,
                                    TMBReleaseCandidate& Pick)
{
    TFrmAutoTagPick Dialog(FOwner);
    Dialog.SetHeading(Heading);
    return Dialog.ExecutePick(Candidates, Pick);
}

void RunAutoTag(TMainModel& Model, IUserInteraction& Ui, QWidget* Owner)
{
    TAutoTagDialogs Dialogs(Owner);
    TAutoTagCommand Command(Model, Ui, Dialogs);
    Command.Run();
}
