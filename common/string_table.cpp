#include "common/string_table.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

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

// A copy of one hook, taken under the lock, so that it runs without holding it.
template <typename Hook> Hook Snapshot(Hook Hooks::*member)
{
    Hooks& hooks = TheHooks();
    std::lock_guard lock(hooks.mutex);
    return hooks.*member;
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
    const auto hook = Snapshot(&Hooks::byId);
    return hook ? hook(id, english) : english;
}

std::string UiText(std::string_view english)
{
    const auto hook = Snapshot(&Hooks::byText);
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
    for (std::size_t begin = 0; begin < list.size();) {
        // The last piece ends at the end of the list when no bar follows it.
        const std::size_t end = std::min(list.find('|', begin), list.size());
        pieces.emplace_back(list.substr(begin, end - begin));
        begin = end + 1;
    }
    return pieces;
}

} // namespace tessvale
