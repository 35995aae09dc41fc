#include "app/language_switch.h"

#include "app/qt_translations.h"
#include "app/tessvale_dlg.h"
#include "app/window_translation.h"
#include "dialogs/setting_dlg.h"

namespace tessvale {

void ChangeMainWindowLanguage(QWidget* mainWindow, const QString& name)
{
    ApplyLanguage(mainWindow, name);
    InstallQtTranslationsForCurrentLanguage();
    // The main window's own reaction to the language change.
    if (auto* window = qobject_cast<CTessvaleDlg*>(mainWindow)) {
        window->LanguageChanged();
    }
}

void AddLanguageServices(SettingsDialogServices& services, QWidget* mainWindow)
{
    services.fillLanguageList = [](QComboBox* combo) { FillLanguageList(combo); };
    services.downloadLanguages = [](QComboBox* combo) { DownloadLanguageFiles(combo); };
    services.applyLanguage = [mainWindow](const QString& name) { ChangeMainWindowLanguage(mainWindow, name); };
    services.showMessage = [](QWidget* owner, const QString& text) {
        ShowMessage(owner, text, QStringLiteral("Tessvale"), kMbOk | kMbIconWarning);
    };
    services.translateWindow = [](QWidget* dialog) { TranslateWindow(dialog, true); };
}

} // namespace tessvale
