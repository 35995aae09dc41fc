// The chart's files in the running program; kept apart from RunChartCommand so that
// tests of the command need no program folders.
#include "chart/chart_command.h"
#include "common/paths.h"

namespace tessvale {

ChartPaths DefaultChartPaths()
{
    return ChartPaths{ShippedFilePath("NET_1.vssx"), DataFolder() + "/subnet.vsdx"};
}

} // namespace tessvale
