#include "app/logic/command_table.h"

#include <algorithm>
#include <array>

#include "app/logic/command_ids.h"

namespace tessvale {
namespace {

constexpr PlacedCommand kSeparator{};

// Window-wide keys; an address or lookup entry with the focus keeps its own Ctrl+C,
// Ctrl+A and Delete. Esc is the window's own.
constexpr std::array kFileMenu = {
    PlacedCommand{kIdStart, "startMenuAction", "F5"},
    PlacedCommand{kIdAutoScan, "autoScanMenuAction"},
    PlacedCommand{kIdStop, "stopMenuAction"},
    kSeparator,
    PlacedCommand{kIdSave, "saveMenuAction", "Ctrl+S"},
    PlacedCommand{kIdSaveAs, "saveAsMenuAction", "Ctrl+Shift+S"},
    kSeparator,
    PlacedCommand{kIdExportChanges, "exportChangesMenuAction"},
    kSeparator,
    PlacedCommand{kIdInstallFolder, "installFolderMenuAction"},
    PlacedCommand{kIdDataFolder, "dataFolderMenuAction"},
    kSeparator,
    PlacedCommand{kIdCancel, "exitMenuAction"},
};

// The list's context menu as well.
constexpr std::array kActionsMenu = {
    PlacedCommand{kIdRescan, "rescanMenuAction"},
    kSeparator,
    PlacedCommand{kIdProperties, "propertiesMenuAction", "Alt+Return"},
    kSeparator,
    PlacedCommand{kIdWakeOnLan, "wakeOnLanMenuAction"},
    kSeparator,
    PlacedCommand{kIdCopy, "copyMenuAction", "Ctrl+C"},
    PlacedCommand{kIdCopyIp, "copyIpMenuAction"},
    PlacedCommand{kIdCopyMac, "copyMacMenuAction"},
    PlacedCommand{kIdCopyName, "copyNameMenuAction"},
    kSeparator,
    PlacedCommand{kIdRemoteDesktop, "remoteDesktopMenuAction"},
    PlacedCommand{kIdWeb, "webMenuAction"},
    PlacedCommand{kIdWebHttps, "webHttpsMenuAction"},
    PlacedCommand{kIdSsh, "sshMenuAction"},
    PlacedCommand{kIdPing, "pingMenuAction"},
    kSeparator,
    PlacedCommand{kIdDelete, "deleteMenuAction", "Del"},
    PlacedCommand{kIdDeleteAll, "deleteAllMenuAction"},
    kSeparator,
    PlacedCommand{kIdDrawChart, "drawChartMenuAction"},
};

constexpr std::array kOptionsMenu = {
    PlacedCommand{kIdSettings, "settingsMenuAction"},
    PlacedCommand{kIdFavorites, "favoritesMenuAction"},
};

constexpr std::array kHelpMenu = {
    PlacedCommand{kIdHome, "homeMenuAction"},         PlacedCommand{kIdFeedback, "feedbackMenuAction"},
    PlacedCommand{kIdFaceBook, "faceBookMenuAction"}, PlacedCommand{kIdCheckUpdates, "checkUpdatesMenuAction"},
    PlacedCommand{kIdAbout, "aboutMenuAction"},
};

// In the order of the toolbar's labels in the string table, separators included.
constexpr std::array kToolBar = {
    PlacedCommand{kIdStart, "startAction"},
    PlacedCommand{kIdAutoScan, "autoScanAction"},
    PlacedCommand{kIdStop, "stopAction"},
    kSeparator,
    PlacedCommand{kIdSettings, "settingsAction"},
    PlacedCommand{kIdFavorites, "favoritesAction"},
    kSeparator,
    PlacedCommand{kIdSaveAs, "saveAsAction"},
    PlacedCommand{kIdSave, "saveAction"},
};

constexpr std::array kTrayMenu = {
    PlacedCommand{kIdTrayShow, "showTrayAction"},
    PlacedCommand{kIdTrayStart, "startTrayAction"},
    PlacedCommand{kIdTrayStop, "stopTrayAction"},
    PlacedCommand{kIdTrayExit, "exitTrayAction"},
};

struct Placed
{
    CommandPlace place;
    std::span<const PlacedCommand> commands;
};

constexpr std::array kPlaces = {
    Placed{CommandPlace::FileMenu, kFileMenu},       Placed{CommandPlace::ActionsMenu, kActionsMenu},
    Placed{CommandPlace::OptionsMenu, kOptionsMenu}, Placed{CommandPlace::HelpMenu, kHelpMenu},
    Placed{CommandPlace::ToolBar, kToolBar},         Placed{CommandPlace::TrayMenu, kTrayMenu},
};

struct Enabling
{
    int id;
    EnabledWhen when;
};

// Every command not named here is always enabled.
constexpr std::array kEnabling = {
    Enabling{kIdStart, EnabledWhen::Idle},
    Enabling{kIdTrayStart, EnabledWhen::Idle},
    Enabling{kIdStop, EnabledWhen::Scanning},
    Enabling{kIdTrayStop, EnabledWhen::Scanning},
    Enabling{kIdAutoScan, EnabledWhen::AutoScanAllowed},
    Enabling{kIdRescan, EnabledWhen::RowAndIdle},
    Enabling{kIdProperties, EnabledWhen::Row},
    Enabling{kIdWakeOnLan, EnabledWhen::Row},
    Enabling{kIdRemoteDesktop, EnabledWhen::Row},
    Enabling{kIdWeb, EnabledWhen::Row},
    Enabling{kIdDelete, EnabledWhen::Row},
    Enabling{kIdCopyIp, EnabledWhen::Row},
    Enabling{kIdCopyMac, EnabledWhen::Row},
    Enabling{kIdCopyName, EnabledWhen::Row},
    Enabling{kIdWebHttps, EnabledWhen::Row},
    Enabling{kIdSsh, EnabledWhen::Row},
    Enabling{kIdPing, EnabledWhen::Row},
    Enabling{kIdDeleteAll, EnabledWhen::ListNotEmpty},
};

} // namespace

std::span<const PlacedCommand> CommandsOf(CommandPlace place)
{
    const auto* found = std::ranges::find(kPlaces, place, &Placed::place);
    return found == kPlaces.end() ? std::span<const PlacedCommand>() : found->commands;
}

EnabledWhen EnablingOf(int commandId)
{
    const auto* found = std::ranges::find(kEnabling, commandId, &Enabling::id);
    return found == kEnabling.end() ? EnabledWhen::Always : found->when;
}

bool CommandEnabled(int commandId, const ScanState& state, bool rowSelected, int rowCount)
{
    switch (EnablingOf(commandId)) {
    case EnabledWhen::Always:
        return true;
    case EnabledWhen::Idle:
        return state.MenuStartEnabled();
    case EnabledWhen::Scanning:
        return state.MenuStopEnabled();
    case EnabledWhen::AutoScanAllowed:
        return state.MenuAutoScanEnabled();
    case EnabledWhen::RowAndIdle:
        return rowSelected && state.MenuRescanEnabled();
    case EnabledWhen::Row:
        return rowSelected;
    case EnabledWhen::ListNotEmpty:
        return rowCount > 0;
    }
    return true;
}

} // namespace tessvale
