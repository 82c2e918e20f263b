// TFrmErrorReport: the modal "Tag Writing Errors" dialog listing the files a
// save could not write, with their messages, and a Copy button that puts the
// list on the clipboard. Its texts are fixed, not translated.
#pragma once

#include <QDialog>
#include <QVector>

#include "app/user_interaction.h"

class QTreeWidget;

class TFrmErrorReport final : public QDialog {
    Q_OBJECT
public:
    explicit TFrmErrorReport(QWidget* Parent = nullptr);
    void LoadErrors(const QVector<TErrorItem>& Errors);

private:
    void btnCopyClick();

    QTreeWidget* FList = nullptr;
    QVector<TErrorItem> FErrors;
};

// Creates the dialog, shows it modally and destroys it after it closes.
void ShowErrorReport(const QVector<TErrorItem>& Errors, QWidget* Owner);
