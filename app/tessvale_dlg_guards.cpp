// The main window's guards of the user's work and of the typed range, the chooser and
// the filter of the list, the status bar's counts and the launchers of its host commands.
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QUrl>

#include "app/desktop_open.h"
#include "app/icons.h"
#include "app/list_columns.h"
#include "app/logic/headless_scan.h"
#include "app/logic/window_guards.h"
#include "app/result_list_model.h"
#include "app/tessvale_dlg.h"
#include "app/window_environment.h"
#include "app/window_prompts.h"
#include "dialogs/address_edit.h"
#include "dialogs/ui_text.h"
#include "scan/wake_on_lan.h"

namespace tessvale {

void CTessvaleDlg::OnChooserPicked()
{
    const int wanted = m_chooser->currentIndex();
    if (wanted == m_chooserShown) {
        return;
    }
    if (m_chooserShown >= 0 && m_chooserShown < m_chooser->count()) {
        // The shown entry stays chosen while the user decides (and while Save stores it).
        {
            const QSignalBlocker block(m_chooser);
            m_chooser->setCurrentIndex(m_chooserShown);
        }
        if (!MayReplaceList()) {
            return;
        }
        const QSignalBlocker block(m_chooser);
        m_chooser->setCurrentIndex(wanted);
    }
    ApplyChooserSelection();
}

bool CTessvaleDlg::MayReplaceList()
{
    const bool unsaved = HoldsUnsavedResult();
    std::optional<UnsavedAnswer> answer;
    if (unsaved) {
        answer = m_prompts.AskSaveFirst(
            this, QUiText("The list holds a result that is not saved. Save it before it is replaced?"));
    }
    switch (StepBeforeReplacing(unsaved, answer)) {
    case ReplaceStep::Go:
        return true;
    case ReplaceStep::SaveFirst:
        return SaveResult();
    case ReplaceStep::Stay:
        break;
    }
    return false;
}

bool CTessvaleDlg::RangeAcceptable()
{
    if (m_firstAddress->IsBlank() && m_lastAddress->IsBlank()) {
        m_prompts.ShowMessage(this, QUiString(IDS_ENTER_RANGE));
        return false;
    }
    const RangeEntry first = m_firstAddress->Entry();
    const RangeEntry last = m_lastAddress->Entry();
    const RangeProblem problem = CheckRange(first, last, kMaxRangeAddresses);
    if (problem == RangeProblem::None) {
        return true;
    }
    m_prompts.ShowMessage(this,
                          RangeProblemMessage(problem, RangeSize(first.address, last.address), kMaxRangeAddresses));
    (problem == RangeProblem::LastIncomplete ? m_lastAddress : m_firstAddress)->setFocus();
    return false;
}

void CTessvaleDlg::SetStatusId(int stringId)
{
    SetStatus(QUiString(stringId));
    m_statusId = stringId;
}

void CTessvaleDlg::ShowCounts()
{
    const RowCounts counts = CountRows(m_results.Rows());
    QString text = QUiString(IDS_ONLINE_OFFLINE);
    text = FormatOne(text, QString::number(counts.online));
    text = FormatOne(text, QString::number(counts.offline));
    SetStatus(text);
    m_statusCounts = true;
}

void CTessvaleDlg::OnProperties()
{
    const QModelIndex current = m_listView->currentIndex();
    int row = current.isValid() && m_listView->selectionModel()->isRowSelected(current.row(), QModelIndex())
                  ? current.row()
                  : SelectedRow();
    if (row < 0 || row >= m_results.Count()) {
        return;
    }
    // A host whose MAC changed shows the MAC it had as well.
    QString previousMac;
    for (const HostChange& change : m_changes.ChangesOf(m_results.Row(row).Ip())) {
        if (change.kind == HostChangeKind::MacChanged || change.kind == HostChangeKind::Conflict) {
            previousMac = ToQString(change.oldMac);
        }
    }
    m_prompts.ShowProperties(this, RowToRecord(m_results.Row(row)), previousMac);
    m_model->SetNotes(Notes()); // the dialog may have changed the note of the row
}

void CTessvaleDlg::OnWakeOnLan()
{
    // A gone row keeps the MAC it had: the host that is off is the one to wake.
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const QString mac = ToQString(m_results.Row(row).text[kColumnMac]);
    if (mac.isEmpty() || !m_env.WakeOnLan(ToStdString(mac))) {
        m_prompts.ShowMessage(this, QUiText("No magic packet was sent: \"%1\" is no MAC address.").arg(mac));
        return;
    }
    const WakeDestination destination;
    const QString text = QUiText("Magic packet sent to %1 via %2 port %3.")
                             .arg(mac, ToQString(FormatIpv4(destination.address)))
                             .arg(destination.port);
    SetStatus(text);
    m_prompts.ShowMessage(this, text);
}

void CTessvaleDlg::OpenLink(const QUrl& url)
{
    if (!OpenWithDesktop(url)) {
        m_prompts.ShowMessage(this, LauncherFailureText(url));
    }
}

bool CTessvaleDlg::HoldsUnsavedResult()
{
    if (m_results.Count() == 0) {
        return false;
    }
    // The entry the rows belong to: an adapter's range is stored nowhere yet.
    const int index = m_chooserShown;
    const std::uint32_t id = index >= 0 && index < m_chooser->count() ? m_chooser->itemData(index).toUInt() : 0;
    if (id == 0) {
        return HoldsUnsavedRows(m_results.ToStoredHosts(), nullptr);
    }
    const std::vector<StoredHost> stored = m_env.StoredHosts(id);
    return HoldsUnsavedRows(m_results.ToStoredHosts(), &stored);
}

void CTessvaleDlg::SetFilter(ListFilter filter)
{
    m_filter = filter;
    if (m_filterBox->currentIndex() != static_cast<int>(filter)) {
        const QSignalBlocker block(m_filterBox);
        m_filterBox->setCurrentIndex(static_cast<int>(filter));
    }
    ApplyFilter();
}

void CTessvaleDlg::ApplyFilterTo(int row)
{
    if (row >= 0 && row < m_results.Count()) {
        const ResultRow& shown = m_results.Row(row);
        // The typed text matches the change as shown (translated) as well.
        const bool matches =
            RowMatchesText(shown, ToStdString(m_filterText)) ||
            (!shown.change.empty() && ShownChangeText(shown.change).contains(m_filterText, Qt::CaseInsensitive));
        m_listView->setRowHidden(row, QModelIndex(), !RowPasses(shown, m_filter) || !matches);
    }
}

void CTessvaleDlg::ApplyFilter()
{
    for (int row = 0; row < m_results.Count(); ++row) {
        ApplyFilterTo(row);
    }
}

void CTessvaleDlg::SetNoteSource(std::function<std::map<std::string, std::string>()> notes)
{
    m_notes = std::move(notes);
    m_model->SetNotes(Notes());
}

std::map<std::string, std::string> CTessvaleDlg::Notes() const
{
    return m_notes ? m_notes() : m_env.Notes();
}

void CTessvaleDlg::FillChooser()
{
    const int remembered = m_chooser->currentIndex();
    {
        const QSignalBlocker block(m_chooser);
        m_chooser->clear();
        for (const AdapterEntry& adapter : m_env.Adapters()) {
            m_chooser->addItem(ChooserIcon(false), ToQString(adapter.address + "(" + adapter.description + ")"), 0u);
        }
        for (const StoredResultEntry& result : m_env.StoredResults()) {
            m_chooser->addItem(ChooserIcon(true), ToQString(result.name), result.id);
        }
        if (remembered >= 0 && remembered < m_chooser->count()) {
            m_chooser->setCurrentIndex(remembered);
            return;
        }
        m_chooser->setCurrentIndex(m_chooser->count() > 0 ? 0 : -1);
    }
    ApplyChooserSelection();
}

void CTessvaleDlg::RangesChanged()
{
    FillChooser();
}

void CTessvaleDlg::ClearList()
{
    m_model->BeginReset();
    m_results.Clear();
    m_model->EndReset();
    m_columns->SetComparing(false);
    if (m_statusCounts) {
        SetStatusId(IDS_STATUS); // no counts beside an empty list
    }
}

void CTessvaleDlg::ApplyChooserSelection()
{
    ClearList();
    const int index = m_chooser->currentIndex();
    m_chooserShown = index;
    if (index < 0) {
        return;
    }
    const std::string text = ToStdString(m_chooser->itemText(index));
    const std::string name = text.substr(0, text.find('('));
    if (const auto range = m_env.DefaultRange(name)) {
        m_firstAddress->SetText(ToQString(range->first));
        m_lastAddress->SetText(ToQString(range->last));
    } else {
        m_firstAddress->Clear();
        m_lastAddress->Clear();
    }
    const std::uint32_t id = m_chooser->itemData(index).toUInt();
    if (id == 0) {
        return;
    }
    for (const StoredResultEntry& result : m_env.StoredResults()) {
        if (result.id == id) {
            const std::size_t dash = result.ipRange.find('-');
            m_firstAddress->SetText(ToQString(result.ipRange.substr(0, dash)));
            m_lastAddress->SetText(dash == std::string::npos ? QString() : ToQString(result.ipRange.substr(dash + 1)));
            break;
        }
    }
    m_model->BeginReset();
    for (const StoredHost& host : m_env.StoredHosts(id)) {
        m_results.AppendStored(host);
    }
    m_model->EndReset();
    ApplyFilter();
}

} // namespace tessvale
