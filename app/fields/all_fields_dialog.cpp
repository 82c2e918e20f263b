#include "app/fields/all_fields_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/main_model.h"
#include "app/settings/translation.h"

// --- one field ---------------------------------------------------------------

TFrmFieldEdit::TFrmFieldEdit(const QString& Name, const QString& KeyName, const QStringList& Values, bool NameEditable,
                             QWidget* Parent)
    : QDialog(Parent), FLoaded(Values) {
    setObjectName(QStringLiteral("frmFieldEdit"));
    setWindowTitle(NameEditable ? Tr(QStringLiteral("Add Field")) : Tr(QStringLiteral("Edit Field")));
    auto* lblName = new QLabel(Tr(QStringLiteral("Field name:")), this);
    edtName = new QLineEdit(Name, this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setReadOnly(!NameEditable);
    edtName->setPlaceholderText(QStringLiteral("MUSICBRAINZ_TRACKID, REPLAYGAIN_TRACK_GAIN ..."));
    lblName->setBuddy(edtName);
    lblValues = new QLabel(this);
    memValues = new QPlainTextEdit(this);
    memValues->setObjectName(QStringLiteral("memValues"));
    lblValues->setBuddy(memValues);
    FOneText = TAllFieldsModel::IsTextField(KeyName, Values);
    // One value a line, or the one text with its own line breaks.
    QString Text = FOneText ? Values.join(QStringLiteral("\r\n")) : Values.join(QLatin1Char('\n'));
    memValues->setPlainText(Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setText(Tr(QStringLiteral("OK")));
    Buttons->button(QDialogButtonBox::Cancel)->setText(Tr(QStringLiteral("Cancel")));
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(edtName, &QLineEdit::textChanged, this, [this] { UpdateMode(); });
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(lblName);
    Layout->addWidget(edtName);
    Layout->addWidget(lblValues);
    Layout->addWidget(memValues, 1);
    Layout->addWidget(Buttons);
    resize(480, 320);
    UpdateMode();
    (NameEditable ? static_cast<QWidget*>(edtName) : memValues)->setFocus();
}

void TFrmFieldEdit::UpdateMode() {
    if (!edtName->isReadOnly()) FOneText = TAllFieldsModel::IsTextField(edtName->text().trimmed(), FLoaded);
    lblValues->setText(FOneText ? Tr(QStringLiteral("Text (line breaks are kept):"))
                                : Tr(QStringLiteral("Values (one per line):")));
}

QString TFrmFieldEdit::Name() const { return edtName->text().trimmed(); }

QStringList TFrmFieldEdit::Values() const {
    return TAllFieldsModel::ValuesFromText(FOneText, memValues->toPlainText());
}

// --- the list ------------------------------------------------------------------

TFrmAllFields::TFrmAllFields(TMainModel& Main, QWidget* Parent) : QDialog(Parent), FMain(Main), FModel(Main) {
    setObjectName(QStringLiteral("frmAllFields"));
    lblFiles = new QLabel(this);
    lblFiles->setObjectName(QStringLiteral("lblFiles"));
    lblFiles->setWordWrap(true);
    lvFields = new QTreeView(this);
    lvFields->setObjectName(QStringLiteral("lvFields"));
    lvFields->setModel(&FModel);
    lvFields->setRootIsDecorated(false);
    lvFields->setUniformRowHeights(true);
    lvFields->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvFields->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFields->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvFields->setAllColumnsShowFocus(true);
    lvFields->header()->setStretchLastSection(false);
    lvFields->header()->setSectionResizeMode(TAllFieldsModel::fcValues, QHeaderView::Stretch);
    lvFields->setColumnWidth(TAllFieldsModel::fcName, 240);
    lvFields->setColumnWidth(TAllFieldsModel::fcKinds, 170);

    btnAdd = new QPushButton(this);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    btnEdit = new QPushButton(this);
    btnEdit->setObjectName(QStringLiteral("btnEdit"));
    btnDelete = new QPushButton(this);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    btnClose = new QPushButton(this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);
    connect(btnAdd, &QPushButton::clicked, this, [this] { AddField(); });
    connect(btnEdit, &QPushButton::clicked, this, [this] { EditField(); });
    connect(btnDelete, &QPushButton::clicked, this, [this] { DeleteFields(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(lvFields, &QTreeView::doubleClicked, this, [this] { EditField(); });
    connect(&FModel, &QAbstractItemModel::modelReset, this, [this] { UpdateButtons(); });
    connect(lvFields->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateButtons(); });

    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(btnAdd);
    Buttons->addWidget(btnEdit);
    Buttons->addWidget(btnDelete);
    Buttons->addStretch();
    Buttons->addWidget(btnClose);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(lblFiles);
    Layout->addWidget(lvFields, 1);
    Layout->addLayout(Buttons);
    resize(860, 480);
    ApplyCaptions();
    UpdateButtons();
}

void TFrmAllFields::Execute(TMainModel& Main, QWidget* Parent) {
    Main.ApplyPendingEdits();
    if (Main.GetSelectedFiles().isEmpty()) {
        Main.Ui().Inform(Tr(QStringLiteral("Please select one or more files first.")));
        return;
    }
    TFrmAllFields Dialog(Main, Parent);
    Dialog.exec();
}

void TFrmAllFields::ApplyCaptions() {
    setWindowTitle(Tr(QStringLiteral("All Fields")));
    btnAdd->setText(Tr(QStringLiteral("Add...")));
    btnEdit->setText(Tr(QStringLiteral("Edit...")));
    btnDelete->setText(Tr(QStringLiteral("Delete")));
    btnClose->setText(Tr(QStringLiteral("Close")));
}

void TFrmAllFields::UpdateButtons() {
    const QVector<int> Rows = SelectedRows();
    btnEdit->setEnabled(Rows.size() == 1);
    btnDelete->setEnabled(!Rows.isEmpty());
    btnAdd->setEnabled(FModel.FileCount() > 0);
    lblFiles->setText(FModel.FileCount() == 1 ? FMain.GetSelectedFiles().value(0)
                                              : FormatTr("%d files selected", {FModel.FileCount()}));
}

QVector<int> TFrmAllFields::SelectedRows() const {
    QVector<int> Rows;
    for (const QModelIndex& Index : lvFields->selectionModel()->selectedRows()) Rows.append(Index.row());
    std::sort(Rows.begin(), Rows.end());
    return Rows;
}

void TFrmAllFields::AddField() {
    TFrmFieldEdit Edit(QString(), QString(), {}, true, this);
    while (Edit.exec() == QDialog::Accepted) {
        QString Error;
        if (FModel.AddField(Edit.Name(), Edit.Values(), Error)) {
            const int Row = FModel.FindRow(Edit.Name());
            if (Row >= 0) lvFields->setCurrentIndex(FModel.index(Row, 0));
            return;
        }
        QMessageBox::warning(this, windowTitle(), Error);
    }
}

void TFrmAllFields::EditField() {
    const QVector<int> Rows = SelectedRows();
    if (Rows.size() != 1) return;
    const TAllFieldsModel::TRow Row = FModel.Rows()[Rows.first()];
    TFrmFieldEdit Edit(TAllFieldsModel::ShownName(Row.Key), Row.Key.Name, Row.Values, false, this);
    if (Edit.exec() != QDialog::Accepted) return;
    // A "<keep>" field left empty keeps each file's values; an unchanged one is no edit.
    const QStringList Values = Edit.Values();
    if ((Row.Differs && Values.isEmpty()) || (!Row.Differs && Values == Row.Values)) return;
    // The field keeps its place in the list.
    FModel.SetValues(Rows.first(), Values);
    const int Again = FModel.Rows().size() > Rows.first() ? Rows.first() : -1;
    if (Again >= 0) lvFields->setCurrentIndex(FModel.index(Again, 0));
}

void TFrmAllFields::DeleteFields() { FModel.DeleteRows(SelectedRows()); }
