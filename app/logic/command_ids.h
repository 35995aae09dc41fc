// Command ids of the main window: menus, toolbar, buttons and the tray menu all send
// these, and one dispatcher switches on them.
#pragma once

#include <string>

#include "scan/scan_window.h"

namespace tessvale {

enum CommandId : int
{
    kIdOk = 1,
    kIdCancel = 2,
    kIdAboutBox = 16,
    kIdLookupButton = 1007,
    kIdStart = 32771,
    kIdStop = kCommandStop, // the engine asks the window to stop with it
    kIdSaveAs = 32773,
    kIdRescan = 32775,
    kIdWakeOnLan = 32776,
    kIdCopy = 32778,
    kIdRemoteDesktop = 32779,
    kIdWeb = 32781,
    kIdSettings = 32783,
    kIdFavorites = 32784,
    kIdAbout = 32785,
    kIdHome = 32786,
    kIdSave = 32790,
    kIdDelete = 32794,
    kIdDeleteAll = 32795,
    kIdAutoScan = 32796,
    kIdTrayShow = 32797,
    kIdTrayExit = 32798,
    kIdFeedback = 32801,
    kIdInstallFolder = 32802,
    kIdDataFolder = 32805,
    kIdDrawChart = 32806,
    kIdFaceBook = 32807,
    kIdCheckUpdates = 32809,
    kIdExportChanges = 32810,
    kIdProperties = 32811,
    kIdCopyIp = 32812,
    kIdCopyMac = 32813,
    kIdCopyName = 32814,
    kIdWebHttps = 32815,
    kIdSsh = 32816,
    kIdPing = 32817,
    kIdTrayStart = 32818,
    kIdTrayStop = 32819,
};

// The menu label of a command id ("Start", "Save As...", ...), English; empty when the
// id has no menu entry.
std::string MenuLabel(int commandId);

// How often the main window looks for a new version.
inline constexpr int kUpdateTimerPeriodMs = 1'800'000;

} // namespace tessvale
