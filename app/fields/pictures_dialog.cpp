#include "app/fields/pictures_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/core/picture_info.h"
#include "app/main_model.h"
#include "app/settings/translation.h"

namespace {

constexpr int kPreviewSize = 220;

}  // namespace

// --- type and description ---------------------------------------------------------

TFrmPictureProperties::TFrmPictureProperties(const QString& Title, uint32_t Type, const QString& Description,
                                             QWidget* Parent)
    : QDialog(Parent) {
    setObjectName(QStringLiteral("frmPictureProperties"));
    setWindowTitle(Title);
    cbType = new QComboBox(this);
    cbType->setObjectName(QStringLiteral("cbType"));
    for (uint32_t T = 0; T < pictureinfo::TypeCount; ++T) cbType->addItem(TPictureListModel::TypeCaption(T));
    cbType->setCurrentIndex(static_cast<int>(Type < pictureinfo::TypeCount ? Type : pictureinfo::FrontType));
    edtDescription = new QLineEdit(Description, this);
    edtDescription->setObjectName(QStringLiteral("edtDescription"));
    auto* Form = new QFormLayout;
    Form->addRow(Tr(QStringLiteral("Picture type:")), cbType);
    Form->addRow(Tr(QStringLiteral("Description:")), edtDescription);
    auto* Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setText(Tr(QStringLiteral("OK")));
    Buttons->button(QDialogButtonBox::Cancel)->setText(Tr(QStringLiteral("Cancel")));
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Form);
    Layout->addWidget(Buttons);
}

uint32_t TFrmPictureProperties::Type() const { return static_cast<uint32_t>(cbType->currentIndex()); }

QString TFrmPictureProperties::Description() const { return edtDescription->text(); }

// --- the list ------------------------------------------------------------------------

