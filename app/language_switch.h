// The language change of the settings dialog, delivered to the main window.
#pragma once

#include <QString>

class QWidget;

namespace tessvale {

struct SettingsDialogServices;

// Switches the main window to the language with display name `name`, records the
// choice, and has the window re-apply the texts it fetches itself (tool bar, list
// headers, status line, menus). Called with the dialog's owner, the main window.
void ChangeMainWindowLanguage(QWidget* mainWindow, const QString& name);

// The localisation's part of the settings dialog: its language combo and Download
// button, the language change of the main window on OK, translated message boxes and
// the translation of the dialog itself (with tooltips).
void AddLanguageServices(SettingsDialogServices& services, QWidget* mainWindow);

} // namespace tessvale
