#include "app/actions/preset_editor_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/actions/preset_store.h"
#include "app/settings/translation.h"
#include "app/user_interaction.h"

namespace {

QPushButton* MakeButton(const char* English, const char* Name) {
    auto* B = new QPushButton(Tr(QLatin1String(English)));
    B->setObjectName(QLatin1String(Name));
    B->setAutoDefault(false);
    return B;
}

QLabel* MakeLabel(const char* English, const char* Name) {
    auto* L = new QLabel(Tr(QLatin1String(English)));
    L->setObjectName(QLatin1String(Name));
    L->setTextFormat(Qt::PlainText);
    return L;
}

QComboBox* MakeList(const QStringList& Items, int Current, const char* Name) {
    auto* C = new QComboBox;
    C->setObjectName(QLatin1String(Name));
    C->addItems(Items);
    C->setCurrentIndex(Current);
    return C;
}

void CentreOnScreen(QDialog* D, int Width, int Height) {
    D->resize(Width, Height);
    if (QScreen* S = D->screen()) D->move(S->availableGeometry().center() - D->rect().center());
}

}  // namespace

// --- "Edit Action" -----------------------------------------------------------

void TActionEditVisibilityHelper::UpdateVisibility() {
    const TTagActionKind Kind = KindAtPosition(cbKind->currentIndex());
    lblSource->setVisible(KindShowsSource(Kind));
    cbSource->setVisible(KindShowsSource(Kind));
    for (QWidget* W : {static_cast<QWidget*>(lblSearch), static_cast<QWidget*>(edtSearch),
                       static_cast<QWidget*>(lblReplace), static_cast<QWidget*>(edtReplace)})
        W->setVisible(KindShowsSearch(Kind));
}

TFrmEditAction::TFrmEditAction(QWidget* Owner, const TTagAction& Action) : QDialog(Owner) {
    setObjectName(QStringLiteral("frmEditAction"));
    setWindowTitle(Tr(QStringLiteral("Edit Action")));
    FHelper.cbKind = MakeList(KindListItems(), PositionOfKind(Action.Kind), "cbKind");
    cbTarget = MakeList(FieldListItems(), Action.TargetField, "cbTarget");
    FHelper.lblSource = MakeLabel("Source field:", "lblSource");
    FHelper.cbSource = MakeList(FieldListItems(), Action.SourceField, "cbSource");
    FHelper.lblSearch = MakeLabel("Search:", "lblSearch");
    FHelper.edtSearch = new QLineEdit(Action.SearchText);
    FHelper.edtSearch->setObjectName(QStringLiteral("edtSearch"));
    FHelper.lblReplace = MakeLabel("Replace:", "lblReplace");
    FHelper.edtReplace = new QLineEdit(Action.ReplaceText);
    FHelper.edtReplace->setObjectName(QStringLiteral("edtReplace"));

    auto* Layout = new QVBoxLayout(this);
    auto* Grid = new QGridLayout;
    QLabel* lblKind = MakeLabel("Action:", "lblKind");
    QLabel* lblTarget = MakeLabel("Target field:", "lblTarget");
    lblKind->setBuddy(FHelper.cbKind);
    lblTarget->setBuddy(cbTarget);
    FHelper.lblSource->setBuddy(FHelper.cbSource);
    Grid->addWidget(lblKind, 0, 0);
    Grid->addWidget(FHelper.cbKind, 0, 1);
    Grid->addWidget(lblTarget, 1, 0);
    Grid->addWidget(cbTarget, 1, 1);
    Grid->addWidget(FHelper.lblSource, 2, 0);
    Grid->addWidget(FHelper.cbSource, 2, 1);
    Grid->addWidget(FHelper.lblSearch, 3, 0);
    Grid->addWidget(FHelper.edtSearch, 3, 1);
    Grid->addWidget(FHelper.lblReplace, 4, 0);
    Grid->addWidget(FHelper.edtReplace, 4, 1);
    Grid->setColumnStretch(1, 1);
    Layout->addLayout(Grid);
    Layout->addStretch(1);
    auto* Buttons = new QHBoxLayout;
    QPushButton* btnOK = MakeButton("OK", "btnOK");
    QPushButton* btnCancel = MakeButton("Cancel", "btnCancel");
    btnOK->setDefault(true);
    Buttons->addStretch(1);
    Buttons->addWidget(btnOK);
    Buttons->addWidget(btnCancel);
    Layout->addLayout(Buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FHelper.cbKind, &QComboBox::currentIndexChanged, this, [this] { FHelper.UpdateVisibility(); });
    FHelper.UpdateVisibility();
    setFixedSize(460, 260);
    CentreOnScreen(this, 460, 260);
}

