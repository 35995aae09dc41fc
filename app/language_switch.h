// The language change of the settings dialog, delivered to the main window.
#pragma once

#include <QString>

class QWidget;

namespace tessvale {

// Switches the main window to the language with display name `name`, records the
// choice, and has the window re-apply the texts it fetches itself (tool bar, list
// headers, status line, menus). Called with the dialog's owner, the main window.
void ChangeMainWindowLanguage(QWidget* mainWindow, const QString& name);

} // namespace tessvale
