// The questions the main window asks when a scan that found hosts has ended: whether
// to save the result, then whether to draw the chart. Each can be turned off by its
// "Don't ask again" box (and back on in Settings); a window that starts to close in
// between asks nothing more. No Qt: the window hands in its prompts and commands.
#pragma once

#include <functional>
#include <string>

namespace tessvale {

struct EndOfScanSteps
{
    std::function<bool()> closing; // the window has started to close
    // A question; sets its argument when the user ticked "Don't ask again".
    std::function<bool(bool& dontAskAgain)> askSave;
    std::function<bool(bool& dontAskAgain)> askChart;
    std::function<void()> save;
    std::function<void()> drawChart;
    std::function<std::string(const std::string& key)> setting;
    std::function<void(const std::string& key, const std::string& value)> setSetting;
};

// Asks what the settings allow and runs what the user chose.
void AskAtEndOfScan(const EndOfScanSteps& steps);

} // namespace tessvale
