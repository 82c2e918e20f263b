#include "app/commands.h"

#include "app/actions/preset_store.h"
#include "app/actions/quick_actions.h"
#include "app/file_ops/file_commands.h"
#include "app/file_ops/list_export.h"
#include "app/main_model.h"

namespace {

const std::vector<TCommandInfo> kCommands = {
    // Folder
    {"actRescan", "Rescan", "Rescan", nullptr},
    {"actNewFolder", "New...", "New folder...", nullptr},
    {"actRenameFolder", "Rename...", "Rename...", nullptr},
    // File
    {"actRenameFile", "Rename...", "Rename File...", "F2"},
    {"actTagToName", "Tag to Name...", "Tag to Name...", nullptr},
    {"actCopyFiles", "Copy File(s)...", "Copy File(s)...", nullptr},
    {"actMoveFiles", "Move File(s)...", "Move File(s)...", nullptr},
    {"actDeleteFiles", "Delete File(s)...", "Delete File(s)...", nullptr},
    {"actExportCsv", "Export List as CSV...", nullptr, nullptr},
    {"actExportM3u8", "Export List as Playlist (M3U8)...", nullptr, nullptr},
    // Tags
    {"actSave", "Save", "Save Tags", "Ctrl+S"},
    {"actRemove", "Remove", "Remove Tags", "Ctrl+R"},
    {"actUndo", "Undo", "Undo", "Ctrl+Z"},
    {"actAutoTag", "Auto-Tag...", "Fill tags from online database (MusicBrainz)", nullptr},
    {"actQuickAction", "Quick Action", "Quick Action", "Ctrl+Q"},
    {"actTagsFromNames", "Tags from File Names...", nullptr, nullptr},
    {"actAllFields", "All Fields...", nullptr, nullptr},
    {"actPictures", "Pictures...", nullptr, nullptr},
    // The list's pop-up menu
    {"actPlay", "Play", "Play Audio", nullptr},
    {"actPopupRemoveTags", "Remove Tags", nullptr, nullptr},
    {"actPopupRenameFile", "Rename File...", nullptr, nullptr},
    // View and Help
    {"actShowFolders", "Show Folders Tree", nullptr, nullptr},
    {"actTutorial", "Tutorial", nullptr, nullptr},
    {"actContact", "Contact Us", nullptr, nullptr},
    {"actWebsite", "Visit Website", nullptr, nullptr},
    {"actAbout", "About...", "About...", nullptr},
    // The preset menu's last item
    {"actPresetEditor", "Preset Editor...", nullptr, nullptr},
};

QStringList L(std::initializer_list<const char*> Items) {
    QStringList Out;
    for (const char* I : Items) Out.append(QLatin1String(I));
    return Out;
}

}  // namespace

const std::vector<TCommandInfo>& CommandTable() { return kCommands; }

const TCommandInfo* FindCommand(const QString& Name) {
    for (const TCommandInfo& C : kCommands) {
        if (Name == QLatin1String(C.Name)) return &C;
    }
    return nullptr;
}

const std::vector<TMenuInfo>& MainMenus() {
    static const std::vector<TMenuInfo> Menus = {
        {"mmFolder", "Folder", L({"actRescan", "-", "actNewFolder", "actRenameFolder"})},
        {"mmFile", "File",
         L({"actRenameFile", "actTagToName", "-", "actCopyFiles", "actMoveFiles", "actDeleteFiles", "-", "actExportCsv",
            "actExportM3u8"})},
        {"mmTags", "Tags",
         L({"actSave", "actRemove", "actUndo", "-", "actAllFields", "actPictures", "-", "actAutoTag",
            "actTagsFromNames", "-", "menu:mmQuickAction"})},
        {"mmView", "View", L({"actShowFolders", "-", "menu:mmLanguage"})},
        {"mmHelp", "Help", L({"actTutorial", "-", "actContact", "actWebsite", "-", "actAbout"})},
    };
    return Menus;
}

const std::vector<TMenuInfo>& SubMenus() {
    static const std::vector<TMenuInfo> Menus = {
        {"mmQuickAction", "Quick Action", {}, " [Ctrl+Q]"},
        {"mmLanguage", "Language", {}},
    };
    return Menus;
}

QStringList ListPopupItems() {
    return L({"actPlay", "-", "actPopupRemoveTags", "actAllFields", "actPictures", "actAutoTag", "actQuickAction", "-",
              "actPopupRenameFile", "actTagToName", "-", "actCopyFiles", "actMoveFiles", "actDeleteFiles"});
}

std::vector<QStringList> ToolbarGroups() {
    return {
        L({"actNewFolder", "actRenameFolder", "actRescan"}),
        L({"actPlay", "actSave", "actUndo", "actRemove", "actAutoTag", "actQuickAction"}),
        L({"actRenameFile", "actTagToName", "actCopyFiles", "actMoveFiles", "actDeleteFiles"}),
        L({"actAbout"}),
    };
}

QStringList WindowCommands() {
    // Auto-Tag shows its own pick and progress windows, Tags from File Names
    // its preview; All Fields and Pictures are windows of their own.
    return L({"actShowFolders", "actAutoTag", "actTagsFromNames", "actAllFields", "actPictures"});
}

TCommands::TCommands(TMainModel& Model, const QString& PresetFile)
    : FModel(Model),
      FFiles(std::make_unique<TFileCommands>(Model)),
      FStore(std::make_unique<TActionPresetStore>(PresetFile)),
      FQuickActions(std::make_unique<TQuickActions>(Model, FStore.get())) {}

TCommands::~TCommands() = default;

bool TCommands::LoadPresets(QString& Error) { return FStore->Load(Error); }

std::function<void()> TCommands::Handler(const QString& Name) {
    TMainModel* M = &FModel;
    TFileCommands* F = FFiles.get();
    TQuickActions* Q = FQuickActions.get();
    const std::vector<std::pair<const char*, std::function<void()>>> Handlers = {
        {"actRescan", [M] { M->Rescan(); }},
        {"actNewFolder", [F] { F->NewFolder(); }},
        {"actRenameFolder", [F] { F->RenameFolder(); }},
        {"actRenameFile", [F] { F->RenameFile(); }},
        {"actPopupRenameFile", [F] { F->RenameFile(); }},
        {"actTagToName", [F] { F->TagToName(); }},
        {"actCopyFiles", [F] { F->CopyFiles(); }},
        {"actMoveFiles", [F] { F->MoveFiles(); }},
        {"actDeleteFiles", [F] { F->DeleteFiles(); }},
        {"actExportCsv", [M] { TListExport(*M).Export(TExportFormat::Csv); }},
        {"actExportM3u8", [M] { TListExport(*M).Export(TExportFormat::M3u8); }},
        {"actSave", [M] { M->Save(); }},
        {"actRemove", [M] { M->Remove(); }},
        {"actPopupRemoveTags", [M] { M->Remove(); }},
        {"actUndo", [M] { M->Undo(); }},
        {"actQuickAction", [Q] { Q->RunLastPreset(); }},
        {"actPresetEditor", [Q] { Q->OpenPresetEditor(); }},
        {"actPlay", [M] { M->Play(); }},
        {"actTutorial", [M] { M->OpenTutorial(); }},
        {"actContact", [M] { M->OpenContactPage(); }},
        {"actWebsite", [M] { M->OpenWebsite(); }},
        {"actAbout", [M] { M->About(); }},
    };
    for (const auto& [Command, Run] : Handlers) {
        if (Name == QLatin1String(Command)) return Run;
    }
    return {};
}
