// Commands of the main window that other modules carry out. Each module fills its
// function here; until then the command tells the user that it is not available.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace tessvale {

class ConfigStore;

// The settings dialog (modal).
void RunSettingsDialogCommand(QWidget* owner, ConfigStore& store);
// The favorites management dialog (modal).
void RunFavoritesDialogCommand(QWidget* owner, ConfigStore& store);
// Draws the list as a network chart; rows hold the nine column texts of each row.
void DrawFlowChartCommand(QWidget* owner, const std::vector<std::vector<std::string>>& rows);
// The update check; mode 0 interactive (Help menu), 1 at start-up, 2 periodic.
void CheckForUpdatesCommand(QWidget* owner, int mode);

} // namespace tessvale
