// The scan's settings as the configuration document holds them: what the scan engine,
// the probes and the inventory are given in place of the store.
#pragma once

#include <memory>

#include "scan/host_inventory_query.h"
#include "scan/host_probe.h"
#include "scan/scan_settings.h"

namespace tessvale {

class ConfigStore;
struct ConfigRecord;

// The settings record's values for a scan: AutoscanThreads, the probe rate, retries and
// NetBIOS timeout (each bounded as the scan takes it) and the name sources.
ScanSettings ScanSettingsOf(const ConfigRecord& settings);
// The store's settings as they are whenever the scan asks.
ScanSettingsSource ScanSettingsFrom(ConfigStore& store);

// The name sources the settings switch on, with the resolver's name servers.
NameSettings NameSettingsOf(const ConfigRecord& settings);

// The real probes; the NetBIOS timeout is read from the store's settings per query.
std::unique_ptr<HostProbe> MakeSystemProbe(ConfigStore& store);

// The configured credentials: the settings re-read from the store, both values decoded.
InventoryCredentials ReadInventoryCredentials(ConfigStore& store);
// The system inventory with its credentials read from the store for every host.
std::unique_ptr<InventoryQuery> MakeSystemInventory(ConfigStore& store);

} // namespace tessvale
