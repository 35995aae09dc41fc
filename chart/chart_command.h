// The chart command of the main window: draws the listed hosts and saves the drawing.
#pragma once

#include <string>
#include <vector>

#include "chart/chart_canvas.h"
#include "chart/network_chart.h"

namespace tessvale {

// The four column texts of the result list ("IP", "MAC", "Host Name", "NetCard Vendor"),
// one entry per row in display order.
struct ChartLists
{
    std::vector<std::string> addresses;
    std::vector<std::string> macs;
    std::vector<std::string> hostNames;
    std::vector<std::string> vendors;
};

// The lists from the result list's rows, each given as its texts from column "IP" on
// ("IP", "MAC", "Host Name", ..., "NetCard Vendor" at index 8); a short row gives empty texts.
ChartLists ChartListsFromRows(const std::vector<std::vector<std::string>>& rows);

inline constexpr const char* kChartNoDataQuestion = "There is no data to draw flow chart, is it continue?";

// With no rows, asks first whether to draw anyway (No: nothing happens). Then draws on
// the canvas. True when the drawing was saved at paths.savePath.
bool RunChartCommand(const ChartLists& lists, ChartMessageSink& sink, CanvasProvider& provider,
                     const ChartPaths& paths);

// The program's own files: the stencil "NET_1.vssx" (the data folder's copy, else the
// one beside the executable, else the installed one) and "subnet.vsdx" in the per-user
// data folder.
ChartPaths DefaultChartPaths();

} // namespace tessvale
