// What a scan reads of the settings, asked again at the start of every scan so that a
// changed setting applies to the next one.
#pragma once

#include <functional>

#include "scan/probe_sweep.h"

namespace tessvale {

struct ScanSettings
{
    // Workers beside the first (the scan runs at most 1 + furtherWorkers at once,
    // within the pool's limit).
    long long furtherWorkers = 64;
    // The paced sweep's rate, retries and timeout, and the name sources switched on;
    // the resolver's name servers are read by the scan itself when DNS is on.
    SweepSettings sweep;
};

// Gives the settings as they are now; called on the window's thread.
using ScanSettingsSource = std::function<ScanSettings()>;

} // namespace tessvale
