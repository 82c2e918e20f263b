#include "app/lookup/auto_tag_pick_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/settings/translation.h"

TFrmAutoTagPick::TFrmAutoTagPick(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("frmAutoTagPick"));
    lblHeading = new QLabel(this);
    lblHeading->setObjectName(QStringLiteral("Label1"));
    lblHeading->setWordWrap(true);
    lvResults = new QTreeWidget(this);
    lvResults->setObjectName(QStringLiteral("lv"));
    lvResults->setRootIsDecorated(false);
    lvResults->setUniformRowHeights(true);
    lvResults->setSelectionMode(QAbstractItemView::SingleSelection);
    lvResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvResults->setAllColumnsShowFocus(true);
    lvResults->setColumnCount(TAutoTagPickModel::pcCount);
    for (int c = 0; c < TAutoTagPickModel::pcCount; ++c)
        lvResults->setColumnWidth(c, TAutoTagPickModel::ColumnWidth(c));
    // The selection stays visible when the list loses focus.
    QPalette Colours = lvResults->palette();
    Colours.setColor(QPalette::Inactive, QPalette::Highlight, Colours.color(QPalette::Active, QPalette::Highlight));
    Colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     Colours.color(QPalette::Active, QPalette::HighlightedText));
    lvResults->setPalette(Colours);

    lblNote = new QLabel(this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    chkReplaceCovers = new QCheckBox(this);
    chkReplaceCovers->setObjectName(QStringLiteral("chkReplaceCovers"));

    btnOK = new QPushButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvResults, &QTreeWidget::itemSelectionChanged, this, &TFrmAutoTagPick::lvSelectionChanged);
    connect(lvResults, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (FModel.DoubleClickAccepts()) accept();
    });

    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(chkReplaceCovers);
    Buttons->addStretch();
    Buttons->addWidget(btnOK);
    Buttons->addWidget(btnCancel);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(lblHeading);
    Layout->addWidget(lvResults, 1);
    Layout->addWidget(lblNote);
    Layout->addLayout(Buttons);
    // Wide enough for the columns side by side.
    resize(1000, 400);
    ApplyCaptions();
}

void TFrmAutoTagPick::ApplyCaptions() {
    setWindowTitle(Tr(QStringLiteral("Results from Online Database")));
    QStringList Captions;
    for (const QString& English : TAutoTagPickModel::ColumnCaptions()) Captions.append(Tr(English));
    lvResults->setHeaderLabels(Captions);
    lblNote->setText(Tr(TAutoTagPickModel::NoteText()));
    chkReplaceCovers->setText(Tr(TAutoTagPickModel::ReplaceCoversCaption()));
    chkReplaceCovers->setToolTip(Tr(TAutoTagPickModel::ReplaceCoversHint()));
    btnOK->setText(Tr(QStringLiteral("OK")));
    btnCancel->setText(Tr(QStringLiteral("Cancel")));
}

void TFrmAutoTagPick::SetHeading(const QString& Text) { lblHeading->setText(Text); }

void TFrmAutoTagPick::lvSelectionChanged() {
    const QList<QTreeWidgetItem*> Items = lvResults->selectedItems();
    FModel.Select(Items.isEmpty() ? -1 : Items.first()->data(0, Qt::UserRole).toInt());
}

void TFrmAutoTagPick::OpenPick(const QVector<TMBReleaseCandidate>& Candidates, bool ReplaceCovers) {
    FModel.SetCandidates(Candidates);
    lvResults->clear();
    for (int r = 0; r < FModel.RowCount(); ++r) {
        auto* Item = new QTreeWidgetItem;
        for (int c = 0; c < TAutoTagPickModel::pcCount; ++c) Item->setText(c, FModel.Cell(r, c));
        Item->setTextAlignment(TAutoTagPickModel::pcScore, Qt::AlignRight | Qt::AlignVCenter);
        Item->setData(0, Qt::UserRole, FModel.CandidateIndex(r));
        lvResults->addTopLevelItem(Item);
    }
    lvResults->clearSelection();
    lvResults->setCurrentItem(nullptr);
    FModel.Select(-1);
    btnOK->setEnabled(FModel.OkEnabled());
    chkReplaceCovers->setChecked(ReplaceCovers);
    ApplyCaptions();
    if (QWidget* Owner = parentWidget()) move(Owner->geometry().center() - rect().center());
    connect(
        this, &QDialog::finished, this,
        [this](int Result) {
            TAutoTagPickAnswer Answer;
            Answer.Picked = FModel.Finish(Result == QDialog::Accepted, Answer.Pick);
            Answer.ReplaceCovers = chkReplaceCovers->isChecked();
            emit Answered(Answer);
        },
        Qt::SingleShotConnection);
    open();
}

// --- the progress window -----------------------------------------------------

