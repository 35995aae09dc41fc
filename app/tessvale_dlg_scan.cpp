// The main window's scans: the engine's messages handed to the window's thread, the
// rows they bring, the comparison with the baseline, the commands that start and stop
// a scan, and the questions at the end of one.
#include <algorithm>
#include <array>
#include <climits>

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QLineEdit>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include "app/list_columns.h"
#include "app/logic/call_bridge.h"
#include "app/logic/command_ids.h"
#include "app/logic/end_of_scan.h"
#include "app/logic/list_export.h"
#include "app/logic/window_guards.h"
#include "app/result_list_model.h"
#include "app/tessvale_dlg.h"
#include "app/window_environment.h"
#include "app/window_prompts.h"
#include "dialogs/address_edit.h"
#include "dialogs/ui_text.h"
#include "scan/address_forms.h"
#include "store/config_record.h"

namespace tessvale {
namespace {

// "2 new, 1 gone, 1 conflict" in the language shown: the counts that are not zero, a
// host whose MAC and name changed counted once.
QString ChangeSummaryText(const std::vector<HostChange>& changes)
{
    const ChangeCounts counts = CountChanges(changes);
    const std::array<std::pair<int, QString>, 4> parts = {{{counts.added, QUiText("%1 new")},
                                                           {counts.gone, QUiText("%1 gone")},
                                                           {counts.changed, QUiText("%1 changed")},
                                                           {counts.conflicts, QUiText("%1 conflict")}}};
    QStringList shown;
    for (const auto& [count, form] : parts) {
        if (count > 0) {
            shown << form.arg(count);
        }
    }
    return shown.join(QStringLiteral(", "));
}

// Applies a change of the list inside the model's notice of it: an inserted row where
// the list placed it, else the row that changed.
template <class Apply> void ApplyPlaced(ResultListModel& model, const ResultList::Change& at, const Apply& apply)
{
    if (at.inserted) {
        model.BeginInsert(at.row);
        apply();
        model.EndInsert();
    } else {
        apply();
        model.RowChanged(at.row);
    }
}

} // namespace

template <class Handler> void CTessvaleDlg::Deliver(Handler&& handler)
{
    if (QThread::currentThread() == thread()) {
        handler();
        return;
    }
    // The call waits in the window's own queue, not as a Qt event: a stop that drains
    // the workers from inside a posted event (the engine's Stop request) runs the queue
    // itself, where Qt would not deliver a posted event nested in another.
    m_calls.CallAndWait(std::function<void()>(std::forward<Handler>(handler)));
}

void CTessvaleDlg::WakeForCalls()
{
    QMetaObject::invokeMethod(
        this, [this] { m_calls.RunPending(); }, Qt::QueuedConnection);
}

std::function<void()> CTessvaleDlg::EventPump()
{
    return [this] {
        m_calls.RunPending();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        m_calls.RunPending();
    };
}

void CTessvaleDlg::ScanStarted(int total)
{
    m_stepsDone = 0;
    m_stepThrottle.Reset();
    m_addressThrottle.Reset();
    // The engine has drained the previous scan's workers: requests from now on are the
    // new scan's (see BeginScan).
    ++m_scanNumber;
    Deliver([this, total] {
        m_progress->setRange(0, std::max(total, 1));
        m_progress->setValue(0);
    });
}

void CTessvaleDlg::ScanStep()
{
    // Counted on the worker; shown when the throttle lets it through and at the finish.
    const int done = ++m_stepsDone;
    if (m_stepThrottle.Due()) {
        Deliver([this, done] { m_progress->setValue(std::clamp(done, m_progress->value(), m_progress->maximum())); });
        return;
    }
    // The last count of a burst is shown a moment later, without waiting for the window.
    if (!m_stepFlushPending.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                QTimer::singleShot(50, this, [this] {
                    m_stepFlushPending = false;
                    if (m_state.Busy()) {
                        m_progress->setValue(
                            std::clamp(m_stepsDone.load(), m_progress->value(), m_progress->maximum()));
                    }
                });
            },
            Qt::QueuedConnection);
    }
}

