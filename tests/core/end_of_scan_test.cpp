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
    const std::map<std::string, std::string> on = {{kAskSaveAfterScan, "1"}, {kAskChartAfterScan, "1"}};
    const std::vector<Case> cases = {
        {"both yes", on, {true}, {true}, false, {"ask save", "save", "ask chart", "chart"}, on},
        {"both no", on, {}, {}, false, {"ask save", "ask chart"}, on},
        {"a missing setting asks", {}, {true}, {}, false, {"ask save", "save", "ask chart"}, {}},
        {"save turned off",
         {{kAskSaveAfterScan, "0"}, {kAskChartAfterScan, "1"}},
         {true},
         {true},
         false,
         {"ask chart", "chart"},
         {{kAskSaveAfterScan, "0"}, {kAskChartAfterScan, "1"}}},
        {"chart turned off",
         {{kAskSaveAfterScan, "1"}, {kAskChartAfterScan, "0"}},
         {true},
         {true},
         false,
         {"ask save", "save"},
         {{kAskSaveAfterScan, "1"}, {kAskChartAfterScan, "0"}}},
        {"don't ask again after no",
         on,
         {false, true},
         {true, true},
         false,
         {"ask save", "ask chart", "chart"},
         {{kAskSaveAfterScan, "0"}, {kAskChartAfterScan, "0"}}},
        {"don't ask again after yes saves",
         on,
         {true, true},
         {},
         false,
         {"ask save", "save", "ask chart"},
         {{kAskSaveAfterScan, "0"}, {kAskChartAfterScan, "1"}}},
        {"closing while saving asks no more", on, {true}, {true}, true, {"ask save", "save"}, on},
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
