// The main window's command table: where each command sits (the four menus, the
// toolbar, the tray menu), the name of its entry, its key, and when it is enabled.
// The window builds its menus, toolbar, tray menu and keys from it. No Qt.
#pragma once

#include <span>

#include "app/logic/scan_state.h"

namespace tessvale {

enum class CommandPlace
{
    FileMenu,
    ActionsMenu,
    OptionsMenu,
    HelpMenu,
    ToolBar,
    TrayMenu,
};

// When a menu entry is enabled. The toolbar follows the scan controls instead.
enum class EnabledWhen
{
    Always,          // never disabled
    Idle,            // no scan runs
    Scanning,        // a scan runs
    AutoScanAllowed, // the AutoScan setting allows one and no range scan or AutoScan runs
    RowAndIdle,      // a row is selected and no scan runs
    Row,             // a row is selected
    ListNotEmpty,    // the list holds rows
};

// One entry of a place; id 0 is a separator.
struct PlacedCommand
{
    int id = 0;
    const char* objectName = nullptr; // the entry's name (tests and the layout find it by it)
    const char* shortcut = nullptr;   // the key in Qt's portable form ("Ctrl+S"), or none
};

// The entries of a place in their order.
std::span<const PlacedCommand> CommandsOf(CommandPlace place);

// When the menu entry of a command is enabled.
EnabledWhen EnablingOf(int commandId);

// Whether the menu entry of a command is enabled now.
bool CommandEnabled(int commandId, const ScanState& state, bool rowSelected, int rowCount);

} // namespace tessvale
