#include "app/window_hooks.h"

#include <QMessageBox>

#include "app/ui_text.h"
#include "common/update_check.h"

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

void DrawFlowChartCommand(QWidget* owner, const std::vector<std::vector<std::string>>&)
{
    NotAvailable(owner);
}

void CheckForUpdatesCommand(QWidget* /*owner*/, int mode)
{
    // The check runs in a second copy of the program, which shows its own messages; the
    // main window neither waits for it nor learns its result.
    LaunchUpdateCheck(mode);
}

} // namespace tessvale
