// The main window's environment with adapters, stored results and settings held in
// memory; every command of another module is recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/window_environment.h"

namespace tessvale {

class FakeWindowEnvironment : public WindowEnvironment
{
public:
    std::vector<AdapterEntry> Adapters() override { return adapters; }

    std::optional<HostRange> DefaultRange(const std::string& localAddress) override
    {
        const auto it = ranges.find(localAddress);
        return it == ranges.end() ? std::nullopt : std::optional<HostRange>(it->second);
    }

    std::vector<StoredResultEntry> StoredResults() override { return results; }

    std::vector<StoredHost> StoredHosts(std::uint32_t resultId) override { return hosts[resultId]; }

    std::string Setting(const std::string& key) override { return settings[key]; }

    std::uint32_t StoreScan(StoreScanUi& ui, std::uint32_t resultId, const std::string& first, const std::string& last,
                            const std::vector<StoredHost>& rows) override
    {
        std::uint32_t id = resultId;
        if (id == 0) {
            const std::string name = ui.AskResultName();
            if (name.empty()) {
                return 0;
            }
            id = nextId++;
            results.push_back({id, name, first + "-" + last});
            ui.RangesChanged(name);
        }
        hosts[id] = rows;
        stored.push_back(id);
        return id;
    }

    std::string DataFolder() override { return dataFolder; }
    void SetSetting(const std::string& key, const std::string& value) override { settings[key] = value; }
    bool WakeOnLan(const std::string& mac) override
    {
        woken.push_back(mac);
        return mac.size() == 17;
    }
    void RunSettingsDialog(QWidget*) override { ++settingsRuns; }
    void RunFavoritesDialog(QWidget*) override { ++favoritesRuns; }
    void DrawFlowChart(QWidget*, const std::vector<ListRowTexts>& rows) override { charts.push_back(rows); }
    void CheckForUpdates(QWidget*, int mode) override { updateModes.push_back(mode); }

    std::vector<AdapterEntry> adapters;
    std::string dataFolder = "/tmp";
    std::map<std::string, HostRange> ranges;
    std::vector<StoredResultEntry> results;
    std::map<std::uint32_t, std::vector<StoredHost>> hosts;
    std::map<std::string, std::string> settings{{"AutoscanSpanSeconds", "0"}, {"AutoUpdate", "1"}};
    std::uint32_t nextId = 100;
    std::vector<std::uint32_t> stored;
    std::vector<std::string> woken;
    int settingsRuns = 0;
    int favoritesRuns = 0;
    std::vector<std::vector<ListRowTexts>> charts;
    std::vector<int> updateModes;
};

} // namespace tessvale
