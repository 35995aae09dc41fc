#include "dialogs/setting_dlg.h"

#include <algorithm>
#include <climits>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "common/text_util.h"
#include "dialogs/dialog_buttons.h"
#include "dialogs/ui_text.h"
#include "store/config_store.h"
#include "store/save_failure.h"

namespace tessvale {
namespace {

QLineEdit* MakeNumberEdit(QWidget* parent, const char* objectName)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    // Digits only: negative numbers cannot be typed.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setMaximumWidth(90);
    return edit;
}

} // namespace

CSettingDlg::CSettingDlg(ConfigStore& store, SettingsDialogServices services, int maxWorkers, QWidget* parent)
    : QDialog(parent), m_store(store), m_services(std::move(services)), m_maxWorkers(maxWorkers)
{
    setObjectName(QStringLiteral("settingDialog"));
    setWindowTitle(QStringLiteral("Settings"));

    QGroupBox* general = BuildGeneralGroup();
    QGroupBox* wmi = BuildWmiGroup();
    QDialogButtonBox* buttons = MakeOkCancelButtons(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(wmi);
    layout->addWidget(buttons);

    Load();
    if (m_services.translateWindow) {
        m_services.translateWindow(this);
    }
}

QGroupBox* CSettingDlg::BuildGeneralGroup()
{
    auto* general = new QGroupBox(this);
    general->setObjectName(QStringLiteral("generalGroupBox"));
    auto* grid = new QGridLayout(general);

    m_autoscanEdit = MakeNumberEdit(general, "autoscanLineEdit");
    m_threadsEdit = MakeNumberEdit(general, "threadsLineEdit");
    m_timeoutEdit = MakeNumberEdit(general, "netbiosTimeoutLineEdit");
    m_threadNoteLabel = new QLabel(general);
    m_threadNoteLabel->setObjectName(QStringLiteral("threadNoteLabel"));
    m_threadNoteLabel->setStyleSheet(QStringLiteral("color: #6d6d6d"));
    connect(m_threadsEdit, &QLineEdit::textChanged, this, &CSettingDlg::UpdateThreadNote);

    int row = 0;
    grid->addWidget(new QLabel(QStringLiteral("Autoscan:"), general), row, 0);
    grid->addWidget(m_autoscanEdit, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("Minutes"), general), row, 2);
    ++row;
    grid->addWidget(new QLabel(QStringLiteral("Threads:"), general), row, 0);
    grid->addWidget(m_threadsEdit, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("(Maximum 100)"), general), row, 2);
    m_threadsEdit->setToolTip(QUiText("Between %1 and %2").arg(kMinThreads).arg(kMaxThreads));
    m_timeoutEdit->setToolTip(QUiText("Between %1 and %2").arg(kMinTimeoutMs).arg(kMaxTimeoutMs));
    ++row;
    grid->addWidget(m_threadNoteLabel, row, 1, 1, 3);
    ++row;
    grid->addWidget(new QLabel(QStringLiteral("NetBIOS Scan Timeout:"), general), row, 0);
    grid->addWidget(m_timeoutEdit, row, 1);
    grid->addWidget(new QLabel(QStringLiteral("Milliseconds"), general), row, 2);
    ++row;
    AddProbeRows(general, grid, row);
    AddLanguageRow(general, grid, row);
    ++row;
    AddUpdateRow(general, grid, row);
    ++row;
    AddQuestionRows(general, grid, row);
    grid->setColumnStretch(2, 1);
    return general;
}

