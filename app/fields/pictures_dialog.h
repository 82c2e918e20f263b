// TFrmPictures: the modal "Pictures" window over the selected files, with a
// preview of the selected picture, and TFrmPictureProperties, its window for
// a picture's type and description.
//
// The rows and the commands are TPictureListModel's; the window shows them
// and asks for files. Every change is an edit of the records (undone with
// Undo, written by Save); the editor's cover follows the record's cover.
#pragma once

#include <QDialog>

#include "app/fields/picture_list_model.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

class TFrmPictureProperties final : public QDialog {
    Q_OBJECT
public:
    TFrmPictureProperties(const QString& Title, uint32_t Type, const QString& Description, QWidget* Parent = nullptr);
    uint32_t Type() const;
    QString Description() const;

private:
    QComboBox* cbType = nullptr;
    QLineEdit* edtDescription = nullptr;
};

class TFrmPictures final : public QDialog {
    Q_OBJECT
public:
    TFrmPictures(TMainModel& Main, QWidget* Parent = nullptr);
    TPictureListModel& Model() { return FModel; }
    // The main window's command (pending editor text applied first).
    static void Execute(TMainModel& Main, QWidget* Parent);

private:
    void ApplyCaptions();
    void UpdateButtons();
    int CurrentRow() const;
    void AddPicture();
    void ReplacePicture();
    void EditProperties();
    void RemovePictures();
    void SavePicture();

    TMainModel& FMain;
    TPictureListModel FModel;
    QLabel* lblFiles = nullptr;
    QTreeView* lvPictures = nullptr;
    QLabel* imgPreview = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnReplace = nullptr;
    QPushButton* btnProperties = nullptr;
    QPushButton* btnRemove = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClose = nullptr;
};
