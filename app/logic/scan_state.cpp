#include "app/logic/scan_state.h"

#include "app/logic/result_list.h"
#include "common/text_util.h"
#include "scan/address_forms.h"

namespace tessvale {

bool ScanState::AutoScanConfigured() const
{
    return !m_autoscanSpan.empty() && m_autoscanSpan != "0";
}

long long ScanState::AutoScanPeriodMs() const
{
    return ParseDecimal(m_autoscanSpan) * 60'000;
}

void ScanState::EnableControls(bool start, bool autoScan, bool stop)
{
    m_controls.start = start;
    m_controls.stop = stop;
    m_controls.autoScan = autoScan && AutoScanConfigured();
}

void ScanState::Initialise()
{
    EnableControls(true, true, false);
}

void ScanState::AfterSettings()
{
    m_controls.autoScan = AutoScanConfigured() && !m_autoScan;
}

bool ScanState::Start(bool rangeComplete)
{
    if (!rangeComplete) {
        return false;
    }
    EnableControls(false, false, true);
    m_rangeScan = true;
    return true;
}

void ScanState::Stop()
{
    EnableControls(true, true, false);
    m_rangeScan = false;
    m_lookupScan = false;
    m_autoScan = false;
}

LookupAction ScanState::Lookup(const std::string& text, bool rangeComplete)
{
    if (text.empty()) {
        return LookupAction::Nothing;
    }
    if (ParseDottedQuad(text)) {
        m_lookupScan = true;
        EnableControls(false, false, true);
        return LookupAction::ScanAddress;
    }
    if (!ParseMac(text)) {
        return LookupAction::Invalid;
    }
    if (!rangeComplete) {
        return LookupAction::AskForRange;
    }
    m_lookupScan = true;
    EnableControls(false, false, true);
    return LookupAction::SearchMac;
}

void ScanState::Rescan()
{
    EnableControls(false, false, true);
    m_lookupScan = true;
}

bool ScanState::StartAutoScan(bool rangeComplete)
{
    if (!rangeComplete || !AutoScanConfigured()) {
        return false;
    }
    m_autoScan = true;
    return true;
}

EndOfScan ScanState::Finished(int rowCount)
{
    EndOfScan end;
    m_rangeScan = false;
    if (m_lookupScan) {
        EnableControls(true, true, false);
        if (m_autoScan) {
            EnableControls(false, false, true);
        }
    } else if (m_autoScan) {
        EnableControls(false, false, true);
    } else {
        EnableControls(true, true, false);
        end.offerSave = rowCount > 0;
    }
    m_lookupScan = false;
    end.controls = m_controls;
    return end;
}

bool ScanState::MenuAutoScanEnabled() const
{
    return AutoScanConfigured() && !m_autoScan && !m_rangeScan;
}

} // namespace tessvale
