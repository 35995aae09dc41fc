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

bool ChangeSession::Begin(const std::string& range, const std::optional<std::vector<HostSnapshot>>& stored,
                          bool repetition)
{
    m_range = range;
    m_running = true;
    m_answered.clear();
    m_answeredIps.clear();
    m_changes.clear();
    m_tracker.reset();
    const auto previous = m_previous.find(range);
    if (previous != m_previous.end() && (repetition || !stored)) {
        m_tracker.emplace(previous->second);
    } else if (stored) {
        m_tracker.emplace(*stored);
    }
    return Comparing();
}

void ChangeSession::BeginWithout()
{
    m_running = false;
    m_tracker.reset();
    m_changes.clear();
}

std::vector<HostChange> ChangeSession::Answered(const HostSnapshot& host)
{
    if (m_running && m_answeredIps.insert(host.ip).second) {
        m_answered.push_back(host);
    }
    if (!m_tracker) {
        return {};
    }
    std::vector<HostChange> found = m_tracker->Answered(host);
    m_changes.insert(m_changes.end(), found.begin(), found.end());
    return found;
}

std::vector<HostChange> ChangeSession::Finished()
{
    if (!m_running) {
        return {};
    }
    m_running = false;
    m_previous[m_range] = std::move(m_answered);
    m_answered.clear();
    m_answeredIps.clear();
    if (!m_tracker) {
        return {};
    }
    std::vector<HostChange> gone = m_tracker->Finished();
    m_changes.insert(m_changes.end(), gone.begin(), gone.end());
    return gone;
}

void ChangeSession::Abandon()
{
    m_running = false;
    m_answered.clear();
    m_answeredIps.clear();
}

std::vector<HostChange> ChangeSession::ChangesOf(const std::string& ip) const
{
    std::vector<HostChange> of;
    for (const HostChange& change : m_changes) {
        if (change.ip == ip) {
            of.push_back(change);
        }
    }
    return of;
}

std::string ChangeSession::ChangeTextOf(const std::string& ip) const
{
    return m_tracker ? m_tracker->ChangeTextOf(ip) : std::string();
}

} // namespace tessvale
