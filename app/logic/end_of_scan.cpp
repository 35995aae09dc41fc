#include "app/logic/end_of_scan.h"

#include "store/config_record.h"

namespace tessvale {
namespace {

// One question: asked while its setting is not "0"; the box turns the setting off.
bool AskUnlessTurnedOff(const EndOfScanSteps& steps, const char* key,
                        const std::function<bool(bool& dontAskAgain)>& ask)
{
    if (steps.setting(key) == "0") {
        return false;
    }
    bool dontAsk = false;
    const bool yes = ask(dontAsk);
    if (dontAsk) {
        steps.setSetting(key, "0");
    }
    return yes;
}

} // namespace

void AskAtEndOfScan(const EndOfScanSteps& steps)
{
    if (AskUnlessTurnedOff(steps, kAskSaveAfterScan, steps.askSave)) {
        steps.save();
    }
    if (!steps.closing() && AskUnlessTurnedOff(steps, kAskChartAfterScan, steps.askChart)) {
        steps.drawChart();
    }
}

} // namespace tessvale
