// The chart's files in the running program; kept apart from RunChartCommand so that
// tests of the command need no program folders.
#include "chart/chart_command.h"
#include "common/paths.h"

namespace tessvale {

ChartPaths DefaultChartPaths()
{
    // On a fresh install nothing has made the data folder yet; the drawing is saved there.
    const std::string folder = DataFolder();
    CreateDirectoryPath(folder);
    return ChartPaths{ShippedFilePath("NET_1.vssx"), folder + "/subnet.vsdx"};
}

} // namespace tessvale
