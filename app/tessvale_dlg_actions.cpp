// The main window's commands on the list and the files: Save, the exports, Copy, the
// host programs, Delete, the links and folders, the dialogs, and closing the window.
#include <algorithm>
#include <functional>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QItemSelectionModel>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

#include "app/desktop_open.h"
#include "app/logic/command_ids.h"
#include "app/logic/list_export.h"
#include "app/logic/remote_desktop.h"
#include "app/result_list_model.h"
#include "app/tessvale_dlg.h"
#include "app/window_environment.h"
#include "app/window_prompts.h"
#include "common/text_util.h"
#include "dialogs/ui_text.h"
#include "store/save_failure.h"

namespace tessvale {
namespace {

// The message of an export that could not be written (the reason follows it).
constexpr const char* kWriteFailedMessage = "The file could not be written.";

class SaveUi : public StoreScanUi
{
public:
    SaveUi(WindowPrompts& prompts, QWidget* owner, QString proposal, std::function<void(const std::string&)> changed)
        : m_prompts(prompts), m_owner(owner), m_proposal(std::move(proposal)), m_changed(std::move(changed))
    {}
    std::string AskResultName() override { return ToStdString(m_prompts.AskResultName(m_owner, m_proposal)); }
    void RangesChanged(const std::string& newName) override { m_changed(newName); }
    void SaveFailed(const FileError& error) override
    {
        m_prompts.ShowMessage(m_owner, ToQString(SaveFailureText("The result could not be saved.", error)));
    }

private:
    WindowPrompts& m_prompts;
    QWidget* m_owner;
    QString m_proposal;
    std::function<void(const std::string&)> m_changed;
};

} // namespace

void CTessvaleDlg::OnOk()
{
    CloseWindow(QDialog::Accepted);
}

void CTessvaleDlg::OnCancel()
{
    CloseWindow(QDialog::Rejected);
}

void CTessvaleDlg::OnWeb()
{
    const int row = SelectedRow();
    if (row >= 0) {
        OpenLink(QUrl(QStringLiteral("http://") + ToQString(m_results.Row(row).Ip())));
    }
}

void CTessvaleDlg::OnFavorites()
{
    m_env.RunFavoritesDialog(this);
    RangesChanged();
}

void CTessvaleDlg::OnAbout()
{
    m_prompts.ShowAbout(this);
}

void CTessvaleDlg::OnHome()
{
    OpenLink(QUrl(QStringLiteral(TESSVALE_HOME_URL)));
}

void CTessvaleDlg::OnFeedback()
{
    OpenLink(QUrl(QStringLiteral(TESSVALE_HOME_URL "/feedback.htm")));
}

void CTessvaleDlg::OnFaceBook()
{
    OpenLink(QUrl(QStringLiteral("https://www.facebook.com/tessvale")));
}

void CTessvaleDlg::OnInstallFolder()
{
    OpenLink(QUrl::fromLocalFile(QCoreApplication::applicationDirPath()));
}

void CTessvaleDlg::OnDataFolder()
{
    OpenLink(QUrl::fromLocalFile(ToQString(m_env.DataFolder())));
}

void CTessvaleDlg::OnDrawChart()
{
    std::vector<ListRowTexts> rows;
    for (const ResultRow& row : m_results.Rows()) {
        rows.emplace_back(row.text.begin() + kColumnIp, row.text.end());
    }
    m_env.DrawFlowChart(this, rows);
}

void CTessvaleDlg::OnCheckUpdates()
{
    m_env.CheckForUpdates(this, 0);
}

void CTessvaleDlg::OnSettings()
{
    m_env.RunSettingsDialog(this);
    ReloadSettings();
    m_state.AfterSettings();
    m_toolActions[kIdAutoScan]->setEnabled(m_state.Controls().autoScan);
}

void CTessvaleDlg::OnSave()
{
    SaveResult();
}

bool CTessvaleDlg::SaveResult()
{
    const int index = m_chooser->currentIndex();
    if (index < 0 || m_chooser->itemText(index).isEmpty()) {
        return false;
    }
    const std::string first = FirstAddressText();
    const std::string last = LastAddressText();
    const std::string text = ToStdString(m_chooser->itemText(index));
    const std::uint32_t id = m_chooser->itemData(index).toUInt();
    SaveUi ui(m_prompts, this, ToQString(first + "-" + last), [this](const std::string& name) {
        RangesChanged();
        // Select the new entry without reloading the list. Names are matched exactly
        // ("LAB100" and "lab100" are two results); the new result is the last of its name.
        int found = -1;
        for (int i = m_chooser->count() - 1; i >= 0 && found < 0; --i) {
            if (m_chooser->itemData(i).toUInt() != 0 && m_chooser->itemText(i) == ToQString(name)) {
                found = i;
            }
        }
        if (found >= 0) {
            const QSignalBlocker block(m_chooser);
            m_chooser->setCurrentIndex(found);
            m_chooserShown = found;
        }
    });
    if (m_env.StoreScan(ui, id, first, last, m_results.ToStoredHosts()) == 0) {
        return false;
    }
    SetStatusId(IDS_SAVED);
    return true;
}

void CTessvaleDlg::OnSaveAs()
{
    const int index = m_chooser->currentIndex();
    if (index < 0) {
        return;
    }
    const auto choice = m_prompts.ChooseExportFile(this, m_chooser->itemText(index), ExportOffer::List);
    if (!choice) {
        return;
    }
    const std::string path = ExportPath(ToStdString(choice->path), choice->type);
    if (QFile::exists(ToQString(path)) && !m_prompts.AskYesNo(this, QUiString(IDS_FILE_EXISTS))) {
        return;
    }
    const FileError error = WriteExportFileReporting(path, FormatExport(m_results.Rows(), choice->type));
    if (error) {
        m_prompts.ShowMessage(this, ToQString(SaveFailureText(kWriteFailedMessage, error)));
    }
}

void CTessvaleDlg::OnExportChanges()
{
    const auto choice = m_prompts.ChooseExportFile(this, QUiText("changes"), ExportOffer::Changes);
    if (!choice) {
        return;
    }
    // The change list is CSV, the one type offered.
    std::string path = ToStdString(choice->path);
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        path.erase(dot);
    }
    path += ".csv";
    if (QFile::exists(ToQString(path)) && !m_prompts.AskYesNo(this, QUiString(IDS_FILE_EXISTS))) {
        return;
    }
    const std::string time = ToStdString(QDateTime::currentDateTime().toString(Qt::ISODate));
    const FileError error = WriteExportFileReporting(path, FormatChangeLines(m_changes.Changes(), time, Notes(), true));
    if (error) {
        m_prompts.ShowMessage(this, ToQString(SaveFailureText(kWriteFailedMessage, error)));
    }
}

