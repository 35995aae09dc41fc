// What the main window needs of the rest of the program: the local adapters and their
// default ranges, the stored results, the settings, storing a scan, Wake-on-LAN and
// the dialogs and commands that other modules provide. The window gets it through its
// constructor, so tests hand it a fake.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/logic/store_scan.h"
#include "scan/adapter_list.h"
#include "store/config_store.h"

class QWidget;

namespace tessvale {

struct HostRange
{
    std::string first;
    std::string last;
};

// A row of the list as the chart and other modules read it: the nine column texts.
using ListRowTexts = std::vector<std::string>;

class WindowEnvironment
{
public:
    virtual ~WindowEnvironment() = default;

    // Chooser entries: every IPv4 address of the local adapters except loopback.
    virtual std::vector<AdapterEntry> Adapters() = 0;
    // The default scan range of a local address (its subnet without the network
    // address); nullopt when the text is no local address or its mask gives no range.
    virtual std::optional<HostRange> DefaultRange(const std::string& localAddress) = 0;

    // The stored results, in document order, and the hosts of one of them.
    virtual std::vector<StoredResultEntry> StoredResults() = 0;
    virtual std::vector<StoredHost> StoredHosts(std::uint32_t resultId) = 0;

    // The user's notes on hosts, keyed by CanonicalMac; none unless overridden.
    virtual std::map<std::string, std::string> Notes() { return {}; }

    // A setting's current value ("AutoscanSpanSeconds", "AutoUpdate").
    virtual std::string Setting(const std::string& key) = 0;

    // Stores the rows under a result (0: a new one named through the ui). Returns the
    // id used, or 0 when nothing was stored.
    virtual std::uint32_t StoreScan(StoreScanUi& ui, std::uint32_t resultId, const std::string& first,
                                    const std::string& last, const std::vector<StoredHost>& rows) = 0;

    // The per-user data folder (shown by the Data Folder command).
    virtual std::string DataFolder() = 0;

    // Stores one setting (the "don't ask again" answers of the window).
    virtual void SetSetting(const std::string& key, const std::string& value) = 0;

    // Sends the Wake-on-LAN packet for a MAC to the limited broadcast address (port
    // kWakeOnLanPort); false when the text is no MAC and nothing was sent.
    virtual bool WakeOnLan(const std::string& mac) = 0;

    // The dialogs and commands of other modules; owner is the main window. Each
    // returns only when the modal dialog it shows has closed.
    virtual void RunSettingsDialog(QWidget* owner) = 0;
    virtual void RunFavoritesDialog(QWidget* owner) = 0;
    virtual void DrawFlowChart(QWidget* owner, const std::vector<ListRowTexts>& rows) = 0;
    // The update check; mode 0 interactive, 1 at start-up, 2 periodic.
    virtual void CheckForUpdates(QWidget* owner, int mode) = 0;
};

} // namespace tessvale