void CSettingDlg::AddProbeRows(QGroupBox* general, QGridLayout* grid, int& row)
{
    m_rateEdit = MakeNumberEdit(general, "probeRateLineEdit");
    m_retriesEdit = MakeNumberEdit(general, "probeRetriesLineEdit");
    grid->addWidget(new QLabel(QStringLiteral("Probes per second:"), general), row, 0);
    grid->addWidget(m_rateEdit, row, 1);
    ++row;
    grid->addWidget(new QLabel(QStringLiteral("Probe retries:"), general), row, 0);
    grid->addWidget(m_retriesEdit, row, 1);
    ++row;
    // The sources of the host names, each of which can be switched off.
    m_netbiosNameCheck = new QCheckBox(QStringLiteral("NetBIOS"), general);
    m_netbiosNameCheck->setObjectName(QStringLiteral("netbiosNameCheckBox"));
    m_mdnsNameCheck = new QCheckBox(QStringLiteral("mDNS"), general);
    m_mdnsNameCheck->setObjectName(QStringLiteral("mdnsNameCheckBox"));
    m_dnsNameCheck = new QCheckBox(QStringLiteral("DNS"), general);
    m_dnsNameCheck->setObjectName(QStringLiteral("dnsNameCheckBox"));
    auto* sources = new QHBoxLayout;
    sources->addWidget(m_netbiosNameCheck);
    sources->addWidget(m_mdnsNameCheck);
    sources->addWidget(m_dnsNameCheck);
    sources->addStretch(1);
    grid->addWidget(new QLabel(QStringLiteral("Host names from:"), general), row, 0);
    grid->addLayout(sources, row, 1, 1, 3);
    ++row;
}

bool CSettingDlg::ReadProbeSettings(int& rate, int& retries)
{
    if (!ReadInteger(m_rateEdit, rate) || !ReadInteger(m_retriesEdit, retries)) {
        return false;
    }
    if (rate < 1) {
        ShowMessage(QStringLiteral("Enter at least 1 probe per second."));
        m_rateEdit->setFocus();
        m_rateEdit->selectAll();
        return false;
    }
    if (retries < 0 || retries > 10) {
        ShowMessage(QStringLiteral("Enter between 0 and 10 retries."));
        m_retriesEdit->setFocus();
        m_retriesEdit->selectAll();
        return false;
    }
    return true;
}

void CSettingDlg::AddQuestionRows(QGroupBox* general, QGridLayout* grid, int& row)
{
    // The questions after a scan, which their "Don't ask again" boxes turn off.
    m_askSaveCheck = new QCheckBox(QUiText("Ask to save the result after a scan"), general);
    m_askSaveCheck->setObjectName(QStringLiteral("askSaveCheckBox"));
    m_askChartCheck = new QCheckBox(QUiText("Ask to draw the network chart after a scan"), general);
    m_askChartCheck->setObjectName(QStringLiteral("askChartCheckBox"));
    grid->addWidget(m_askSaveCheck, row++, 0, 1, 4);
    grid->addWidget(m_askChartCheck, row++, 0, 1, 4);
}

void CSettingDlg::AddLanguageRow(QGroupBox* general, QGridLayout* grid, int row)
{
    m_languageCombo = new QComboBox(general);
    m_languageCombo->setObjectName(QStringLiteral("languageComboBox"));
    m_languageCombo->setEditable(true);
    m_languageCombo->setInsertPolicy(QComboBox::NoInsert);
    auto* downloadButton = new QPushButton(QStringLiteral("Download"), general);
    downloadButton->setObjectName(QStringLiteral("downloadButton"));
    downloadButton->setAutoDefault(false);
    grid->addWidget(new QLabel(QStringLiteral("Language:"), general), row, 0);
    grid->addWidget(m_languageCombo, row, 1, 1, 2);
    grid->addWidget(downloadButton, row, 3);
    connect(downloadButton, &QPushButton::clicked, this, [this] {
        if (m_services.downloadLanguages) {
            m_services.downloadLanguages(m_languageCombo);
        }
    });
}

void CSettingDlg::AddUpdateRow(QGroupBox* general, QGridLayout* grid, int row)
{
    m_autoUpdateCheck = new QCheckBox(QStringLiteral("Auto Update"), general);
    m_autoUpdateCheck->setObjectName(QStringLiteral("autoUpdateCheckBox"));
    auto* checkUpdateButton = new QPushButton(QStringLiteral("Check Update Now"), general);
    checkUpdateButton->setObjectName(QStringLiteral("checkUpdateButton"));
    checkUpdateButton->setAutoDefault(false);
    grid->addWidget(m_autoUpdateCheck, row, 0, 1, 2);
    grid->addWidget(checkUpdateButton, row, 2, 1, 2);
    connect(checkUpdateButton, &QPushButton::clicked, this, [this] {
        if (m_services.checkUpdateNow) {
            m_services.checkUpdateNow();
        }
    });
}

