// The main window's environment in the running program: the local adapters, the
// configuration document, Wake-on-LAN, and the commands other modules provide.
#pragma once

#include "app/window_environment.h"

namespace tessvale {

class ConfigStore;

class SystemEnvironment : public WindowEnvironment
{
public:
    // maxWorkers: how many scan workers the pool can run at once (shown by the settings).
    explicit SystemEnvironment(ConfigStore& store, int maxWorkers = 0);

    std::vector<AdapterEntry> Adapters() override;
    std::optional<HostRange> DefaultRange(const std::string& localAddress) override;
    std::vector<StoredResultEntry> StoredResults() override;
    std::vector<StoredHost> StoredHosts(std::uint32_t resultId) override;
    std::map<std::string, std::string> Notes() override;
    std::string Setting(const std::string& key) override;
    std::uint32_t StoreScan(StoreScanUi& ui, std::uint32_t resultId, const std::string& first, const std::string& last,
                            const std::vector<StoredHost>& rows) override;
    std::string DataFolder() override;
    void SetSetting(const std::string& key, const std::string& value) override;
    bool WakeOnLan(const std::string& mac) override;
    void RunSettingsDialog(QWidget* owner) override;
    void RunFavoritesDialog(QWidget* owner) override;
    void DrawFlowChart(QWidget* owner, const std::vector<ListRowTexts>& rows) override;
    void CheckForUpdates(QWidget* owner, int mode) override;

private:
    ConfigStore& m_store;
    int m_maxWorkers;
};

} // namespace tessvale
