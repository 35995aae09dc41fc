// Draws a network chart of N made-up hosts with the .vsdx canvas, for looking at the
// drawing by eye (scripts/check-chart). Usage: chart_sample N STENCIL OUTPUT.vsdx
#include <cstdio>
#include <cstdlib>
#include <string>

#include "chart/chart_command.h"
#include "chart/vsdx_canvas.h"
#include "common/checked_output.h"

namespace {

class PrintingSink : public tessvale::ChartMessageSink
{
public:
    void ShowChartMessage(tessvale::ChartMessageKind, const std::string& text) override
    {
        tessvale::IgnoreResult(std::fprintf(stderr, "chart message: %s\n", text.c_str()));
    }
    bool AskYesNo(const std::string&) override { return true; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        tessvale::IgnoreResult(std::fprintf(stderr, "usage: %s N STENCIL OUTPUT.vsdx\n", argv[0]));
        return 2;
    }
    const int n = std::atoi(argv[1]);
    tessvale::ChartLists lists;
    static const char* const kVendors[] = {"Intel Corporate", "Hewlett Packard", "", "Realtek Semiconductor Corp.",
                                           "Dell Inc."};
    for (int i = 0; i < n; ++i) {
        // Every 16th address ends in .1 and is drawn as a router.
        const int host = i % 16 == 0 ? 1 : 10 + i;
        lists.addresses.push_back("198.18." + std::to_string(i / 16) + "." + std::to_string(host));
        char mac[32];
        tessvale::IgnoreResult(std::snprintf(mac, sizeof mac, "00:1B:21:3A:%02X:%02X", i / 256, i % 256));
        lists.macs.emplace_back(mac);
        lists.hostNames.push_back(i % 7 == 3 ? "-" : "HOST-" + std::to_string(i + 1));
        lists.vendors.emplace_back(kVendors[i % 5]);
    }
    PrintingSink sink;
    tessvale::VsdxCanvasProvider provider;
    return tessvale::RunChartCommand(lists, sink, provider, {argv[2], argv[3]}) ? 0 : 1;
}
