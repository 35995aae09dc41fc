#include "app/host_actions.h"

#include <algorithm>

#include <QClipboard>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QProcess>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>

#include "app/desktop_open.h"
#include "app/logic/command_ids.h"
#include "app/logic/host_commands.h"
#include "app/ping_window.h"
#include "app/tessvale_dlg.h"
#include "app/window_prompts.h"
#include "dialogs/ui_text.h"

namespace tessvale {

const std::vector<HostCommand>& HostCommands()
{
    static const std::vector<HostCommand> commands = {
        {kIdCopyIp, &CTessvaleDlg::OnCopyIp},     {kIdCopyMac, &CTessvaleDlg::OnCopyMac},
        {kIdCopyName, &CTessvaleDlg::OnCopyName}, {kIdWebHttps, &CTessvaleDlg::OnWebHttps},
        {kIdSsh, &CTessvaleDlg::OnSsh},           {kIdPing, &CTessvaleDlg::OnPing},
    };
    return commands;
}

bool CTessvaleDlg::RunHostCommand(int commandId)
{
    const auto& commands = HostCommands();
    const auto it = std::ranges::find(commands, commandId, &HostCommand::id);
    if (it == commands.end()) {
        return false;
    }
    (this->*(it->handler))();
    return true;
}

void CTessvaleDlg::CopyColumn(int column)
{
    // One line per selected row, top to bottom.
    std::vector<int> rows;
    for (const QModelIndex& index : m_listView->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::ranges::sort(rows);
    QStringList lines;
    for (const int row : rows) {
        lines << ToQString(m_results.Row(row).text[static_cast<std::size_t>(column)]);
    }
    if (!lines.isEmpty()) {
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
    }
}

void CTessvaleDlg::OnCopyIp()
{
    CopyColumn(kColumnIp);
}

void CTessvaleDlg::OnCopyMac()
{
    CopyColumn(kColumnMac);
}

void CTessvaleDlg::OnCopyName()
{
    CopyColumn(kColumnHostName);
}

void CTessvaleDlg::OnWebHttps()
{
    const int row = SelectedRow();
    if (row >= 0) {
        OpenLink(QUrl(ToQString(WebAddress(m_results.Row(row).Ip(), true))));
    }
}

void CTessvaleDlg::OnSsh()
{
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    const std::string ip = m_results.Row(row).Ip();
    const auto command = SshCommand(
        ip, [](const std::string& program) { return !QStandardPaths::findExecutable(ToQString(program)).isEmpty(); });
    if (command) {
        QStringList arguments;
        for (std::size_t i = 1; i < command->size(); ++i) {
            arguments << ToQString((*command)[i]);
        }
        if (QProcess::startDetached(ToQString(command->front()), arguments)) {
            return;
        }
    }
    // No terminal: the desktop's handler of ssh:// addresses, if it has one.
    if (!ParseDottedQuad(ip) || !OpenWithDesktop(QUrl(QStringLiteral("ssh://") + ToQString(ip)))) {
        m_prompts.ShowMessage(
            this, QUiText("No terminal was found to run ssh %1. Install a terminal such as xterm.").arg(ToQString(ip)));
    }
}

void CTessvaleDlg::OnPing()
{
    const int row = SelectedRow();
    if (row < 0) {
        return;
    }
    auto* window = new PingWindow(ToQString(m_results.Row(row).Ip()), this);
    window->show();
}

} // namespace tessvale