bool TFrmEditAction::TakeAction(IUserInteraction& Ui, TTagAction& Action) const {
    return ActionFromEditor(FHelper.cbKind->currentIndex(), cbTarget->currentIndex(), FHelper.cbSource->currentIndex(),
                            FHelper.edtSearch->text(), FHelper.edtReplace->text(), Ui, Action);
}

bool TFrmEditAction::Execute(QWidget* Owner, TTagAction& Action, IUserInteraction& Ui) {
    TFrmEditAction Dialog(Owner, Action);
    if (Dialog.exec() != QDialog::Accepted) return false;
    return Dialog.TakeAction(Ui, Action);
}

// --- the actions editor ------------------------------------------------------

TFrmPresetActionsEditor::TFrmPresetActionsEditor(QWidget* Owner, const QString& Name,
                                                 const QVector<TTagAction>& Actions, IUserInteraction& Ui)
    : QDialog(Owner), FUi(Ui) {
    setObjectName(QStringLiteral("frmPresetActions"));
    setWindowTitle(Tr(QStringLiteral("Preset Actions")));
    FActions.Actions = Actions;
    edtName = new QLineEdit(Name);
    edtName->setObjectName(QStringLiteral("edtName"));
    lbItems = new QListWidget;
    lbItems->setObjectName(QStringLiteral("lb"));
    QPushButton* btnAdd = MakeButton("Add...", "btnAdd");
    QPushButton* btnEdit = MakeButton("Edit...", "btnEdit");
    QPushButton* btnDelete = MakeButton("Delete", "btnDelete");
    QPushButton* btnUp = MakeButton("Move up", "btnUp");
    QPushButton* btnDown = MakeButton("Move down", "btnDown");
    QPushButton* btnOK = MakeButton("OK", "btnOK");
    QPushButton* btnCancel = MakeButton("Cancel", "btnCancel");

    auto* Layout = new QVBoxLayout(this);
    auto* NameRow = new QHBoxLayout;
    NameRow->addWidget(MakeLabel("Preset name:", "lblName"));
    NameRow->addWidget(edtName, 1);
    Layout->addLayout(NameRow);
    auto* Middle = new QHBoxLayout;
    Middle->addWidget(lbItems, 1);
    auto* Column = new QVBoxLayout;
    for (QPushButton* B : {btnAdd, btnEdit, btnDelete, btnUp, btnDown}) Column->addWidget(B);
    Column->addStretch(1);
    Middle->addLayout(Column);
    Layout->addLayout(Middle, 1);
    auto* Bottom = new QHBoxLayout;
    Bottom->addStretch(1);
    Bottom->addWidget(btnOK);
    Bottom->addWidget(btnCancel);
    Layout->addLayout(Bottom);

    connect(btnAdd, &QPushButton::clicked, this, [this] {
        TTagAction Action;
        if (TFrmEditAction::Execute(this, Action, FUi)) Refill(FActions.Add(Action));
    });
    auto Edit = [this] {
        const int Index = Current();
        if (Index < 0) return;
        TTagAction Action = FActions.Actions[Index];
        if (TFrmEditAction::Execute(this, Action, FUi)) Refill(FActions.Replace(Index, Action));
    };
    connect(btnEdit, &QPushButton::clicked, this, Edit);
    connect(lbItems, &QListWidget::itemDoubleClicked, this, Edit);
    connect(btnDelete, &QPushButton::clicked, this, [this] {
        const int Index = Current();
        if (Index >= 0 && FUi.Confirm(Tr(QStringLiteral("Delete selected action?")))) Refill(FActions.Delete(Index));
    });
    connect(btnUp, &QPushButton::clicked, this, [this] {
        if (Current() >= 0) Refill(FActions.MoveUp(Current()));
    });
    connect(btnDown, &QPushButton::clicked, this, [this] {
        if (Current() >= 0) Refill(FActions.MoveDown(Current()));
    });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    Refill(-1);
    CentreOnScreen(this, 720, 440);
}

