#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/logic/command_ids.h"
#include "app/logic/command_table.h"
#include "common/string_table.h"

namespace tessvale {
namespace {

enum class Phase
{
    Idle,
    IdleWithoutAutoScan, // the AutoScan setting is 0
    RangeScan,
    LookupScan,
    AutoScan,
};

ScanState StateIn(Phase phase)
{
    ScanState state;
    state.SetAutoscanSpan(phase == Phase::IdleWithoutAutoScan ? "0" : "5");
    state.Initialise();
    switch (phase) {
    case Phase::Idle:
    case Phase::IdleWithoutAutoScan:
        break;
    case Phase::RangeScan:
        EXPECT_TRUE(state.Start(true));
        break;
    case Phase::LookupScan:
        EXPECT_EQ(state.Lookup("198.18.0.7", false), LookupAction::ScanAddress);
        break;
    case Phase::AutoScan:
        EXPECT_TRUE(state.StartAutoScan(true));
        EXPECT_TRUE(state.Start(true));
        break;
    }
    return state;
}

TEST(CommandTable, EachMenuEntryIsEnabledInTheStatesThatAllowIt)
{
    struct Case
    {
        Phase phase;
        int id;
        bool row; // a row is selected
        int rows; // rows in the list
        bool enabled;
    };
    const std::vector<Case> cases = {
        {Phase::Idle, kIdStart, false, 0, true},
        {Phase::Idle, kIdTrayStart, false, 0, true},
        {Phase::Idle, kIdStop, false, 0, false},
        {Phase::Idle, kIdTrayStop, false, 0, false},
        {Phase::Idle, kIdAutoScan, false, 0, true},
        {Phase::IdleWithoutAutoScan, kIdAutoScan, false, 0, false},
        {Phase::IdleWithoutAutoScan, kIdStart, false, 0, true},
        {Phase::RangeScan, kIdStart, true, 3, false},
        {Phase::RangeScan, kIdTrayStart, true, 3, false},
        {Phase::RangeScan, kIdStop, true, 3, true},
        {Phase::RangeScan, kIdTrayStop, true, 3, true},
        {Phase::RangeScan, kIdAutoScan, true, 3, false},
        {Phase::LookupScan, kIdStart, false, 0, false},
        {Phase::LookupScan, kIdStop, false, 0, true},
        {Phase::AutoScan, kIdStart, false, 0, false},
        {Phase::AutoScan, kIdStop, false, 0, true},
        {Phase::AutoScan, kIdAutoScan, false, 0, false},
        // Rescan needs a row and no scan; the other row actions only the row.
        {Phase::Idle, kIdRescan, true, 3, true},
        {Phase::Idle, kIdRescan, false, 3, false},
        {Phase::RangeScan, kIdRescan, true, 3, false},
        {Phase::LookupScan, kIdRescan, true, 3, false},
        {Phase::AutoScan, kIdRescan, true, 3, false},
        {Phase::RangeScan, kIdProperties, true, 3, true},
        {Phase::Idle, kIdProperties, false, 3, false},
        {Phase::Idle, kIdWakeOnLan, false, 3, false},
        {Phase::Idle, kIdRemoteDesktop, false, 3, false},
        {Phase::Idle, kIdWeb, false, 3, false},
        {Phase::Idle, kIdDelete, false, 3, false},
        {Phase::AutoScan, kIdDelete, true, 3, true},
        {Phase::Idle, kIdCopyIp, false, 3, false},
        {Phase::Idle, kIdPing, true, 3, true},
        {Phase::Idle, kIdSsh, false, 3, false},
        // Delete all needs rows, not a selection.
        {Phase::Idle, kIdDeleteAll, false, 3, true},
        {Phase::RangeScan, kIdDeleteAll, false, 1, true},
        {Phase::Idle, kIdDeleteAll, true, 0, false},
        // Copy with no row copies the blank line; the rest never turn off.
        {Phase::Idle, kIdCopy, false, 0, true},
        {Phase::RangeScan, kIdSave, false, 0, true},
        {Phase::RangeScan, kIdCancel, false, 0, true},
        {Phase::AutoScan, kIdTrayExit, false, 0, true},
        {Phase::AutoScan, kIdTrayShow, false, 0, true},
        {Phase::RangeScan, kIdSettings, false, 0, true},
    };
    for (const Case& c : cases) {
        const ScanState state = StateIn(c.phase);
        EXPECT_EQ(CommandEnabled(c.id, state, c.row, c.rows), c.enabled)
            << "phase " << static_cast<int>(c.phase) << ", command " << c.id << ", row " << c.row << ", rows "
            << c.rows;
    }
}

TEST(CommandTable, EntriesAreNamedOnceAndEveryMenuEntryHasALabel)
{
    std::set<std::string> names;
    for (const CommandPlace place : {CommandPlace::FileMenu, CommandPlace::ActionsMenu, CommandPlace::OptionsMenu,
                                     CommandPlace::HelpMenu, CommandPlace::ToolBar, CommandPlace::TrayMenu}) {
        std::set<int> ids;
        for (const PlacedCommand& command : CommandsOf(place)) {
            if (command.id == 0) {
                EXPECT_EQ(command.objectName, nullptr);
                continue;
            }
            ASSERT_NE(command.objectName, nullptr) << command.id;
            EXPECT_TRUE(ids.insert(command.id).second) << "twice in one place: " << command.id;
            EXPECT_TRUE(names.insert(command.objectName).second) << "name used twice: " << command.objectName;
            // The export of changes is labelled by the window; the toolbar by its own list.
            if (place != CommandPlace::ToolBar && command.id != kIdExportChanges) {
                EXPECT_FALSE(MenuLabel(command.id).empty()) << command.objectName;
            }
        }
    }
}

TEST(CommandTable, EachPlaceHasItsOwnEntries)
{
    const std::vector<std::pair<CommandPlace, std::string>> firsts = {
        {CommandPlace::FileMenu, "startMenuAction"},
        {CommandPlace::ActionsMenu, "rescanMenuAction"},
        {CommandPlace::OptionsMenu, "settingsMenuAction"},
        {CommandPlace::HelpMenu, "homeMenuAction"},
        {CommandPlace::ToolBar, "startAction"},
        {CommandPlace::TrayMenu, "showTrayAction"},
    };
    for (const auto& [place, first] : firsts) {
        const auto commands = CommandsOf(place);
        ASSERT_FALSE(commands.empty()) << first;
        EXPECT_EQ(commands.front().objectName, first);
    }
}

TEST(CommandTable, ToolBarLabelsLineUpWithItsEntries)
{
    // The string table lists the labels with a blank for each separator.
    const std::vector<std::string> labels = SplitBarList(UiString(IDS_TOOLBAR));
    const auto tools = CommandsOf(CommandPlace::ToolBar);
    ASSERT_EQ(labels.size(), tools.size());
    for (std::size_t i = 0; i < tools.size(); ++i) {
        EXPECT_EQ(tools[i].id == 0, labels[i] == " ") << i << ": " << labels[i];
    }
}

} // namespace
} // namespace tessvale