void CTessvaleDlg::HostFound(const HostRecord& record)
{
    Deliver([this, &record] { HandleHostFound(record); });
}

void CTessvaleDlg::ScanFinished()
{
    Deliver([this] {
        m_progress->setValue(std::clamp(m_stepsDone.load(), m_progress->value(), m_progress->maximum()));
        HandleScanFinished();
    });
}

void CTessvaleDlg::ScanAddress(const std::string& address)
{
    if (!m_addressThrottle.Due()) {
        return;
    }
    Deliver([this, &address] { SetStatus(FormatOne(QUiString(IDS_SCANNING), ToQString(address))); });
}

void CTessvaleDlg::HostSilent(const std::string& address)
{
    Deliver([this, &address] { HandleHostSilent(address); });
}

void CTessvaleDlg::HostsSilent(std::span<const std::uint32_t> addresses)
{
    if (addresses.empty()) {
        return;
    }
    // One hand-over to the window's thread for the whole batch; the status line and the
    // bar move as for single addresses.
    ScanAddress(FormatIpv4(addresses.back()));
    Deliver([this, addresses] {
        for (const std::uint32_t address : addresses) {
            HandleHostSilent(FormatIpv4(address));
        }
    });
    m_stepsDone += static_cast<int>(addresses.size()) - 1;
    ScanStep();
}

void CTessvaleDlg::PostStopCommand()
{
    // The request belongs to the scan running now: when that one has already ended,
    // a late Stop must not end the next, nor a stop or start that drains the workers.
    const unsigned scan = m_scanNumber.load();
    QMetaObject::invokeMethod(
        this,
        [this, scan] {
            if (scan == m_scanNumber.load() && m_state.Busy() && !m_starting && !m_stopping) {
                OnCommand(kIdStop);
            }
        },
        Qt::QueuedConnection);
}

std::string CTessvaleDlg::LookupText()
{
    std::lock_guard lock(m_lookupMutex);
    return m_lookupShared;
}

void CTessvaleDlg::HandleHostFound(const HostRecord& record)
{
    // Find where the row goes before touching the model, so that the view learns of the
    // insertion in the right order.
    const ResultList::Change change = m_results.Placement(record);
    ApplyPlaced(*m_model, change, [&] { m_results.HostFound(record); });
    // An updated row whose sorted text changed moves to its place.
    int row = change.row;
    if (const int to = m_results.SortedIndexOf(row); to != row) {
        m_model->BeginMove(row, to);
        m_results.MoveRow(row, to);
        m_model->EndMove();
        row = to;
    }
    // Compared with the baseline, and remembered as the range's previous scan.
    m_changes.Answered(SnapshotOf(record));
    MarkChangesOf(record.ip);
    ApplyFilterTo(row);
}

void CTessvaleDlg::MarkChangesOf(const std::string& ip)
{
    const std::vector<HostChange> changes = m_changes.ChangesOf(ip);
    if (changes.empty()) {
        return;
    }
    const int row = m_results.MarkChange(ip, m_changes.ChangeTextOf(ip), TintOf(changes));
    if (row >= 0) {
        m_model->RowChanged(row);
    }
}

void CTessvaleDlg::BeginComparison()
{
    // The baseline: the stored result the chooser shows, else this range's previous
    // scan; an AutoScan repetition after the first compares with the one before.
    std::optional<std::vector<HostSnapshot>> stored;
    const int index = m_chooser->currentIndex();
    if (index >= 0 && m_chooser->itemData(index).toUInt() != 0) {
        // A favorite without hosts yet (never scanned) is no baseline: else its first
        // scan would mark every host new.
        const std::vector<StoredHost> hosts = m_env.StoredHosts(m_chooser->itemData(index).toUInt());
        if (!hosts.empty()) {
            stored = SnapshotsOf(hosts);
        }
    }
    const bool repetition = m_state.AutoScan() && !m_firstAutoRepetition;
    m_firstAutoRepetition = false;
    bool comparing = false;
    if (m_state.MacSearch()) {
        m_changes.BeginWithout(); // a search for one MAC ends early: nothing is gone
    } else {
        comparing = m_changes.Begin(FirstAddressText() + "-" + LastAddressText(), stored, repetition);
    }
    m_model->BeginReset();
    m_results.ClearChanges();
    m_model->EndReset();
    m_columns->SetComparing(comparing);
    FitColumnsToHeaders();
    ApplyFilter();
}