int TFrmPresetActionsEditor::Current() const { return lbItems->currentRow(); }

void TFrmPresetActionsEditor::Refill(int Select) {
    lbItems->clear();
    lbItems->addItems(FActions.Lines());
    if (Select >= 0) lbItems->setCurrentRow(Select);
}

bool TFrmPresetActionsEditor::ExecuteEditor(QWidget* Owner, QString& PresetName, QVector<TTagAction>& Actions,
                                            IUserInteraction& Ui) {
    TFrmPresetActionsEditor Dialog(Owner, PresetName, Actions, Ui);
    if (Dialog.exec() != QDialog::Accepted) return false;
    PresetName = TrimSpaces(Dialog.edtName->text());
    if (PresetName.isEmpty()) {
        Ui.Warn(Tr(QStringLiteral("Preset name cannot be empty.")));
        return false;
    }
    Actions = Dialog.FActions.Actions;
    return true;
}

// --- the preset list editor --------------------------------------------------

TFrmPresetEditor::TFrmPresetEditor(QWidget* Owner, TActionPresetStore& Store, IUserInteraction& Ui) : QDialog(Owner) {
    setObjectName(QStringLiteral("frmPresetEditor"));
    setWindowTitle(Tr(QStringLiteral("Preset Editor")));
    FEditor = std::make_unique<TPresetListEditor>(Store, Ui, [this, &Ui](QString& Name, QVector<TTagAction>& Actions) {
        return TFrmPresetActionsEditor::ExecuteEditor(this, Name, Actions, Ui);
    });
    lbItems = new QListWidget;
    lbItems->setObjectName(QStringLiteral("lb"));
    chkDefault = new QCheckBox(Tr(QStringLiteral("Default (button click)")));
    chkDefault->setObjectName(QStringLiteral("chkDefault"));
    QPushButton* btnAdd = MakeButton("Add...", "btnAdd");
    QPushButton* btnEdit = MakeButton("Edit...", "btnEdit");
    QPushButton* btnDelete = MakeButton("Delete", "btnDelete");
    QPushButton* btnClose = MakeButton("Close", "btnClose");

    auto* Layout = new QHBoxLayout(this);
    Layout->addWidget(lbItems, 1);
    auto* Column = new QVBoxLayout;
    Column->addWidget(chkDefault);
    for (QPushButton* B : {btnAdd, btnEdit, btnDelete}) Column->addWidget(B);
    Column->addStretch(1);
    Column->addWidget(btnClose);
    Layout->addLayout(Column);

    connect(lbItems, &QListWidget::currentRowChanged, this, [this](int Row) {
        FEditor->Select(Row);
        UpdateCheckBox();
    });
    connect(chkDefault, &QCheckBox::clicked, this, [this](bool Ticked) {
        FEditor->SetDefaultTicked(Ticked);
        UpdateCheckBox();
    });
    connect(btnAdd, &QPushButton::clicked, this, [this] {
        FEditor->Add();
        Refill();
    });
    auto Edit = [this] {
        FEditor->Edit();
        Refill();
    };
    connect(btnEdit, &QPushButton::clicked, this, Edit);
    connect(lbItems, &QListWidget::itemDoubleClicked, this, Edit);
    connect(btnDelete, &QPushButton::clicked, this, [this] {
        FEditor->Delete();
        Refill();
    });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    Refill();
    CentreOnScreen(this, 600, 380);
}

TFrmPresetEditor::~TFrmPresetEditor() = default;

void TFrmPresetEditor::Refill() {
    const QSignalBlocker Block(lbItems);
    const int Selected = FEditor->Selected();
    lbItems->clear();
    lbItems->addItems(FEditor->Names());
    lbItems->setCurrentRow(Selected);
    UpdateCheckBox();
}

void TFrmPresetEditor::UpdateCheckBox() { chkDefault->setChecked(FEditor->DefaultTicked()); }

bool TFrmPresetEditor::ExecuteEditor(QWidget* Owner, TActionPresetStore& Store, IUserInteraction& Ui) {
    TFrmPresetEditor Dialog(Owner, Store, Ui);
    Dialog.exec();
    return Dialog.AllSaved();
}
