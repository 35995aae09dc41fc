#include "app/window_hooks.h"

#include "app/language_switch.h"
#include "app/window_translation.h"
#include "common/update_check.h"
#include "dialogs/favorites_manage.h"
#include "dialogs/setting_dlg.h"
#include "dialogs/ui_text.h"

namespace tessvale {
void RunSettingsDialogCommand(QWidget* owner, ConfigStore& store, int maxWorkers)
{
    SettingsDialogServices services;
    AddLanguageServices(services, owner);
    services.checkUpdateNow = [] { LaunchUpdateCheck(0); };
    CSettingDlg dialog(store, std::move(services), maxWorkers, owner);
    dialog.exec();
}

void RunFavoritesDialogCommand(QWidget* owner, ConfigStore& store)
{
    FavoritesDialogServices services;
    services.ask = [](QWidget* dialog, const QString& question) {
        return ShowMessage(dialog, question, QStringLiteral("Tessvale"), kMbYesNo | kMbIconQuestion) != kAnswerNo;
    };
    services.showMessage = [](QWidget* dialog, const QString& text) {
        ShowMessage(dialog, text, QStringLiteral("Tessvale"), kMbOk | kMbIconWarning);
    };
    // The main window rebuilds its result chooser when the dialog has closed.
    services.translateWindow = [](QWidget* dialog) { TranslateWindow(dialog, true); };
    CFavoritesManage dialog(store, std::move(services), owner);
    dialog.exec();
}

void CheckForUpdatesCommand(QWidget* /*owner*/, int mode)
{
    // The check runs in a second copy of the program, which shows its own messages; the
    // main window neither waits for it nor learns its result.
    LaunchUpdateCheck(mode);
}

} // namespace tessvale
