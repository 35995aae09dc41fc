#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/end_of_scan.h"
#include "store/config_record.h"

namespace tessvale {
namespace {

struct Answer
{
    bool yes = false;
    bool dontAskAgain = false;
};

TEST(EndOfScan, AsksWhatTheSettingsAllowAndRunsWhatWasChosen)
{
    struct Case
    {
        const char* name;
        std::map<std::string, std::string> settings;
        Answer save;
        Answer chart;
        bool saveCloses; // the window starts to close while it saves
        std::vector<std::string> events;
        std::map<std::string, std::string> settingsAfter;
    };
    // The two settings that allow the questions, "1" or "0".
    const auto asks = [](const char* save, const char* chart) {
        return std::map<std::string, std::string>{{kAskSaveAfterScan, save}, {kAskChartAfterScan, chart}};
    };
    const auto on = asks("1", "1");
    const Answer yes{true};
    const Answer quietYes{true, true}; // and don't ask again
    const Answer quietNo{false, true};
    const std::vector<Case> cases = {
        {"both yes", on, yes, yes, false, {"ask save", "save", "ask chart", "chart"}, on},
        {"both no", on, {}, {}, false, {"ask save", "ask chart"}, on},
        {"a missing setting asks", {}, yes, {}, false, {"ask save", "save", "ask chart"}, {}},
        {"save turned off", asks("0", "1"), yes, yes, false, {"ask chart", "chart"}, asks("0", "1")},
        {"chart turned off", asks("1", "0"), yes, yes, false, {"ask save", "save"}, asks("1", "0")},
        {"don't ask again after no", on, quietNo, quietYes, false, {"ask save", "ask chart", "chart"}, asks("0", "0")},
        {"don't ask again after yes saves", on, quietYes, {}, false, {"ask save", "save", "ask chart"}, asks("0", "1")},
        {"closing while saving asks no more", on, yes, yes, true, {"ask save", "save"}, on},
    };
    for (const Case& c : cases) {
        std::map<std::string, std::string> settings = c.settings;
        std::vector<std::string> events;
        bool closing = false;
        AskAtEndOfScan({
            .closing = [&] { return closing; },
            .askSave =
                [&](bool& dontAsk) {
                    events.emplace_back("ask save");
                    dontAsk = c.save.dontAskAgain;
                    return c.save.yes;
                },
            .askChart =
                [&](bool& dontAsk) {
                    events.emplace_back("ask chart");
                    dontAsk = c.chart.dontAskAgain;
                    return c.chart.yes;
                },
            .save =
                [&] {
                    events.emplace_back("save");
                    closing = c.saveCloses;
                },
            .drawChart = [&] { events.emplace_back("chart"); },
            .setting = [&](const std::string& key) { return settings.contains(key) ? settings[key] : std::string(); },
            .setSetting = [&](const std::string& key, const std::string& value) { settings[key] = value; },
        });
        EXPECT_EQ(events, c.events) << c.name;
        EXPECT_EQ(settings, c.settingsAfter) << c.name;
    }
}

} // namespace
} // namespace tessvale