void CTessvaleDlg::FinishComparison()
{
    const bool comparing = m_changes.Comparing();
    for (const HostChange& gone : m_changes.Finished()) {
        const HostSnapshot host{gone.ip, gone.mac.empty() ? gone.oldMac : gone.mac, gone.name, {}};
        const ResultList::Change at = m_results.Placement(host);
        ApplyPlaced(*m_model, at, [&] { m_results.MarkGone(host); });
        ApplyFilterTo(at.row);
    }
    if (comparing) {
        ReportChanges();
    }
}

void CTessvaleDlg::ReportChanges()
{
    const std::vector<HostChange>& changes = m_changes.Changes();
    if (changes.empty() || !m_state.AutoScan()) {
        return;
    }
    // What AutoScan finds goes into the change log, so that a night can be read back.
    const std::string time = ToStdString(QDateTime::currentDateTime().toString(Qt::ISODate));
    const std::string log = m_env.DataFolder() + "/changes.csv";
    if (!AppendChangeLog(log, changes, time, Notes())) {
        SetStatus(QUiText("The change log could not be written."));
    }
    if (isHidden()) {
        m_changesNotified = true;
        const QString text = ChangeSummaryText(changes);
        if (m_notify) {
            m_notify(QStringLiteral("Tessvale"), text);
        } else if (m_tray != nullptr && QSystemTrayIcon::supportsMessages()) {
            m_tray->showMessage(QStringLiteral("Tessvale"), text, QSystemTrayIcon::Information);
        }
    }
}

void CTessvaleDlg::HandleHostSilent(const std::string& address)
{
    for (int row : m_results.HostSilent(address)) {
        m_model->RowChanged(row);
    }
}

void CTessvaleDlg::HandleScanFinished()
{
    m_progress->setValue(0);
    if (m_stopping || m_closing) {
        ShowCounts();
        return; // a stop in progress sets the state itself; no end-of-scan questions
    }
    FinishComparison();
    ShowCounts(); // the gone rows the comparison added count as well
    const EndOfScan end = m_state.Finished(m_results.Count());
    ApplyControls();
    if (end.offerSave) {
        // The questions run after this message has been answered, so that the worker
        // that reported the end is not held while the user decides.
        QMetaObject::invokeMethod(
            this, [this] { OfferSaveAndChart(); }, Qt::QueuedConnection);
    }
}

void CTessvaleDlg::OfferSaveAndChart()
{
    if (m_closing || m_results.Count() == 0) {
        return;
    }
    showNormal();
    raise();
    activateWindow();
    AskAtEndOfScan({
        .closing = [this] { return m_closing; },
        .askSave =
            [this](bool& dontAsk) {
                return m_prompts.RunSavePrompt(this, m_results.AnyHostNameMissing(), m_results.AnyCpuMissing(),
                                               dontAsk);
            },
        .askChart =
            [this](bool& dontAsk) {
                return m_prompts.AskYesNoOnce(this, QUiText("Do you want to use Visio to draw the flow chart?"),
                                              dontAsk);
            },
        .save = [this] { OnCommand(kIdSave); },
        .drawChart = [this] { OnCommand(kIdDrawChart); },
        .setting = [this](const std::string& key) { return m_env.Setting(key); },
        .setSetting = [this](const std::string& key, const std::string& value) { m_env.SetSetting(key, value); },
    });
}

