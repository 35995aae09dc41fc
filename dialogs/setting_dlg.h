// The Settings dialog: automatic-scan interval, thread count, NetBIOS timeout, update
// choice, inventory credentials and the interface language.
#pragma once

#include <functional>

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace tessvale {

class ConfigStore;

// Services the dialog starts but does not own. Each may be left empty (the tests leave
// out what they do not drive): the language list then offers English only, and a
// button without its service does nothing.
struct SettingsDialogServices
{
    // Fills the combo with the language names and selects the current language.
    std::function<void(QComboBox*)> fillLanguageList;
    // Downloads fresh language files and refills the combo.
    std::function<void(QComboBox*)> downloadLanguages;
    // Applies the chosen language (display name) to the program.
    std::function<void(const QString&)> applyLanguage;
    // Starts the interactive update check.
    std::function<void()> checkUpdateNow;
    // Shows a message box with the dialog as owner.
    std::function<void(QWidget*, const QString&)> showMessage;
    // Translates the dialog's texts once it is built.
    std::function<void(QWidget*)> translateWindow;
};

class CSettingDlg : public QDialog
{
    Q_OBJECT
public:
    // maxWorkers: how many scan workers the pool can run at once (0: unknown).
    CSettingDlg(ConfigStore& store, SettingsDialogServices services, int maxWorkers, QWidget* parent = nullptr);

    void accept() override;

private:
    QGroupBox* BuildGeneralGroup();
    void AddLanguageRow(QGroupBox* general, QGridLayout* grid, int row);
    void AddUpdateRow(QGroupBox* general, QGridLayout* grid, int row);
    QGroupBox* BuildWmiGroup();
    void Load();
    void UpdateThreadNote();
    // The paced sweep's rows: probes per second and retries.
    void AddProbeRows(QGroupBox* general, QGridLayout* grid, int& row);
    bool ReadProbeSettings(int& rate, int& retries);
    bool ReadInteger(QLineEdit* edit, int& value);
    void ShowMessage(const QString& text);

    ConfigStore& m_store;
    SettingsDialogServices m_services;
    int m_maxWorkers;

    QLineEdit* m_autoscanEdit = nullptr;
    QLineEdit* m_threadsEdit = nullptr;
    QLineEdit* m_timeoutEdit = nullptr;
    QLineEdit* m_rateEdit = nullptr;
    QLineEdit* m_retriesEdit = nullptr;
    QCheckBox* m_netbiosNameCheck = nullptr; // the name sources of a scan
    QCheckBox* m_mdnsNameCheck = nullptr;
    QCheckBox* m_dnsNameCheck = nullptr;
    QLabel* m_threadNoteLabel = nullptr;
    QComboBox* m_languageCombo = nullptr;
    QCheckBox* m_autoUpdateCheck = nullptr;
    QLineEdit* m_loginEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
};

} // namespace tessvale