TFrmPictures::TFrmPictures(TMainModel& Main, QWidget* Parent) : QDialog(Parent), FMain(Main), FModel(Main) {
    setObjectName(QStringLiteral("frmPictures"));
    lblFiles = new QLabel(this);
    lblFiles->setObjectName(QStringLiteral("lblFiles"));
    lblFiles->setWordWrap(true);
    lvPictures = new QTreeView(this);
    lvPictures->setObjectName(QStringLiteral("lvPictures"));
    lvPictures->setModel(&FModel);
    lvPictures->setRootIsDecorated(false);
    lvPictures->setUniformRowHeights(true);
    lvPictures->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvPictures->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvPictures->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvPictures->setAllColumnsShowFocus(true);
    lvPictures->setColumnWidth(TPictureListModel::pcType, 170);
    lvPictures->setColumnWidth(TPictureListModel::pcDescription, 170);
    lvPictures->setColumnWidth(TPictureListModel::pcMime, 100);
    lvPictures->setColumnWidth(TPictureListModel::pcBytes, 80);
    imgPreview = new QLabel(this);
    imgPreview->setObjectName(QStringLiteral("imgPreview"));
    imgPreview->setFixedSize(kPreviewSize, kPreviewSize);
    imgPreview->setAlignment(Qt::AlignCenter);
    imgPreview->setFrameShape(QFrame::StyledPanel);

    auto Button = [this](const char* Name) {
        auto* B = new QPushButton(this);
        B->setObjectName(QLatin1String(Name));
        return B;
    };
    btnAdd = Button("btnAdd");
    btnReplace = Button("btnReplace");
    btnProperties = Button("btnProperties");
    btnRemove = Button("btnRemove");
    btnSave = Button("btnSave");
    btnClose = Button("btnClose");
    btnClose->setDefault(true);
    connect(btnAdd, &QPushButton::clicked, this, [this] { AddPicture(); });
    connect(btnReplace, &QPushButton::clicked, this, [this] { ReplacePicture(); });
    connect(btnProperties, &QPushButton::clicked, this, [this] { EditProperties(); });
    connect(btnRemove, &QPushButton::clicked, this, [this] { RemovePictures(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { SavePicture(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(lvPictures, &QTreeView::doubleClicked, this, [this] { EditProperties(); });
    connect(&FModel, &QAbstractItemModel::modelReset, this, [this] { UpdateButtons(); });
    connect(lvPictures->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { UpdateButtons(); });

    auto* Side = new QVBoxLayout;
    Side->addWidget(imgPreview);
    for (QPushButton* B : {btnAdd, btnReplace, btnProperties, btnRemove, btnSave}) Side->addWidget(B);
    Side->addStretch();
    Side->addWidget(btnClose);
    auto* Middle = new QHBoxLayout;
    Middle->addWidget(lvPictures, 1);
    Middle->addLayout(Side);
    auto* Layout = new QVBoxLayout(this);
    Layout->addWidget(lblFiles);
    Layout->addLayout(Middle, 1);
    resize(900, 420);
    ApplyCaptions();
    UpdateButtons();
}

void TFrmPictures::Execute(TMainModel& Main, QWidget* Parent) {
    Main.ApplyPendingEdits();
    if (Main.GetSelectedFiles().isEmpty()) {
        Main.Ui().Inform(Tr(QStringLiteral("Please select one or more files first.")));
        return;
    }
    TFrmPictures Dialog(Main, Parent);
    Dialog.exec();
}

void TFrmPictures::ApplyCaptions() {
    setWindowTitle(Tr(QStringLiteral("Pictures")));
    btnAdd->setText(Tr(QStringLiteral("Add...")));
    btnReplace->setText(Tr(QStringLiteral("Replace...")));
    btnProperties->setText(Tr(QStringLiteral("Type and Description...")));
    btnRemove->setText(Tr(QStringLiteral("Remove")));
    btnSave->setText(Tr(QStringLiteral("Save to File...")));
    btnClose->setText(Tr(QStringLiteral("Close")));
}

int TFrmPictures::CurrentRow() const {
    const QModelIndexList Rows = lvPictures->selectionModel()->selectedRows();
    return Rows.size() == 1 ? Rows.first().row() : -1;
}

void TFrmPictures::UpdateButtons() {
    const int Row = CurrentRow();
    const bool Any = !lvPictures->selectionModel()->selectedRows().isEmpty();
    btnReplace->setEnabled(Row >= 0);
    btnProperties->setEnabled(Row >= 0);
    btnRemove->setEnabled(Any);
    btnSave->setEnabled(Row >= 0 && !FModel.Rows()[Row].Differs);
    lblFiles->setText(FModel.FileCount() == 1 ? FMain.GetSelectedFiles().value(0)
                                              : FormatTr("%d files selected", {FModel.FileCount()}));
    QImage Image;
    if (Row >= 0 && !FModel.Rows()[Row].Differs) Image.loadFromData(FModel.Rows()[Row].Data);
    if (Image.isNull())
        imgPreview->setPixmap(QPixmap());
    else
        imgPreview->setPixmap(QPixmap::fromImage(
            Image.scaled(kPreviewSize - 8, kPreviewSize - 8, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TFrmPictures::AddPicture() {
    const QString File = FMain.Ui().PickImageFile();
    if (File.isEmpty()) return;
    // A file without a front cover gets one first; then the back, and so on.
    auto Has = [this](uint32_t Type) {
        for (const TPictureListModel::TRow& R : FModel.Rows())
            if (R.Type == Type) return true;
        return false;
    };
    const uint32_t Type = !Has(pictureinfo::FrontType) ? pictureinfo::FrontType : !Has(4) ? 4 : 0;
    TFrmPictureProperties Properties(Tr(QStringLiteral("Add Picture")), Type, QString(), this);
    if (Properties.exec() != QDialog::Accepted) return;
    QString Error;
    if (!FModel.AddPicture(Properties.Type(), Properties.Description(), File, Error) && !Error.isEmpty())
        QMessageBox::warning(this, windowTitle(), Error);
}

void TFrmPictures::ReplacePicture() {
    const int Row = CurrentRow();
    if (Row < 0) return;
    const QString File = FMain.Ui().PickImageFile();
    QString Error;
    if (!File.isEmpty() && !FModel.ReplacePicture(Row, File, Error) && !Error.isEmpty())
        QMessageBox::warning(this, windowTitle(), Error);
}

void TFrmPictures::EditProperties() {
    const int Row = CurrentRow();
    if (Row < 0) return;
    const TPictureListModel::TRow R = FModel.Rows()[Row];
    TFrmPictureProperties Properties(Tr(QStringLiteral("Type and Description")), R.Type, R.Description, this);
    if (Properties.exec() == QDialog::Accepted)
        FModel.SetTypeAndDescription(Row, Properties.Type(), Properties.Description());
}

void TFrmPictures::RemovePictures() {
    QVector<int> Rows;
    for (const QModelIndex& Index : lvPictures->selectionModel()->selectedRows()) Rows.append(Index.row());
    FModel.RemoveRows(Rows);
}

void TFrmPictures::SavePicture() {
    const int Row = CurrentRow();
    if (Row < 0) return;
    const QString Folder = QFileInfo(FMain.GetSelectedFiles().value(0)).absolutePath();
    const QString File =
        QFileDialog::getSaveFileName(this, Tr(QStringLiteral("Save Picture")),
                                     QDir(Folder).filePath(TPictureListModel::SuggestedFileName(FModel.Rows()[Row])));
    QString Error;
    if (!File.isEmpty() && !FModel.SavePicture(Row, File, Error)) QMessageBox::warning(this, windowTitle(), Error);
}
