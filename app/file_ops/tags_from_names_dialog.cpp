#include "app/file_ops/tags_from_names_dialog.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "app/main_model.h"
#include "app/settings/translation.h"
#include "app/settings/window_settings.h"

TFrmTagsFromNames::TFrmTagsFromNames(const QStringList& Files, const QStringList& RecentPatterns, QWidget* Parent)
    : QDialog(Parent) {
    setObjectName(QStringLiteral("frmTagsFromNames"));
    setWindowTitle(Tr(QStringLiteral("Tags from File Names")));

    auto* lblPattern = new QLabel(Tr(QStringLiteral("Pattern:")), this);
    cbPattern = new QComboBox(this);
    cbPattern->setObjectName(QStringLiteral("cbPattern"));
    cbPattern->setEditable(true);
    cbPattern->setInsertPolicy(QComboBox::NoInsert);
    cbPattern->addItems(RecentPatterns);
    cbPattern->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lblPattern->setBuddy(cbPattern);

    auto* lblHelp = new QLabel(this);
    lblHelp->setObjectName(QStringLiteral("lblHelp"));
    lblHelp->setWordWrap(true);
    lblHelp->setTextFormat(Qt::PlainText);
    lblHelp->setText(
        Tr(QStringLiteral("A slash separates folders; the last part is the file name without its extension.")) +
        QLatin1Char('\n') + Tr(QStringLiteral("Placeholders:")) + QLatin1Char(' ') +
        TNamePattern::PlaceholderNames().join(QLatin1Char(' ')));

    lblResult = new QLabel(this);
    lblResult->setObjectName(QStringLiteral("lblResult"));
    lblResult->setTextFormat(Qt::PlainText);

    FPreview.SetFiles(Files);
    tvPreview = new QTableView(this);
    tvPreview->setObjectName(QStringLiteral("tvPreview"));
    tvPreview->setModel(&FPreview);
    tvPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvPreview->setSelectionMode(QAbstractItemView::NoSelection);
    tvPreview->setWordWrap(false);
    tvPreview->verticalHeader()->hide();
    tvPreview->horizontalHeader()->setStretchLastSection(true);
    tvPreview->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    btnApply = new QPushButton(Tr(QStringLiteral("Apply")), this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setDefault(true);
    auto* btnCancel = new QPushButton(Tr(QStringLiteral("Cancel")), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnApply, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbPattern, &QComboBox::editTextChanged, this, &TFrmTagsFromNames::PatternChanged);

    auto* PatternRow = new QHBoxLayout;
    PatternRow->addWidget(lblPattern);
    PatternRow->addWidget(cbPattern, 1);
    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(lblResult, 1);
    Buttons->addWidget(btnApply);
    Buttons->addWidget(btnCancel);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(PatternRow);
    Layout->addWidget(lblHelp);
    Layout->addWidget(tvPreview, 1);
    Layout->addLayout(Buttons);
    resize(900, 420);
    PatternChanged(cbPattern->currentText());
}

QString TFrmTagsFromNames::Pattern() const { return cbPattern->currentText(); }

void TFrmTagsFromNames::PatternChanged(const QString& Text) {
    const bool Valid = FPreview.SetPattern(Text);
    lblResult->setText(Valid ? FormatTr("%d of %d files match.", {FPreview.MatchCount(), FPreview.rowCount()})
                             : FPreview.Error());
    btnApply->setEnabled(Valid && FPreview.MatchCount() > 0);
    // The file column as wide as its longest text, within reason; the values share the rest.
    tvPreview->resizeColumnsToContents();
    const int Widest = width() / 2;
    for (int c = 0; c < FPreview.columnCount() - 1; ++c)
        tvPreview->setColumnWidth(c, std::min(tvPreview->columnWidth(c) + 16, Widest));
}

void RunTagsFromNames(TMainModel& Model, QWidget* Owner) {
    TTagsFromNames Command(Model, SettingsFileName());
    const QStringList Files = Command.Files();
    if (Files.isEmpty()) {
        Command.Apply(QString());  // tells the user to select files
        return;
    }
    TFrmTagsFromNames Dialog(Files, Command.RecentPatterns(), Owner);
    if (Dialog.exec() == QDialog::Accepted) Command.Apply(Dialog.Pattern());
}
