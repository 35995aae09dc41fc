// The chart command wired to the program's own files and the .vsdx canvas; kept apart
// from RunChartCommand so that tests of the command need no program folders.
#include "chart/chart_command.h"
#include "chart/vsdx_canvas.h"
#include "common/paths.h"

namespace tessvale {

ChartPaths DefaultChartPaths()
{
    return ChartPaths{ShippedFilePath("NET_1.vssx"), DataFolder() + "/subnet.vsdx"};
}

bool DrawFlowChart(const ChartLists& lists, ChartMessageSink& sink)
{
    VsdxCanvasProvider provider;
    return RunChartCommand(lists, sink, provider, DefaultChartPaths());
}

} // namespace tessvale
