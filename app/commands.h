// The main window's command set: every command's caption, tool tip and
// shortcut, where it sits in the menus, the toolbar and the list's pop-up
// menu, and what it runs.
//
// This is the one place that says which commands exist. The window builds
// its actions, menus and toolbar from these tables and binds each action to
// TCommands::Handler(Name); a command set that adds a command adds one row
// to kCommands, its name to a menu list and its handler to Handler().
// Captions are English; the window shows them through the translation table.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class TActionPresetStore;
class TFileCommands;
class TMainModel;
class TQuickActions;

struct TCommandInfo {
    const char* Name;      // object name of the action, "actSave"
    const char* Caption;   // menu caption
    const char* ToolTip;   // toolbar tool tip; nullptr when not on the toolbar
    const char* Shortcut;  // key sequence in portable text, nullptr for none
};

// Every command, in no particular order.
const std::vector<TCommandInfo>& CommandTable();
const TCommandInfo* FindCommand(const QString& Name);

// A menu: its object name, English title and items. An item is a command
// name, "-" for a separator, or "menu:<name>" for a submenu built by its own
// command set (the quick-action presets, the languages).
struct TMenuInfo {
    const char* Name;
    const char* Title;
    QStringList Items;
    const char* TitleSuffix = nullptr;  // appended after translation
};
const std::vector<TMenuInfo>& MainMenus();
// The submenus that "menu:<name>" items refer to.
const std::vector<TMenuInfo>& SubMenus();
// The file list's pop-up menu.
QStringList ListPopupItems();
// The toolbar: groups of command names, separated by bars.
std::vector<QStringList> ToolbarGroups();
// Commands the window itself carries out (showing the folder tree).
QStringList WindowCommands();

// The commands that live outside the window model, bound to one model.
class TCommands {
public:
    TCommands(TMainModel& Model, const QString& PresetFile);
    ~TCommands();

    // What a command runs; empty for an unknown name or a window command.
    std::function<void()> Handler(const QString& Name);

    TFileCommands& Files() { return *FFiles; }
    TQuickActions& QuickActions() { return *FQuickActions; }
    TActionPresetStore& PresetStore() { return *FStore; }
    // Loads the preset store; false with Error when the file could not be
    // read or written (the presets in memory are then still usable).
    bool LoadPresets(QString& Error);

private:
    TMainModel& FModel;
    std::unique_ptr<TFileCommands> FFiles;
    std::unique_ptr<TActionPresetStore> FStore;
    std::unique_ptr<TQuickActions> FQuickActions;
};
