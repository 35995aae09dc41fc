// Storing a scan under a result (the main window's Save), and reading the stored
// results back for the window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/config_file.h"

namespace tessvale {

class ConfigStore;

struct StoredHost
{
    std::string ip, mac, hostName, cpu, ramMb, shareFile, systemVer, netCardType, netCardVendor;
};

// A stored result as the window's chooser lists it.
struct StoredResultEntry
{
    std::uint32_t id = 0;
    std::string name;
    std::string ipRange; // "first-last"
};

class StoreScanUi
{
public:
    virtual ~StoreScanUi() = default;
    // Asks the user for the name of a new result; empty means nothing is stored.
    virtual std::string AskResultName() = 0;
    // The stored results changed: the chooser is rebuilt and the new name selected.
    virtual void RangesChanged(const std::string& newName) = 0;
    // The document could not be written; what was stored stays in memory.
    virtual void SaveFailed(const FileError& error) = 0;
};

// Stores the rows under the result `resultId` (0: a new result, named through the ui).
// Returns the result id used, or 0 when nothing was stored or the document could not
// be saved (SaveFailed was called then). Saves the document.
std::uint32_t StoreScan(ConfigStore& store, StoreScanUi& ui, std::uint32_t resultId, const std::string& firstIp,
                        const std::string& lastIp, const std::vector<StoredHost>& rows);

// The stored results in document order.
std::vector<StoredResultEntry> StoredResultsOf(ConfigStore& store);
// The hosts stored under the result, in document order.
std::vector<StoredHost> StoredHostsOf(ConfigStore& store, std::uint32_t resultId);

} // namespace tessvale