void CTessvaleDlg::OnCopy()
{
    // Every selected row in list order, one line each; with none the blank line.
    std::vector<int> rows;
    for (const QModelIndex& index : m_listView->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::ranges::sort(rows);
    std::string text = rows.empty() ? CopyText(nullptr) : std::string();
    for (const int row : rows) {
        text += (text.empty() ? "" : "\n") + CopyText(&m_results.Row(row));
    }
    QGuiApplication::clipboard()->setText(ToQString(text));
}

void CTessvaleDlg::OnRemoteDesktop()
{
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const auto command = RemoteDesktopCommand(m_results.Row(row).Ip(), [](const std::string& program) {
        return !QStandardPaths::findExecutable(ToQString(program)).isEmpty();
    });
    if (!command) {
        m_prompts.ShowMessage(this, QUiText("No Remote Desktop client was found. Install xfreerdp or Remmina."));
        return;
    }
    QStringList arguments;
    for (std::size_t i = 1; i < command->size(); ++i) {
        arguments << ToQString((*command)[i]);
    }
    if (!QProcess::startDetached(ToQString(command->front()), arguments)) {
        m_prompts.ShowMessage(this, QUiText("The Remote Desktop client could not be started."));
    }
}

void CTessvaleDlg::OnDeleteSelected()
{
    OnDelete(false);
}

void CTessvaleDlg::OnDeleteAll()
{
    OnDelete(true);
}

void CTessvaleDlg::OnDelete(bool all)
{
    // The question says what goes: rows of the list, not a stored result.
    const int count = all ? m_results.Count() : static_cast<int>(m_listView->selectionModel()->selectedRows().size());
    if (count == 0) {
        return;
    }
    const QString question =
        all          ? QUiText("Delete all %1 rows from the list? Stored results keep theirs.").arg(count)
        : count == 1 ? QUiText("Delete the row of %1 from the list? Stored results keep it.")
                           .arg(ToQString(m_results.Row(SelectedRow()).Ip()))
                     : QUiText("Delete the %1 selected rows from the list? Stored results keep them.").arg(count);
    if (!m_prompts.AskYesNo(this, question)) {
        return;
    }
    if (all) {
        ClearList();
        return;
    }
    // Every selected row goes, the lowest last so that the indices stay valid.
    std::vector<int> rows;
    for (const QModelIndex& index : m_listView->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    m_model->BeginReset();
    for (int row : rows) {
        m_results.RemoveRow(row);
    }
    m_model->EndReset();
    if (m_statusCounts) {
        ShowCounts();
    }
}

void CTessvaleDlg::CloseWindow(int result, bool ask)
{
    if (m_closing) {
        return;
    }
    // One question, and only where closing would lose work: a running scan or rows that
    // were never stored.
    if (ask && (m_state.Busy() || HoldsUnsavedResult()) &&
        !m_prompts.AskYesNo(this, QUiText("Quit and discard the current result?"))) {
        return;
    }
    m_closing = true;
    SaveLayout();
    m_autoScanTimer->stop();
    m_updateTimer->stop();
    DrainScan();
    emit ExitSignalled();
    m_tray->hide();
    QDialog::done(result);
}

} // namespace tessvale
