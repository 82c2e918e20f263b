// TFrmTagsFromNames: the "Tags from File Names" window. The user types or
// picks a pattern and sees at once, per selected file, the values it would
// get (TNameGuessPreview); Apply hands the pattern to TTagsFromNames, which
// changes the records as one undo step.
#pragma once

#include <QDialog>

#include "app/file_ops/tags_from_names.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

class TFrmTagsFromNames final : public QDialog {
    Q_OBJECT
public:
    TFrmTagsFromNames(const QStringList& Files, const QStringList& RecentPatterns, QWidget* Parent = nullptr);
    // The pattern shown; the one to apply once the dialog was accepted.
    QString Pattern() const;

private:
    void PatternChanged(const QString& Text);

    TNameGuessPreview FPreview;
    QComboBox* cbPattern = nullptr;
    QLabel* lblResult = nullptr;
    QTableView* tvPreview = nullptr;
    QPushButton* btnApply = nullptr;
};

// The window's "Tags from File Names..." command over the model's selection.
void RunTagsFromNames(TMainModel& Model, QWidget* Owner);
