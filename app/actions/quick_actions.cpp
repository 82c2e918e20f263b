#include "app/actions/quick_actions.h"

#include "app/actions/preset_store.h"
#include "app/main_model.h"
#include "app/settings/translation.h"

TQuickActions::TQuickActions(TMainModel& Model, TActionPresetStore* Store, QObject* Parent)
    : QObject(Parent), FModel(Model), FStore(Store) {}

QVector<TPresetMenuItem> TQuickActions::MenuItems() const {
    QVector<TPresetMenuItem> Items;
    if (!FStore) return Items;
    for (int i = 0; i < FStore->PresetCount(); ++i) {
        const QString& Name = FStore->PresetByIndex(i)->Name;
        Items.append({Name, SameAsciiName(Name, FStore->LastPresetName())});
    }
    return Items;
}

void TQuickActions::RunLastPreset() {
    if (FStore) Run(FStore->LastPresetName());
}

void TQuickActions::RunPreset(const QString& Name) {
    if (FStore) Run(Name);
}

void TQuickActions::OpenPresetEditor() {
    if (!FStore || !FEditorRunner) return;
    // Read the file back (normalised), unless it lacks a change the editor
    // could not save: reading it would throw that change away.
    if (FEditorRunner(*FStore)) {
        QString Error;
        if (!FStore->Load(Error)) FModel.Ui().ShowError(Error);
    }
    emit MenuChanged();
}

void TQuickActions::Run(const QString& RawName) {
    const QString Name = TrimSpaces(RawName);
    if (Name.isEmpty()) return;
    const TActionPreset* Preset = FStore->FindByName(Name);
    if (!Preset) {
        FModel.Ui().Warn(Tr("Preset not found: ") + Name);
        return;
    }
    if (Preset->Actions.isEmpty()) {
        FModel.Ui().Inform(Tr("Preset has no actions: ") + Name);
        return;
    }
    const QVector<TTagAction> Actions = Preset->Actions;
    FModel.ApplyToSelectedRecords([&Actions](const QString&, TAudioTag& Tag) {
        ApplyActions(Tag, Actions);
        return true;  // marked modified even when nothing changed
    });
    FStore->SetLastPresetName(Name);
    QString Error;
    if (!FStore->Save(Error)) {
        FModel.Ui().ShowError(Error);
        return;
    }
    emit MenuChanged();
    FModel.Save();
}