TFrmAutoTagProgress::TFrmAutoTagProgress(QWidget* Parent, int FileCount) : QDialog(Parent) {
    setObjectName(QStringLiteral("frmAutoTagProgress"));
    setWindowTitle(Tr(QStringLiteral("Auto-Tag")));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(420);
    lblText = new QLabel(this);
    lblText->setObjectName(QStringLiteral("lblText"));
    lblText->setTextFormat(Qt::PlainText);
    pbFiles = new QProgressBar(this);
    pbFiles->setObjectName(QStringLiteral("pbFiles"));
    pbFiles->setRange(0, FileCount);
    pbFiles->setValue(0);
    btnCancel = new QPushButton(Tr(QStringLiteral("Cancel")), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnCancel, &QPushButton::clicked, this, &TFrmAutoTagProgress::reject);
    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch();
    Buttons->addWidget(btnCancel);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(lblText);
    Layout->addWidget(pbFiles);
    Layout->addLayout(Buttons);
}

void TFrmAutoTagProgress::ShowFile(int FileIndex, const QString& Text) {
    lblText->setText(Tr(QStringLiteral("Looking up:")) + QLatin1Char(' ') + Text);
    pbFiles->setValue(FileIndex);
}

void TFrmAutoTagProgress::reject() {
    // The run decides when the window goes (it closes it as it ends).
    emit Cancelled();
}

// --- the command's windows ---------------------------------------------------

TAutoTagDialogs::~TAutoTagDialogs() { EndProgress(); }

void TAutoTagDialogs::BeginProgress(int FileCount, std::function<void()> OnCancel) {
    EndProgress();
    auto* Progress = new TFrmAutoTagProgress(FOwner, FileCount);
    QObject::connect(Progress, &TFrmAutoTagProgress::Cancelled, Progress, [OnCancel] { OnCancel(); });
    FProgress = Progress;
    Progress->show();
}

void TAutoTagDialogs::ShowProgress(int FileIndex, const QString& Text) {
    if (FProgress) FProgress->ShowFile(FileIndex, Text);
}

void TAutoTagDialogs::EndProgress() {
    // Closed without their answers: the run that asked has ended.
    for (QDialog* Open : {static_cast<QDialog*>(FPick.data()), static_cast<QDialog*>(FMessage.data()),
                          static_cast<QDialog*>(FProgress.data())}) {
        if (!Open) continue;
        Open->disconnect();
        Open->hide();
        Open->deleteLater();
    }
    FPick = nullptr;
    FMessage = nullptr;
    FProgress = nullptr;
}

void TAutoTagDialogs::PickCandidate(const QString& Heading, const QVector<TMBReleaseCandidate>& Candidates,
                                    bool ReplaceCovers, std::function<void(const TAutoTagPickAnswer&)> Done) {
    auto* Dialog = new TFrmAutoTagPick(FOwner);
    Dialog->SetHeading(Heading);
    QObject::connect(Dialog, &TFrmAutoTagPick::Answered, Dialog, [Dialog, Done](const TAutoTagPickAnswer& Answer) {
        Dialog->deleteLater();
        Done(Answer);
    });
    FPick = Dialog;
    Dialog->OpenPick(Candidates, ReplaceCovers);
}

void TAutoTagDialogs::ShowMessage(bool Warning, const QString& Text, std::function<void()> Closed) {
    auto* Box = new QMessageBox(Warning ? QMessageBox::Warning : QMessageBox::Information, QStringLiteral("Veltrano"),
                                Text, QMessageBox::NoButton, FOwner);
    // File names and tag values are shown as written, never as markup.
    Box->setTextFormat(Qt::PlainText);
    Box->addButton(Tr("OK"), QMessageBox::AcceptRole);
    QObject::connect(Box, &QDialog::finished, Box, [Box, Closed] {
        Box->deleteLater();
        Closed();
    });
    FMessage = Box;
    Box->open();
}

namespace {

// One run of the window: its windows and the command, gone once it ends.
// The command is a child too, so that the window finds it among its own.
class TAutoTagRun final : public QObject {
public:
    TAutoTagRun(TMainModel& Model, QWidget* Owner) : QObject(Owner), FDialogs(Owner), FCommand(Model, FDialogs, this) {
        setObjectName(QStringLiteral("autoTagRun"));
        connect(&FCommand, &TAutoTagCommand::Finished, this, &QObject::deleteLater);
    }
    TAutoTagCommand& Command() { return FCommand; }

private:
    TAutoTagDialogs FDialogs;
    TAutoTagCommand FCommand;
};

}  // namespace

TAutoTagCommand* RunAutoTag(TMainModel& Model, QWidget* Owner) {
    if (Owner->findChild<QObject*>(QStringLiteral("autoTagRun"), Qt::FindDirectChildrenOnly)) return nullptr;
    auto* Run = new TAutoTagRun(Model, Owner);
    Run->Command().Run();
    if (!Run->Command().IsRunning()) {
        delete Run;
        return nullptr;
    }
    return &Run->Command();
}

void CancelAutoTag(QWidget* Owner) {
    if (QObject* Run = Owner->findChild<QObject*>(QStringLiteral("autoTagRun"), Qt::FindDirectChildrenOnly))
        static_cast<TAutoTagRun*>(Run)->Command().Cancel();
}
