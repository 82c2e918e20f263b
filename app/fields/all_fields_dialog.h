// TFrmAllFields: the modal "All Fields" window over the selected files, and
// TFrmFieldEdit, its window for one field's name and values.
//
// The rows and the commands are TAllFieldsModel's; the window shows the
// rows and asks for names and values. Every change is an edit of the
// records (undone with Undo, written by Save) like an edit in the editor.
#pragma once

#include <QDialog>

#include "app/fields/all_fields_model.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

class TFrmFieldEdit final : public QDialog {
    Q_OBJECT
public:
    // For a new field (Name empty and editable) or an existing one, shown
    // as Name; KeyName is the field's own name, which tells whether it is
    // edited as one text.
    TFrmFieldEdit(const QString& Name, const QString& KeyName, const QStringList& Values, bool NameEditable,
                  QWidget* Parent = nullptr);
    QString Name() const;
    QStringList Values() const;

private:
    void UpdateMode();

    QLineEdit* edtName = nullptr;
    QLabel* lblValues = nullptr;
    QPlainTextEdit* memValues = nullptr;
    bool FOneText = false;
    QStringList FLoaded;
};

class TFrmAllFields final : public QDialog {
    Q_OBJECT
public:
    TFrmAllFields(TMainModel& Main, QWidget* Parent = nullptr);
    TAllFieldsModel& Model() { return FModel; }
    // The main window's command: pending editor text is applied first, so
    // the list shows it; with no file selected the user is told so.
    static void Execute(TMainModel& Main, QWidget* Parent);

private:
    void ApplyCaptions();
    void UpdateButtons();
    QVector<int> SelectedRows() const;
    void AddField();
    void EditField();
    void DeleteFields();

    TMainModel& FMain;
    TAllFieldsModel FModel;
    QLabel* lblFiles = nullptr;
    QTreeView* lvFields = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnClose = nullptr;
};
