// The rules of the preset editors, without their widgets.
//
// TPresetListEditor works on the store in place and saves it after every
// change (add, edit, delete, default choice). A save that fails is shown to
// the user; the change stays in memory and AllSaved() turns false, so the
// window does not read the file back over it when the editor closes.
// TPresetActionsList is the actions editor's working copy of one preset's
// actions. The free functions are the single-action dialog's rules: its
// kind order, which inputs a kind shows, and the action its OK gives.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "app/actions/tag_action.h"

class TActionPresetStore;
class IUserInteraction;

// Display names (not translated): "Trim spaces" ..., "Title" ...
QString ActionKindDisplayName(TTagActionKind Kind);
QString TagFieldDisplayName(TTagField Field);
// One line of the actions list: Replace text -> Title ("_" => " ").
QString ActionLine(const TTagAction& Action);

// The kind list of "Edit Action": Trim, Collapse, Upper, Lower, Title,
// Replace, Copy. A position without a kind (-1) stands for takTrimSpaces.
TTagActionKind KindAtPosition(int Position);
int PositionOfKind(TTagActionKind Kind);
QStringList KindListItems();
QStringList FieldListItems();
bool KindShowsSource(TTagActionKind Kind);
bool KindShowsSearch(TTagActionKind Kind);
// OK of "Edit Action" from the controls' state. False (after a warning)
// for a replace action whose search text is blank.
bool ActionFromEditor(int KindPosition, int TargetPosition, int SourcePosition, const QString& Search,
                      const QString& Replace, IUserInteraction& Ui, TTagAction& Action);

class TPresetActionsList {
public:
    QVector<TTagAction> Actions;

    QStringList Lines() const;
    // Each returns the line to select afterwards (-1: none).
    int Add(const TTagAction& Action);
    int Replace(int Index, const TTagAction& Action);
    int Delete(int Index);
    int MoveUp(int Index);
    int MoveDown(int Index);
};

class TPresetListEditor {
public:
    // Runs the actions editor on a name and actions (in-out); true on OK.
    using TActionsEditor = std::function<bool(QString& Name, QVector<TTagAction>& Actions)>;

    TPresetListEditor(TActionPresetStore& Store, IUserInteraction& Ui, TActionsEditor Editor);

    QStringList Names() const;
    int Selected() const { return FSelected; }
    void Select(int Index);
    // The check box "Default (button click)".
    bool DefaultTicked() const;
    // The user ticks (true) or clears (false) the check box.
    void SetDefaultTicked(bool Ticked);
    void Add();
    void Edit();
    void Delete();
    bool AllSaved() const { return FAllSaved; }

private:
    void Refill();
    void SelectName(const QString& Name);
    void SaveStore();

    TActionPresetStore& FStore;
    IUserInteraction& FUi;
    TActionsEditor FEditor;
    int FSelected = -1;
    bool FAllSaved = true;
};
