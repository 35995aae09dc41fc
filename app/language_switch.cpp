#include "app/language_switch.h"

#include "app/tessvale_dlg.h"
#include "app/window_translation.h"

namespace tessvale {

void ChangeMainWindowLanguage(QWidget* mainWindow, const QString& name)
{
    ApplyLanguage(mainWindow, name);
    // The main window's own reaction to the language change.
    if (auto* window = qobject_cast<CTessvaleDlg*>(mainWindow)) {
        window->LanguageChanged();
    }
}

} // namespace tessvale
