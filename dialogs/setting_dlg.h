// The Settings dialog: automatic-scan interval, thread count, NetBIOS timeout, update
// choice, inventory credentials and the interface language.
#pragma once

#include <functional>
#include <string>

#include <QDialog>
#include <QString>

#include "store/config_record.h"

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
public:
    // The values the dialog stores (the label says "(Maximum 100)").
    static constexpr int kMinThreads = 1;
    static constexpr int kMaxThreads = 100;
    static constexpr int kMinTimeoutMs = 1;
    static constexpr int kMaxTimeoutMs = 60000;

private:
    Q_OBJECT
public:
    // maxWorkers: how many scan workers the pool can run at once (0: unknown).
    CSettingDlg(ConfigStore& store, SettingsDialogServices services, int maxWorkers, QWidget* parent = nullptr);

    void accept() override;

private:
    QGroupBox* BuildGeneralGroup();
    void AddLanguageRow(QGroupBox* general, QGridLayout* grid, int row);
    void AddUpdateRow(QGroupBox* general, QGridLayout* grid, int row);
    void AddQuestionRows(QGroupBox* general, QGridLayout* grid, int& row);
    QGroupBox* BuildWmiGroup();
    void Load();
    void UpdateThreadNote();
    // The paced sweep's rows: probes per second and retries.
    void AddProbeRows(QGroupBox* general, QGridLayout* grid, int& row);
    bool ReadProbeSettings(int& rate, int& retries);
    bool ReadInteger(QLineEdit* edit, int& value);
    // True when low <= value <= high; otherwise shows the message and selects the entry.
    bool InRange(QLineEdit* edit, int value, int low, int high, const QString& message);
    void ShowMessage(const QString& text);
    // The numbers the dialog stores, read and within their limits; otherwise says why.
    struct EnteredNumbers
    {
        int interval = 0;
        int threads = 0;
        int timeout = 0;
        int rate = 0;
        int retries = 0;
    };
    bool ReadNumbers(EnteredNumbers& numbers);
    // Both fit the stored field; otherwise says which does not.
    bool CredentialsFit(const std::string& login, const std::string& password);
    // The language chosen from the list (not one typed into it) is applied.
    void ApplyChosenLanguage();
    ConfigRecord EnteredSettings(const EnteredNumbers& numbers, const std::string& login,
                                 const std::string& password) const;

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
    QCheckBox* m_askSaveCheck = nullptr;
    QCheckBox* m_askChartCheck = nullptr;
    QLineEdit* m_loginEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
};

} // namespace tessvale
