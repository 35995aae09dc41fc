// A scan service that only records what the window asks of it; the test plays the
// engine by calling the window's ScanWindow members itself.
#pragma once

#include <string>
#include <vector>

#include "scan/scan_service.h"

namespace tessvale {

class FakeScanService : public ScanService
{
public:
    struct Start
    {
        std::string first;
        std::string last;
        bool macLookup = false;
    };

    int StartScan(const std::string& start, const std::string& end, ScanWindow* window, bool macLookup) override
    {
        starts.push_back({start, end, macLookup});
        lastWindow = window;
        window->ScanStarted(startTotal);
        return 1;
    }

    void StopAndDrain(const std::function<void()>& pumpEvents) override
    {
        ++drains;
        if (pumpEvents) {
            pumpEvents();
        }
    }

    int MaxWorkers() const override { return 4; }

    std::vector<Start> starts;
    ScanWindow* lastWindow = nullptr;
    int startTotal = 254;
    int drains = 0;
};

} // namespace tessvale
