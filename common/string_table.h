// Every text the user sees, held in one table keyed by the ids the program has always
// used, and the one place through which each visible text is fetched, so that the
// localisation can replace them.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

enum StringId : int
{
    IDS_ABOUTBOX = 101,     // "&About Tessvale..."
    IDS_TOOLBAR = 102,      // toolbar labels, "|"-separated
    IDS_STATUS = 103,       // "Status:"
    IDS_LIST_HEADERS = 104, // result list headers, "|"-separated
    IDS_FAVORITES_HEADERS = 105,
    IDS_PROCESS = 106,
    IDS_SCANNING = 110, // "Status: Scanning %s..."
    IDS_START_SCAN = 111,
    IDS_SCAN_DONE = 112,
    IDS_SCAN_STOPPED = 113,
    IDS_CONFIRM_DELETE = 117,
    IDS_ENTER_RANGE = 119,
    IDS_FILE_EXISTS = 120,
    IDS_SAVED = 124,
    IDS_ONLINE_OFFLINE = 125, // "Status: Online:%d/Offline:%d."
    IDS_NAME_EXISTS = 126,
    IDS_VERSION = 127,
    IDS_NO_DATA_SELECTED = 128,
    IDS_LINK_HOSTNAME = 129,
    IDS_LINK_WMI = 130,
};

// The English text of a string id; empty for an unknown id.
std::string DefaultString(int id);

// The text of a string id as the user sees it (UTF-8). Every string-table text of the
// windows is fetched here.
std::string UiString(int id);

// A fixed English text (dialog labels, menu entries, message texts without an id) as
// the user sees it. Every such text of the windows is fetched here.
std::string UiText(std::string_view english);

// The localisation installs its lookups here; without them the English texts are used.
// idHook receives the id and the English default, textHook the English text.
void SetTranslationHooks(std::function<std::string(int, const std::string&)> idHook,
                         std::function<std::string(const std::string&)> textHook);

// Splits a "|"-separated list ("a|b|c|"): the pieces between the bars; a trailing bar
// ends the list without an empty piece.
std::vector<std::string> SplitBarList(std::string_view list);

} // namespace tessvale
