#include "app/logic/store_scan.h"

#include "store/config_record.h"
#include "store/config_store.h"

namespace tessvale {

namespace {

// Writes the result and its hosts and saves the document, under the store's lock.
// The result id used, or 0 when nothing was stored; a failed save leaves its reason in
// saveError and what was stored in memory.
std::uint32_t WriteScan(ConfigStore& store, std::uint32_t resultId, const std::string& name, const std::string& range,
                        const std::vector<StoredHost>& rows, FileError& saveError)
{
    ConfigRecord result = MakeResultRecord();
    if (resultId != 0) {
        result.id = resultId;
        if (store.ReadRecord(result) == 0) {
            return 0; // the chosen result is gone: storing hosts under it would orphan them
        }
        store.DeleteItemsOf(resultId);
        result.SetValue(kResultIpRange, range);
        store.WriteRecord(result);
    } else {
        result.SetValue(kResultName, name);
        result.SetValue(kResultIpRange, range);
        if (store.AddRecord(result) == 0) {
            return 0;
        }
    }
    const std::uint32_t id = result.id;
    for (const StoredHost& row : rows) {
        ConfigRecord item = MakeItemRecord();
        item.SetValue(kItemResultId, std::to_string(id));
        item.SetValue(kItemIp, row.ip);
        item.SetValue(kItemMac, row.mac);
        item.SetValue(kItemHostName, row.hostName);
        item.SetValue(kItemCpu, row.cpu);
        item.SetValue(kItemRam, row.ramMb);
        item.SetValue(kItemShareFile, row.shareFile);
        item.SetValue(kItemSystemVer, row.systemVer);
        item.SetValue(kItemNetCardType, row.netCardType);
        item.SetValue(kItemNetCardVendor, row.netCardVendor);
        store.AddRecord(item);
    }
    if (!store.Save()) {
        saveError = store.LastSaveError();
    }
    return id;
}

} // namespace

std::uint32_t StoreScan(ConfigStore& store, StoreScanUi& ui, std::uint32_t resultId, const std::string& firstIp,
                        const std::string& lastIp, const std::vector<StoredHost>& rows)
{
    // The name is asked for before the lock is taken: scan workers read the settings
    // while the prompt is open and must not wait for the user.
    std::string name;
    if (resultId == 0) {
        name = ui.AskResultName();
        if (name.empty()) {
            return 0;
        }
    }
    const std::string range = firstIp + "-" + lastIp;
    FileError saveError;
    const std::uint32_t id =
        store.Atomically([&](ConfigStore& held) { return WriteScan(held, resultId, name, range, rows, saveError); });
    if (id == 0) {
        return 0;
    }
    // A new result is in the document even when the file could not be written: the
    // chooser shows it, so that the next Save retries under it instead of adding
    // another result of the same name.
    if (resultId == 0) {
        ui.RangesChanged(name);
    }
    if (saveError) {
        ui.SaveFailed(saveError);
        return 0;
    }
    return id;
}

std::vector<StoredResultEntry> StoredResultsOf(ConfigStore& store)
{
    std::vector<ConfigRecord> records;
    store.ListRecords(MakeResultRecord(), records);
    std::vector<StoredResultEntry> results;
    results.reserve(records.size());
    for (const ConfigRecord& record : records) {
        results.push_back({record.id, record.Value(kResultName), record.Value(kResultIpRange)});
    }
    return results;
}

std::vector<StoredHost> StoredHostsOf(ConfigStore& store, std::uint32_t resultId)
{
    std::vector<ConfigRecord> records;
    store.ListRecords(MakeItemRecord(), records);
    const std::string id = std::to_string(resultId);
    std::vector<StoredHost> hosts;
    for (const ConfigRecord& item : records) {
        if (item.Value(kItemResultId) != id) {
            continue;
        }
        hosts.push_back({item.Value(kItemIp), item.Value(kItemMac), item.Value(kItemHostName), item.Value(kItemCpu),
                         item.Value(kItemRam), item.Value(kItemShareFile), item.Value(kItemSystemVer),
                         item.Value(kItemNetCardType), item.Value(kItemNetCardVendor)});
    }
    return hosts;
}

} // namespace tessvale
