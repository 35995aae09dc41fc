// Process start-up: decides from the arguments and from a running copy what this
// process does, and does it.
#pragma once

#include <memory>
#include <string>

#include "scan/host_inventory_query.h"
#include "scan/host_probe.h"
#include "scan/job_pool.h"
#include "scan/service_auto_scan.h"
#include "scan/vendor_table.h"

namespace tessvale {

class ConfigStore;

// The scanning side of the window over a loaded configuration: the vendor listing of
// the data folder, the system's host probe and inventory, the worker pool and the scan
// service on them. They end in the reverse order, the service first.
class ScanStack
{
public:
    explicit ScanStack(ConfigStore& store);

    CServiceAutoScan& Service() { return m_service; }

private:
    std::unique_ptr<VendorTable> m_vendors;
    std::unique_ptr<HostProbe> m_probe;
    std::unique_ptr<InventoryQuery> m_inventory;
    JobPool m_pool;
    CServiceAutoScan m_service;
};

class CTessvaleApp
{
public:
    // Runs the process and returns its exit code.
    int InitInstance(int argc, char** argv);
};

} // namespace tessvale