void CTessvaleDlg::ReloadSettings()
{
    m_state.SetAutoscanSpan(m_env.Setting(kAutoscanSpanSeconds));
}

void CTessvaleDlg::OnStart()
{
    if (!m_state.MacSearch() && !m_state.Busy() && !RangeAcceptable()) {
        if (m_state.AutoScan()) {
            OnStop(); // a repetition over a range that was edited meanwhile ends AutoScan
        }
        return;
    }
    if (!m_state.Start(RangeComplete())) {
        return;
    }
    BeginScan();
    const std::string first = FirstAddressText();
    const std::string last = LastAddressText();
    BeginComparison();
    SetStatusId(IDS_START_SCAN);
    m_listView->setFocus();
    ApplyControls();
    m_results.ResetCounters();
    StartEngine(first, last, m_state.MacSearch());
}

void CTessvaleDlg::BeginScan()
{
    // Stop requests of the scan before this one are void from here; ScanStarted voids
    // those its workers send while the engine drains them.
    ++m_scanNumber;
}

void CTessvaleDlg::StartEngine(const std::string& first, const std::string& last, bool macLookup)
{
    // The engine first drains the previous scan's workers, serving their calls.
    m_starting = true;
    m_scan.StartScan(first, last, this, macLookup);
    m_starting = false;
}

void CTessvaleDlg::DrainScan()
{
    m_stopping = true;
    m_scan.StopAndDrain(EventPump());
    m_stopping = false;
}

void CTessvaleDlg::OnStop()
{
    m_autoScanTimer->stop();
    DrainScan();
    m_changes.Abandon();
    SetStatusId(IDS_SCAN_STOPPED);
    m_state.Stop();
    ApplyControls();
    m_progress->setValue(0);
}

void CTessvaleDlg::OnLookup()
{
    m_strLookup = m_lookupEdit->text().trimmed();
    const std::string text = ToStdString(m_strLookup);
    {
        std::lock_guard lock(m_lookupMutex);
        m_lookupShared = text;
    }
    // The list is emptied only when a lookup starts, and only after asking when it
    // holds an unsaved result; the untouched hint "IP/MAC" is neither form and gets the
    // explanation.
    const bool macSearch = !ParseDottedQuad(text) && ParseMac(text) && RangeComplete();
    if (macSearch && !RangeAcceptable()) {
        return;
    }
    if ((ParseDottedQuad(text) || macSearch) && !MayReplaceList()) {
        return;
    }
    switch (m_state.Lookup(text, RangeComplete())) {
    case LookupAction::ScanAddress:
        BeginScan();
        m_changes.BeginWithout();
        ClearList();
        ApplyControls();
        StartEngine(text, text, false);
        break;
    case LookupAction::AskForRange:
        m_prompts.ShowMessage(this, QUiString(IDS_ENTER_RANGE));
        break;
    case LookupAction::SearchMac:
        BeginScan();
        ClearList();
        ApplyControls();
        QMetaObject::invokeMethod(
            this, [this] { OnCommand(kIdStart); }, Qt::QueuedConnection);
        break;
    case LookupAction::Invalid:
    case LookupAction::Nothing:
        m_prompts.ShowMessage(this,
                              QUiText("Enter an IP address (192.168.1.10) or a MAC address (00:11:22:AA:BB:CC)."));
        break;
    }
}

void CTessvaleDlg::OnRescan()
{
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const std::string ip = m_results.Row(row).Ip();
    m_state.Rescan();
    m_changes.BeginWithout();
    BeginScan();
    ApplyControls();
    StartEngine(ip, ip, false);
}

void CTessvaleDlg::OnAutoScan()
{
    ReloadSettings();
    if (!m_state.StartAutoScan(RangeComplete())) {
        return;
    }
    m_firstAutoRepetition = true;
    OnCommand(kIdStart);
    ReloadSettings();
    m_autoScanTimer->start(static_cast<int>(std::min<long long>(m_state.AutoScanPeriodMs(), INT32_MAX)));
}

} // namespace tessvale
