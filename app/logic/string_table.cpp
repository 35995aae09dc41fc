#include "app/logic/string_table.h"

#include <map>
#include <mutex>
#include <utility>

#include "app/logic/command_ids.h"

namespace tessvale {
namespace {

const std::map<int, std::string>& Table()
{
    static const std::map<int, std::string> table = {
        {IDS_ABOUTBOX, "&About Tessvale..."},
        {IDS_TOOLBAR, "Start|AutoScan|Stop| |Settings|Favorites| |Save As|Save|"},
        {IDS_STATUS, "Status:"},
        {IDS_LIST_HEADERS, "Status|IP|MAC|Host Name|CPU|RAM Size/MB|Share File|SystemVer|NetCard Type|NetCard Vendor|"},
        {IDS_FAVORITES_HEADERS, "Name|IP Range|"},
        {IDS_PROCESS, "Process"},
        {IDS_SCANNING, "Status: Scanning %s..."},
        {IDS_START_SCAN, "Status: Start Scan..."},
        {IDS_SCAN_DONE, "Status: The scanning accomplished."},
        {IDS_SCAN_STOPPED, "Status: The scanning stopped."},
        {IDS_CONFIRM_DELETE, "Are you sure to delete it?"},
        {IDS_ENTER_RANGE, "Please enter the IP range"},
        {IDS_FILE_EXISTS, "The file already exists. Do you want to overwrite it?"},
        {IDS_SAVED, "Status: Saved successfully."},
        {IDS_ONLINE_OFFLINE, "Status: Online:%d/Offline:%d."},
        {IDS_NAME_EXISTS, "This name already exists."},
        {IDS_VERSION, TESSVALE_VERSION},
        {IDS_NO_DATA_SELECTED, "No data selected!"},
        {IDS_LINK_HOSTNAME, "<a>Why cannot get hostname?</a>"},
        {IDS_LINK_WMI, "<a>Why cannot get CPU and other system information?</a>"},
    };
    return table;
}

const std::map<int, std::string>& Menus()
{
    static const std::map<int, std::string> menus = {
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
    };
    return menus;
}

struct Hooks
{
    std::mutex mutex;
    std::function<std::string(int, const std::string&)> byId;
    std::function<std::string(const std::string&)> byText;
};

Hooks& TheHooks()
{
    static Hooks hooks;
    return hooks;
}

} // namespace

std::string DefaultString(int id)
{
    const auto& table = Table();
    const auto it = table.find(id);
    return it == table.end() ? std::string() : it->second;
}

std::string UiString(int id)
{
    std::string english = DefaultString(id);
    Hooks& hooks = TheHooks();
    std::function<std::string(int, const std::string&)> hook;
    {
        std::lock_guard lock(hooks.mutex);
        hook = hooks.byId;
    }
    return hook ? hook(id, english) : english;
}

std::string UiText(std::string_view english)
{
    Hooks& hooks = TheHooks();
    std::function<std::string(const std::string&)> hook;
    {
        std::lock_guard lock(hooks.mutex);
        hook = hooks.byText;
    }
    std::string text(english);
    return hook ? hook(text) : text;
}

void SetTranslationHooks(std::function<std::string(int, const std::string&)> idHook,
                         std::function<std::string(const std::string&)> textHook)
{
    Hooks& hooks = TheHooks();
    std::lock_guard lock(hooks.mutex);
    hooks.byId = std::move(idHook);
    hooks.byText = std::move(textHook);
}

std::vector<std::string> SplitBarList(std::string_view list)
{
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    while (begin < list.size()) {
        const std::size_t bar = list.find('|', begin);
        if (bar == std::string_view::npos) {
            pieces.emplace_back(list.substr(begin));
            break;
        }
        pieces.emplace_back(list.substr(begin, bar - begin));
        begin = bar + 1;
    }
    return pieces;
}

std::string MenuLabel(int commandId)
{
    const auto& menus = Menus();
    const auto it = menus.find(commandId);
    return it == menus.end() ? std::string() : it->second;
}

} // namespace tessvale