QGroupBox* CSettingDlg::BuildWmiGroup()
{
    auto* wmi = new QGroupBox(QStringLiteral("WMI Authentication"), this);
    wmi->setObjectName(QStringLiteral("wmiGroupBox"));
    auto* wmiGrid = new QGridLayout(wmi);
    m_loginEdit = new QLineEdit(wmi);
    m_loginEdit->setObjectName(QStringLiteral("loginLineEdit"));
    m_passwordEdit = new QLineEdit(wmi);
    m_passwordEdit->setObjectName(QStringLiteral("passwordLineEdit"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    wmiGrid->addWidget(new QLabel(QStringLiteral("Login:"), wmi), 0, 0);
    wmiGrid->addWidget(m_loginEdit, 0, 1);
    wmiGrid->addWidget(new QLabel(QStringLiteral("Password:"), wmi), 1, 0);
    wmiGrid->addWidget(m_passwordEdit, 1, 1);
    return wmi;
}

void CSettingDlg::Load()
{
    // Created in the document when missing (it reaches the file with the next save).
    const ConfigRecord settings = m_store.LoadSettings(ConfigStore::MissingSettings::Create);
    // Stored numbers are read as signed decimal integers.
    const auto asInt = [](const std::string& text) {
        long long value = ParseDecimal(text);
        value = std::clamp<long long>(value, INT_MIN, INT_MAX);
        return QString::number(value);
    };
    m_autoscanEdit->setText(asInt(settings.Value(kAutoscanSpanSeconds)));
    m_threadsEdit->setText(asInt(settings.Value(kAutoscanThreads)));
    m_timeoutEdit->setText(asInt(settings.Value(kNetbiosTimeoutMSeconds)));
    m_rateEdit->setText(asInt(settings.Value(kProbeRatePerSecond)));
    m_retriesEdit->setText(asInt(settings.Value(kProbeRetries)));
    m_autoUpdateCheck->setChecked(settings.Value(kAutoUpdate) == "1");
    m_netbiosNameCheck->setChecked(settings.Value(kNameNetbios) != "0");
    m_mdnsNameCheck->setChecked(settings.Value(kNameMdns) != "0");
    m_dnsNameCheck->setChecked(settings.Value(kNameDns) != "0");
    m_askSaveCheck->setChecked(settings.Value(kAskSaveAfterScan) != "0");
    m_askChartCheck->setChecked(settings.Value(kAskChartAfterScan) != "0");
    m_loginEdit->setText(ToQString(DecodeCredential(settings.Value(kWmiLogin))));
    m_passwordEdit->setText(ToQString(DecodeCredential(settings.Value(kWmiPassword))));

    if (m_services.fillLanguageList) {
        m_services.fillLanguageList(m_languageCombo);
    } else {
        m_languageCombo->clear();
        m_languageCombo->addItem(QStringLiteral("English"));
        m_languageCombo->setCurrentIndex(0);
    }
    UpdateThreadNote();
}

void CSettingDlg::UpdateThreadNote()
{
    bool ok = false;
    const int threads = m_threadsEdit->text().toInt(&ok);
    // The scan runs the thread count plus one worker.
    if (ok && m_maxWorkers > 0 && threads + 1 > m_maxWorkers) {
        m_threadNoteLabel->setText(QUiText("The scan will use at most %1 threads.").arg(m_maxWorkers - 1));
        m_threadNoteLabel->show();
    } else {
        m_threadNoteLabel->clear();
        m_threadNoteLabel->hide();
    }
}

bool CSettingDlg::ReadInteger(QLineEdit* edit, int& value)
{
    bool ok = false;
    const QString text = edit->text().trimmed();
    const long long parsed = text.toLongLong(&ok);
    if (!ok || parsed < INT_MIN || parsed > INT_MAX) {
        ShowMessage(QStringLiteral("Enter an integer."));
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

bool CSettingDlg::InRange(QLineEdit* edit, int value, int low, int high, const QString& message)
{
    if (value >= low && value <= high) {
        return true;
    }
    ShowMessage(message);
    edit->setFocus();
    edit->selectAll();
    return false;
}

void CSettingDlg::ShowMessage(const QString& text)
{
    if (m_services.showMessage) {
        m_services.showMessage(this, text);
    } else {
        QMessageBox::information(this, QStringLiteral("Tessvale"), text);
    }
}

bool CSettingDlg::ReadNumbers(EnteredNumbers& numbers)
{
    if (!ReadInteger(m_autoscanEdit, numbers.interval) || !ReadInteger(m_threadsEdit, numbers.threads) ||
        !ReadInteger(m_timeoutEdit, numbers.timeout) || !ReadProbeSettings(numbers.rate, numbers.retries)) {
        return false;
    }
    // What the labels promise is what is stored: a value outside them is refused.
    return InRange(m_threadsEdit, numbers.threads, kMinThreads, kMaxThreads,
                   QUiText("Enter between %1 and %2 threads.").arg(kMinThreads).arg(kMaxThreads)) &&
           InRange(m_timeoutEdit, numbers.timeout, kMinTimeoutMs, kMaxTimeoutMs,
                   QUiText("Enter a NetBIOS timeout between %1 and %2 milliseconds.")
                       .arg(kMinTimeoutMs)
                       .arg(kMaxTimeoutMs));
}

bool CSettingDlg::CredentialsFit(const std::string& login, const std::string& password)
{
    // The stored field holds 511 characters: refuse what would not fit rather than cut it.
    if (!CredentialFits(login)) {
        ShowMessage(QStringLiteral("The login is too long to be stored."));
        m_loginEdit->setFocus();
        return false;
    }
    if (!CredentialFits(password)) {
        ShowMessage(QStringLiteral("The password is too long to be stored."));
        m_passwordEdit->setFocus();
        return false;
    }
    return true;
}

void CSettingDlg::ApplyChosenLanguage()
{
    // A name typed into the combo's edit field without choosing an item is no choice.
    const int languageIndex = m_languageCombo->currentIndex();
    if (languageIndex >= 0 && m_languageCombo->currentText() == m_languageCombo->itemText(languageIndex) &&
        m_services.applyLanguage) {
        m_services.applyLanguage(m_languageCombo->itemText(languageIndex));
    }
}

ConfigRecord CSettingDlg::EnteredSettings(const EnteredNumbers& numbers, const std::string& login,
                                          const std::string& password) const
{
    const auto flag = [](const QCheckBox* check) { return check->isChecked() ? "1" : "0"; };
    ConfigRecord settings = MakeSettingsRecord();
    settings.SetValue(kAutoscanSpanSeconds, std::to_string(numbers.interval));
    settings.SetValue(kAutoscanThreads, std::to_string(numbers.threads));
    settings.SetValue(kNetbiosTimeoutMSeconds, std::to_string(numbers.timeout));
    settings.SetValue(kProbeRatePerSecond, std::to_string(numbers.rate));
    settings.SetValue(kProbeRetries, std::to_string(numbers.retries));
    settings.SetValue(kAutoUpdate, flag(m_autoUpdateCheck));
    settings.SetValue(kNameNetbios, flag(m_netbiosNameCheck));
    settings.SetValue(kNameMdns, flag(m_mdnsNameCheck));
    settings.SetValue(kNameDns, flag(m_dnsNameCheck));
    settings.SetValue(kAskSaveAfterScan, flag(m_askSaveCheck));
    settings.SetValue(kAskChartAfterScan, flag(m_askChartCheck));
    settings.SetValue(kWmiLogin, EncodeCredential(login));
    settings.SetValue(kWmiPassword, EncodeCredential(password));
    return settings;
}

void CSettingDlg::accept()
{
    EnteredNumbers numbers;
    if (!ReadNumbers(numbers)) {
        return;
    }
    const std::string login = ToStdString(m_loginEdit->text());
    const std::string password = ToStdString(m_passwordEdit->text());
    if (!CredentialsFit(login, password)) {
        return;
    }
    ApplyChosenLanguage();
    if (!m_store.SaveSettings(EnteredSettings(numbers, login, password))) {
        // The dialog stays open with what the user entered.
        ShowMessage(ToQString(SaveFailureText("The settings could not be saved.", m_store.LastSaveError())));
        return;
    }
    QDialog::accept();
}

} // namespace tessvale
