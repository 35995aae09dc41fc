#include "chart/chart_command.h"

namespace tessvale {

bool RunChartCommand(const ChartLists& lists, ChartMessageSink& sink, CanvasProvider& provider, const ChartPaths& paths)
{
    if (lists.addresses.empty() && !sink.AskYesNo(kChartNoDataQuestion)) {
        return false;
    }
    CNetworkChart chart(lists.addresses, lists.macs, lists.hostNames, lists.vendors, provider, sink, paths);
    return chart.Draw();
}

} // namespace tessvale
