#include "app/actions/preset_editing.h"

#include "app/actions/preset_store.h"
#include "app/settings/translation.h"
#include "app/user_interaction.h"

namespace {

const char* const kKindDisplay[kTagActionKindCount] = {
    "Trim spaces", "Upper case", "Lower case", "Title case", "Replace text", "Copy field", "Collapse spaces",
};
const char* const kFieldDisplay[kTagFieldCount] = {"Title", "Artist", "Album", "Year", "Track", "Genre", "Comment"};
const TTagActionKind kKindOrder[kTagActionKindCount] = {
    takTrimSpaces, takCollapseSpaces, takUpperCase, takLowerCase, takTitleCase, takReplaceText, takCopyField,
};

TTagField FieldAt(int Position) {
    return Position >= 0 && Position < kTagFieldCount ? static_cast<TTagField>(Position) : tfTitle;
}

}  // namespace

QString ActionKindDisplayName(TTagActionKind Kind) {
    return QLatin1String(kKindDisplay[Kind < kTagActionKindCount ? Kind : 0]);
}

QString TagFieldDisplayName(TTagField Field) {
    return QLatin1String(kFieldDisplay[Field < kTagFieldCount ? Field : 0]);
}

QString ActionLine(const TTagAction& A) {
    QString Line = ActionKindDisplayName(A.Kind) + QStringLiteral(" -> ") + TagFieldDisplayName(A.TargetField);
    if (A.Kind == takCopyField)
        Line += QStringLiteral(" (from ") + TagFieldDisplayName(A.SourceField) + QLatin1Char(')');
    else if (A.Kind == takReplaceText)
        Line +=
            QStringLiteral(" (\"") + A.SearchText + QStringLiteral("\" => \"") + A.ReplaceText + QStringLiteral("\")");
    return Line;
}

TTagActionKind KindAtPosition(int Position) {
    return Position >= 0 && Position < kTagActionKindCount ? kKindOrder[Position] : takTrimSpaces;
}

int PositionOfKind(TTagActionKind Kind) {
    for (int p = 0; p < kTagActionKindCount; ++p) {
        if (kKindOrder[p] == Kind) return p;
    }
    return 0;
}

QStringList KindListItems() {
    QStringList Items;
    for (TTagActionKind Kind : kKindOrder) Items.append(ActionKindDisplayName(Kind));
    return Items;
}

QStringList FieldListItems() {
    QStringList Items;
    for (const char* Name : kFieldDisplay) Items.append(QLatin1String(Name));
    return Items;
}

bool KindShowsSource(TTagActionKind Kind) { return Kind == takCopyField; }

bool KindShowsSearch(TTagActionKind Kind) { return Kind == takReplaceText; }

bool ActionFromEditor(int KindPosition, int TargetPosition, int SourcePosition, const QString& Search,
                      const QString& Replace, IUserInteraction& Ui, TTagAction& Action) {
    TTagAction A;
    A.Kind = KindAtPosition(KindPosition);
    A.TargetField = FieldAt(TargetPosition);
    A.SourceField = A.Kind == takCopyField ? FieldAt(SourcePosition) : tfTitle;
    if (A.Kind == takReplaceText) {
        A.SearchText = Search;
        A.ReplaceText = Replace;
        if (TrimSpaces(Search).isEmpty()) {
            Ui.Warn(Tr("Search text cannot be empty for \"Replace text\"."));
            return false;
        }
    }
    Action = A;
    return true;
}

// --- the actions editor's working copy ----------------------------------------

QStringList TPresetActionsList::Lines() const {
    QStringList L;
    for (const TTagAction& A : Actions) L.append(ActionLine(A));
    return L;
}

int TPresetActionsList::Add(const TTagAction& Action) {
    Actions.append(Action);
    return static_cast<int>(Actions.size()) - 1;
}

int TPresetActionsList::Replace(int Index, const TTagAction& Action) {
    if (Index < 0 || Index >= Actions.size()) return -1;
    Actions[Index] = Action;
    return Index;
}

