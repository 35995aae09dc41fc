// Commands of the main window that other modules carry out. Each module fills its
// function here.
#pragma once

class QWidget;

namespace tessvale {

class ConfigStore;

// The settings dialog (modal). maxWorkers: how many scan workers the pool can run at once.
void RunSettingsDialogCommand(QWidget* owner, ConfigStore& store, int maxWorkers);
// The favorites management dialog (modal).
void RunFavoritesDialogCommand(QWidget* owner, ConfigStore& store);
// The update check; mode 0 interactive (Help menu), 1 at start-up, 2 periodic.
void CheckForUpdatesCommand(QWidget* owner, int mode);

} // namespace tessvale
