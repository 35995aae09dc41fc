#include "app/window_hooks.h"

#include <QMessageBox>

#include "app/chart_window.h"
#include "app/ui_text.h"

namespace tessvale {
namespace {

void NotAvailable(QWidget* owner)
{
    QMessageBox::information(owner, QStringLiteral("Tessvale"), QUiText("This command is not available yet."));
}

} // namespace

void RunSettingsDialogCommand(QWidget* owner, ConfigStore&)
{
    NotAvailable(owner);
}

void RunFavoritesDialogCommand(QWidget* owner, ConfigStore&)
{
    NotAvailable(owner);
}

void DrawFlowChartCommand(QWidget* owner, const std::vector<std::vector<std::string>>& rows)
{
    RunChartForWindow(owner, rows);
}

void CheckForUpdatesCommand(QWidget* owner, int mode)
{
    // Only the user's own request gets an answer; the automatic checks stay silent.
    if (mode == 0) {
        NotAvailable(owner);
    }
}

} // namespace tessvale
