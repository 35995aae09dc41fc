#include "app/logic/command_ids.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace tessvale {
namespace {

constexpr auto kMenuLabels = std::to_array<std::pair<int, std::string_view>>({
    {kIdStart, "Start"},
    {kIdAutoScan, "AutoScan"},
    {kIdStop, "Stop"},
    {kIdSave, "Save"},
    {kIdSaveAs, "Save As..."},
    {kIdInstallFolder, "Installation Folder"},
    {kIdDataFolder, "Data Folder"},
    {kIdCancel, "Exit"},
    {kIdRescan, "Rescan"},
    {kIdWakeOnLan, "Wake-on-LAN"},
    {kIdCopy, "Copy"},
    {kIdRemoteDesktop, "Remote Desktop"},
    {kIdWeb, "Web(http)"},
    {kIdDelete, "Delete"},
    {kIdDeleteAll, "Delete All"},
    {kIdDrawChart, "Draw Flow Chart"},
    {kIdSettings, "Settings"},
    {kIdFavorites, "Favorites Management"},
    {kIdHome, "Home"},
    {kIdFeedback, "Feedback"},
    {kIdFaceBook, "FaceBook"},
    {kIdCheckUpdates, "Check for Updates"},
    {kIdAbout, "About"},
    {kIdTrayShow, "Show"},
    {kIdTrayExit, "Exit"},
    {kIdProperties, "Properties"},
    {kIdCopyIp, "Copy IP"},
    {kIdCopyMac, "Copy MAC"},
    {kIdCopyName, "Copy Name"},
    {kIdWebHttps, "Web(https)"},
    {kIdSsh, "SSH"},
    {kIdPing, "Ping"},
    {kIdTrayStart, "Start scan"},
    {kIdTrayStop, "Stop"},
});

} // namespace

std::string MenuLabel(int commandId)
{
    const auto entry = std::ranges::find(kMenuLabels, commandId, &std::pair<int, std::string_view>::first);
    return entry == kMenuLabels.end() ? std::string() : std::string(entry->second);
}

} // namespace tessvale
