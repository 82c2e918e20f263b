// The auto-tag command's windows: TFrmAutoTagPick, the modal "Results from
// Online Database" list of hits for one file, and TAutoTagDialogs, which
// shows it and the run's modal progress window for the command.
//
// The pick dialog's rules live in TAutoTagPickModel; the dialog only shows
// the model's rows and reports the selection and the button pressed.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QVector>

#include "app/lookup/auto_tag_command.h"
#include "app/lookup/auto_tag_pick.h"

class QLabel;
class QProgressDialog;
class QPushButton;
class QTreeWidget;

class TFrmAutoTagPick final : public QDialog {
    Q_OBJECT
public:
    explicit TFrmAutoTagPick(QWidget* Parent = nullptr);
    // The heading above the list ("Results for <path>").
    void SetHeading(const QString& Text);
    // Fills the list, shows the dialog modally; true with Pick set when OK
    // was pressed on a selected row.
    bool ExecutePick(const QVector<TMBReleaseCandidate>& Candidates, TMBReleaseCandidate& Pick);

private:
    void ApplyCaptions();
    void lvSelectionChanged();

    TAutoTagPickModel FModel;
    QLabel* Label1 = nullptr;
    QTreeWidget* lv = nullptr;
    QLabel* lblNote = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

class TAutoTagDialogs final : public IAutoTagUi {
public:
    explicit TAutoTagDialogs(QWidget* Owner) : FOwner(Owner) {}
    ~TAutoTagDialogs() override;

    void BeginProgress(int FileCount, std::function<void()> OnCancel) override;
    void ShowProgress(int FileIndex, const QString& Text) override;
    void EndProgress() override;
    bool PickCandidate(const QString& Heading, const QVector<TMBReleaseCandidate>& Candidates,
                       TMBReleaseCandidate& Pick) override;

private:
    QWidget* FOwner;
    QPointer<QProgressDialog> FProgress;
};

// Runs the auto-tag command over the window's selection with these windows
// (the main window's Auto-Tag command).
void RunAutoTag(TMainModel& Model, IUserInteraction& Ui, QWidget* Owner);

