// The three preset dialogs, built in code: the preset list editor, the
// actions editor of one preset, and "Edit Action" for one action.
//
// The widgets only show and collect; the rules (unique names, the default
// preset, the action list's moves, the action an OK gives) live in
// TPresetListEditor, TPresetActionsList and ActionFromEditor. Messages go
// through the IUserInteraction given (the main window).
#pragma once

#include <QDialog>
#include <QVector>
#include <memory>

#include "app/actions/preset_editing.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class TActionPresetStore;
class IUserInteraction;

// Shows and hides the inputs of "Edit Action" for the chosen kind.
class TActionEditVisibilityHelper {
public:
    QComboBox* cbKind = nullptr;
    QLabel* lblSource = nullptr;
    QComboBox* cbSource = nullptr;
    QLabel* lblSearch = nullptr;
    QLineEdit* edtSearch = nullptr;
    QLabel* lblReplace = nullptr;
    QLineEdit* edtReplace = nullptr;
    void UpdateVisibility();
};

class TFrmEditAction final : public QDialog {
    Q_OBJECT
public:
    TFrmEditAction(QWidget* Owner, const TTagAction& Action);
    // The action of the controls; false (after a warning) when refused.
    bool TakeAction(IUserInteraction& Ui, TTagAction& Action) const;
    static bool Execute(QWidget* Owner, TTagAction& Action, IUserInteraction& Ui);

private:
    TActionEditVisibilityHelper FHelper;
    QComboBox* cbTarget = nullptr;
};

class TFrmPresetActionsEditor final : public QDialog {
    Q_OBJECT
public:
    TFrmPresetActionsEditor(QWidget* Owner, const QString& Name, const QVector<TTagAction>& Actions,
                            IUserInteraction& Ui);
    // Name and Actions are in-out; true on an OK with a non-empty name.
    static bool ExecuteEditor(QWidget* Owner, QString& PresetName, QVector<TTagAction>& Actions, IUserInteraction& Ui);

private:
    void Refill(int Select);
    int Current() const;

    IUserInteraction& FUi;
    TPresetActionsList FActions;
    QLineEdit* edtName = nullptr;
    QListWidget* lbItems = nullptr;
};

class TFrmPresetEditor final : public QDialog {
    Q_OBJECT
public:
    TFrmPresetEditor(QWidget* Owner, TActionPresetStore& Store, IUserInteraction& Ui);
    ~TFrmPresetEditor() override;
    // Shows the editor modally; false when a change could not be saved.
    static bool ExecuteEditor(QWidget* Owner, TActionPresetStore& Store, IUserInteraction& Ui);
    bool AllSaved() const { return FEditor->AllSaved(); }

private:
    void Refill();
    void UpdateCheckBox();

    std::unique_ptr<TPresetListEditor> FEditor;
    QListWidget* lbItems = nullptr;
    QCheckBox* chkDefault = nullptr;
};
