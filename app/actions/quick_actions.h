// TQuickActions: the quick-action command of the main window.
//
// Chooses the preset to run (the last one for the tool button, Ctrl+Q and
// the list's pop-up item; a named one from the preset menu), runs it over
// the selected files as one undo step through the window model, remembers
// it as the last preset in the store and saves the tags. It also describes
// the preset menu (one item per preset, the default in bold, then the
// editor item), which the window turns into menus whenever MenuChanged is
// emitted. The store and the model are not owned.
#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

class TActionPresetStore;
class TMainModel;

struct TPresetMenuItem {
    QString Name;  // the preset's name, shown as it is (no accelerators)
    bool IsDefault = false;
};

class TQuickActions final : public QObject {
    Q_OBJECT
public:
    // Opens the preset editor on the store (the window's dialog; tests
    // pass their own); false when a change could not be saved.
    using TEditorRunner = std::function<bool(TActionPresetStore&)>;

    TQuickActions(TMainModel& Model, TActionPresetStore* Store, QObject* Parent = nullptr);

    void SetEditorRunner(TEditorRunner Runner) { FEditorRunner = std::move(Runner); }
    QVector<TPresetMenuItem> MenuItems() const;

    // Tool button, Ctrl+Q, pop-up item: the last preset.
    void RunLastPreset();
    // A preset item of the menu: the preset of that name.
    void RunPreset(const QString& Name);
    // The menu's "Preset Editor..." item; the store is read back afterwards.
    void OpenPresetEditor();

signals:
    void MenuChanged();

private:
    void Run(const QString& Name);

    TMainModel& FModel;
    TActionPresetStore* FStore;
    TEditorRunner FEditorRunner;
};