int TPresetActionsList::Delete(int Index) {
    if (Index < 0 || Index >= Actions.size()) return -1;
    Actions.removeAt(Index);
    if (Actions.isEmpty()) return -1;
    return std::min(Index, static_cast<int>(Actions.size()) - 1);
}

int TPresetActionsList::MoveUp(int Index) {
    if (Index <= 0 || Index >= Actions.size()) return Index;
    std::swap(Actions[Index], Actions[Index - 1]);
    return Index - 1;
}

int TPresetActionsList::MoveDown(int Index) {
    if (Index < 0 || Index >= Actions.size() - 1) return Index;
    std::swap(Actions[Index], Actions[Index + 1]);
    return Index + 1;
}

// --- the preset list editor ----------------------------------------------------

TPresetListEditor::TPresetListEditor(TActionPresetStore& Store, IUserInteraction& Ui, TActionsEditor Editor)
    : FStore(Store), FUi(Ui), FEditor(std::move(Editor)) {
    Refill();
}

QStringList TPresetListEditor::Names() const {
    QStringList L;
    for (int i = 0; i < FStore.PresetCount(); ++i) L.append(FStore.PresetByIndex(i)->Name);
    return L;
}

void TPresetListEditor::Select(int Index) { FSelected = Index >= 0 && Index < FStore.PresetCount() ? Index : -1; }

bool TPresetListEditor::DefaultTicked() const {
    const TActionPreset* P = FStore.PresetByIndex(FSelected);
    return P && SameAsciiName(P->Name, FStore.LastPresetName());
}

void TPresetListEditor::SetDefaultTicked(bool Ticked) {
    const TActionPreset* P = FStore.PresetByIndex(FSelected);
    // There is always a default: clearing the box changes nothing.
    if (!P || !Ticked) return;
    FStore.SetLastPresetName(P->Name);
    SaveStore();
}

void TPresetListEditor::Refill() {
    FSelected = FStore.IndexOfName(FStore.LastPresetName());
    if (FSelected < 0 && FStore.PresetCount() > 0) FSelected = 0;
}

void TPresetListEditor::SelectName(const QString& Name) {
    Refill();
    const int Index = FStore.IndexOfName(Name);
    if (Index >= 0) FSelected = Index;
}

void TPresetListEditor::SaveStore() {
    QString Error;
    if (!FStore.Save(Error)) {
        FAllSaved = false;
        FUi.ShowError(Error);
    }
}

void TPresetListEditor::Add() {
    QString Name = QStringLiteral("New Preset");
    QVector<TTagAction> Actions;
    if (!FEditor(Name, Actions)) return;
    if (FStore.FindByName(Name)) {
        FUi.Warn(Tr("A preset with this name already exists."));
        return;
    }
    FStore.AddPreset({Name, Actions});
    SaveStore();
    SelectName(Name);
}

void TPresetListEditor::Edit() {
    TActionPreset* P = FStore.PresetByIndex(FSelected);
    if (!P) return;
    const QString OldName = P->Name;
    QString Name = OldName;
    QVector<TTagAction> Actions = P->Actions;
    if (!FEditor(Name, Actions)) return;
    P = FStore.PresetByIndex(FSelected);
    if (!SameAsciiName(Name, OldName) && FStore.FindByName(Name)) {
        FUi.Warn(Tr("A preset with this name already exists."));
        return;
    }
    P->Name = Name;
    P->Actions = Actions;
    if (SameAsciiName(FStore.LastPresetName(), OldName)) FStore.SetLastPresetName(Name);
    SaveStore();
    SelectName(Name);
}

void TPresetListEditor::Delete() {
    const TActionPreset* P = FStore.PresetByIndex(FSelected);
    if (!P) return;
    const QString Name = P->Name;
    if (!FUi.Confirm(FormatTr("Delete preset \"%s\"?", {Name}))) return;
    FStore.DeletePresetByIndex(FSelected);
    if (SameAsciiName(FStore.LastPresetName(), Name))
        FStore.SetLastPresetName(FStore.PresetCount() > 0 ? FStore.PresetByIndex(0)->Name : QString());
    if (FStore.PresetCount() == 0) FStore.CreateDefaultPresets();
    SaveStore();
    Refill();
}
