#include "chart/chart_command.h"

namespace tessvale {

ChartLists ChartListsFromRows(const std::vector<std::vector<std::string>>& rows)
{
    ChartLists lists;
    auto text = [](const std::vector<std::string>& row, std::size_t i) { return i < row.size() ? row[i] : ""; };
    for (const auto& row : rows) {
        lists.addresses.push_back(text(row, 0));
        lists.macs.push_back(text(row, 1));
        lists.hostNames.push_back(text(row, 2));
        lists.vendors.push_back(text(row, 8));
    }
    return lists;
}

bool RunChartCommand(const ChartLists& lists, ChartMessageSink& sink, CanvasProvider& provider, const ChartPaths& paths)
{
    if (lists.addresses.empty() && !sink.AskYesNo(kChartNoDataQuestion)) {
        return false;
    }
    CNetworkChart chart(lists.addresses, lists.macs, lists.hostNames, lists.vendors, provider, sink, paths);
    return chart.Draw();
}

} // namespace tessvale
