// A chart canvas that records every call and can fail any member at its n-th call.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "chart/chart_canvas.h"

namespace tessvale::fakes {

struct DropRecord
{
    std::string master;
    double x = 0;
    double y = 0;
    std::string shape; // name given to the new shape, e.g. "PC#3"
};

// Shared by every object of one recording canvas.
struct CanvasRecord
{
    std::vector<std::string> calls;
    std::vector<DropRecord> drops;
    std::map<std::string, std::string> texts; // shape name -> text
    // member ("Page.Drop") -> the call number (from 1) that fails
    std::map<std::string, int> failAt;
    std::map<std::string, int> counts;
    int liveObjects = 0;
    int shapeCount = 0;

    // Counts and logs a call; true when it is to fail.
    bool Call(const std::string& member, const std::string& detail);
    // The calls of one member, in order.
    std::vector<std::string> CallsOf(const std::string& member) const;
};

class RecordingProvider : public CanvasProvider
{
public:
    explicit RecordingProvider(bool running = false) : m_running(running) {}

    ChartStatus GetActiveObject(CanvasUnknown** out) override;
    ChartStatus CreateInstance(CanvasApplication** out) override;

    std::shared_ptr<CanvasRecord> record = std::make_shared<CanvasRecord>();

private:
    bool m_running;
};

} // namespace tessvale::fakes
