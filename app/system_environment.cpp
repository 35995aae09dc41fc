#include "app/system_environment.h"

#include <QPointer>
#include <QWidget>

#include "app/chart_window.h"
#include "app/desktop_open.h"
#include "app/logic/store_scan.h"
#include "app/window_hooks.h"
#include "app/window_translation.h"
#include "chart/chart_command.h"
#include "chart/vsdx_canvas.h"
#include "common/paths.h"
#include "dialogs/qt_text.h"
#include "scan/address_forms.h"
#include "scan/wake_on_lan.h"
#include "store/config_record.h"

namespace tessvale {

SystemEnvironment::SystemEnvironment(ConfigStore& store, int maxWorkers) : m_store(store), m_maxWorkers(maxWorkers) {}

std::vector<AdapterEntry> SystemEnvironment::Adapters()
{
    return ListAdapters();
}

std::optional<HostRange> SystemEnvironment::DefaultRange(const std::string& localAddress)
{
    const std::string mask = LookupMask(localAddress);
    if (mask.empty()) {
        return std::nullopt;
    }
    const auto range = tessvale::DefaultRange(localAddress, mask);
    if (!range) {
        return std::nullopt;
    }
    return HostRange{FormatIpv4(range->start), FormatIpv4(range->end)};
}

std::vector<StoredResultEntry> SystemEnvironment::StoredResults()
{
    return StoredResultsOf(m_store);
}

std::map<std::string, std::string> SystemEnvironment::Notes()
{
    return m_store.Notes();
}

std::vector<StoredHost> SystemEnvironment::StoredHosts(std::uint32_t resultId)
{
    return StoredHostsOf(m_store, resultId);
}

std::string SystemEnvironment::Setting(const std::string& key)
{
    return m_store.LoadSettings().Value(key);
}

std::uint32_t SystemEnvironment::StoreScan(StoreScanUi& ui, std::uint32_t resultId, const std::string& first,
                                           const std::string& last, const std::vector<StoredHost>& rows)
{
    return tessvale::StoreScan(m_store, ui, resultId, first, last, rows);
}

std::string SystemEnvironment::DataFolder()
{
    return tessvale::DataFolder();
}

void SystemEnvironment::SetSetting(const std::string& key, const std::string& value)
{
    ConfigRecord settings = m_store.LoadSettings(ConfigStore::MissingSettings::Create);
    if (settings.SetValue(key, value)) {
        m_store.SaveSettings(settings); // a failed save asks again next time, nothing worse
    }
}

bool SystemEnvironment::WakeOnLan(const std::string& mac)
{
    return SendWakeOnLan(mac) == 1;
}

void SystemEnvironment::RunSettingsDialog(QWidget* owner)
{
    RunSettingsDialogCommand(owner, m_store, m_maxWorkers);
}

void SystemEnvironment::RunFavoritesDialog(QWidget* owner)
{
    RunFavoritesDialogCommand(owner, m_store);
}

void SystemEnvironment::DrawFlowChart(QWidget* owner, const std::vector<ListRowTexts>& rows)
{
    ChartWindowMessages messages(owner);
    VsdxCanvasProvider canvas;
    const ChartPaths paths = DefaultChartPaths();
    if (RunChartCommand(ChartListsFromRows(rows), messages, canvas, paths)) {
        // The saved drawing opens in the desktop's drawing program, where the user goes
        // on editing it; without one, the user learns where the file is.
        const QString path = ToQString(paths.savePath);
        QPointer<QWidget> window(owner);
        OpenFileWithDesktop(owner, path, [window, path] {
            ShowMessage(window, ChartNotOpenedText(path), QStringLiteral("Tessvale"), kMbOk | kMbIconInformation);
        });
    }
}

void SystemEnvironment::CheckForUpdates(QWidget* owner, int mode)
{
    CheckForUpdatesCommand(owner, mode);
}

} // namespace tessvale
