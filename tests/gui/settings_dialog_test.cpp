#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "dialogs/setting_dlg.h"
#include "fakes/temp_folder.h"
#include "store/config_store.h"
#include "store/scan_settings.h"

using namespace tessvale;

namespace {

struct Recorder
{
    QStringList messages;
    QStringList appliedLanguages;
    int updateChecks = 0;

    SettingsDialogServices Services()
    {
        SettingsDialogServices services;
        services.showMessage = [this](QWidget*, const QString& text) { messages << text; };
        services.applyLanguage = [this](const QString& name) { appliedLanguages << name; };
        services.checkUpdateNow = [this] { ++updateChecks; };
        return services;
    }
};

template <typename T> T* Child(QWidget* parent, const char* name)
{
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("missing widget %s", name);
    }
    return child;
}

ConfigRecord ReadSettingsFile(const QString& path)
{
    ConfigStore store;
    store.Load(path.toStdString());
    return store.LoadSettings();
}

} // namespace

class SettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<test::TempFolder>();
        m_path = QString::fromStdString(m_dir->File("Tessvale/Tessvale.xml"));
    }

    void withoutFileShowsDefaultsAndOkWritesThem()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        QCOMPARE(Child<QLineEdit>(&dialog, "autoscanLineEdit")->text(), QStringLiteral("0"));
        QCOMPARE(Child<QLineEdit>(&dialog, "threadsLineEdit")->text(), QStringLiteral("64"));
        QCOMPARE(Child<QLineEdit>(&dialog, "netbiosTimeoutLineEdit")->text(), QStringLiteral("1000"));
        QVERIFY(Child<QCheckBox>(&dialog, "autoUpdateCheckBox")->isChecked());
        QVERIFY(Child<QLineEdit>(&dialog, "loginLineEdit")->text().isEmpty());
        QVERIFY(Child<QLineEdit>(&dialog, "passwordLineEdit")->text().isEmpty());
        QCOMPARE(Child<QLineEdit>(&dialog, "passwordLineEdit")->echoMode(), QLineEdit::Password);
        QCOMPARE(Child<QComboBox>(&dialog, "languageComboBox")->count(), 1);
        QCOMPARE(Child<QComboBox>(&dialog, "languageComboBox")->currentText(), QStringLiteral("English"));
        QVERIFY(!QFile::exists(m_path));

        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(QFile::exists(m_path));
        const ConfigRecord saved = ReadSettingsFile(m_path);
        QCOMPARE(saved.Value(kAutoscanSpanSeconds), std::string("0"));
        QCOMPARE(saved.Value(kAutoscanThreads), std::string("64"));
        QCOMPARE(saved.Value(kNetbiosTimeoutMSeconds), std::string("1000"));
        QCOMPARE(saved.Value(kAutoUpdate), std::string("1"));
        QCOMPARE(saved.Value(kWmiLogin), std::string(""));
        QCOMPARE(saved.Value(kWmiPassword), std::string(""));
        QCOMPARE(recorder.appliedLanguages, QStringList{QStringLiteral("English")});
    }

    void nameSourcesAreOnByDefaultAndSwitchOffOneByOne()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        {
            CSettingDlg dialog(store, recorder.Services(), 0);
            for (const char* name : {"netbiosNameCheckBox", "mdnsNameCheckBox", "dnsNameCheckBox"}) {
                QVERIFY2(Child<QCheckBox>(&dialog, name)->isChecked(), name);
            }
            Child<QCheckBox>(&dialog, "mdnsNameCheckBox")->setChecked(false);
            Child<QPushButton>(&dialog, "okButton")->click();
        }
        const ConfigRecord saved = ReadSettingsFile(m_path);
        QCOMPARE(saved.Value(kNameNetbios), std::string("1"));
        QCOMPARE(saved.Value(kNameMdns), std::string("0"));
        QCOMPARE(saved.Value(kNameDns), std::string("1"));
        // Shown again as stored; the scan reads the same settings.
        CSettingDlg again(store, recorder.Services(), 0);
        QVERIFY(!Child<QCheckBox>(&again, "mdnsNameCheckBox")->isChecked());
        QVERIFY(Child<QCheckBox>(&again, "dnsNameCheckBox")->isChecked());
        const NameSettings names = NameSettingsOf(store.LoadSettings());
        QVERIFY(names.netbios && !names.mdns && names.dns);
    }

    void credentialsRoundTripThroughBase64()
    {
        {
            ConfigStore store;
            store.Load(m_path.toStdString());
            Recorder recorder;
            CSettingDlg dialog(store, recorder.Services(), 0);
            Child<QLineEdit>(&dialog, "loginLineEdit")->setText(QStringLiteral("admin"));
            Child<QLineEdit>(&dialog, "passwordLineEdit")->setText(QString());
            Child<QCheckBox>(&dialog, "autoUpdateCheckBox")->setChecked(false);
            Child<QPushButton>(&dialog, "okButton")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        const ConfigRecord saved = ReadSettingsFile(m_path);
        QCOMPARE(saved.Value(kWmiLogin), std::string("YWRtaW4=")); // exactly the five bytes
        QCOMPARE(saved.Value(kWmiPassword), std::string(""));
        QCOMPARE(saved.Value(kAutoUpdate), std::string("0"));

        ConfigStore reopened;
        reopened.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(reopened, recorder.Services(), 0);
        QCOMPARE(Child<QLineEdit>(&dialog, "loginLineEdit")->text(), QStringLiteral("admin"));
        QVERIFY(!Child<QCheckBox>(&dialog, "autoUpdateCheckBox")->isChecked());
    }

    void clearedIntervalKeepsDialogOpenAndStoresNothing()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        dialog.show();
        Child<QLineEdit>(&dialog, "autoscanLineEdit")->clear();
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(recorder.messages, QStringList{QStringLiteral("Enter an integer.")});
        QVERIFY(dialog.isVisible());
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(recorder.appliedLanguages.isEmpty());
    }

    void failedSaveSaysWhyAndKeepsTheDialogWithTheEntries()
    {
        // A folder where the file should be: no save can replace it, root's neither.
        QVERIFY(QDir().mkpath(m_path));
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        dialog.show();
        Child<QLineEdit>(&dialog, "threadsLineEdit")->setText(QStringLiteral("12"));
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(recorder.messages[0].startsWith(QStringLiteral("The settings could not be saved.\n")));
        QVERIFY(recorder.messages[0].contains(m_path));
        QVERIFY(dialog.isVisible());
        QCOMPARE(Child<QLineEdit>(&dialog, "threadsLineEdit")->text(), QStringLiteral("12"));

        // Once the way is clear, OK saves what was entered.
        QVERIFY(QDir(m_path).removeRecursively());
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(ReadSettingsFile(m_path).Value(kAutoscanThreads), std::string("12"));
    }

    void numericBoxesAcceptDigitsOnly()
    {
        ConfigStore store;
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        auto* threads = Child<QLineEdit>(&dialog, "threadsLineEdit");
        threads->clear();
        QTest::keyClicks(threads, QStringLiteral("-12a3"));
        QCOMPARE(threads->text(), QStringLiteral("123"));
    }

    void manyThreadsAreStoredAndTheLimitIsShown()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 71);
        dialog.show();
        auto* note = Child<QLabel>(&dialog, "threadNoteLabel");
        QVERIFY(!note->isVisible());
        Child<QLineEdit>(&dialog, "threadsLineEdit")->setText(QStringLiteral("80"));
        QVERIFY(note->isVisible());
        QVERIFY(note->text().contains(QStringLiteral("70")));
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(ReadSettingsFile(m_path).Value(kAutoscanThreads), std::string("80"));
    }

    void theQuestionsAfterAScanCanBeTurnedBackOn()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        ConfigRecord settings = store.LoadSettings(ConfigStore::MissingSettings::Create);
        settings.SetValue(kAskSaveAfterScan, "0"); // turned off by "Don't ask again"
        QVERIFY(store.SaveSettings(settings));
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        dialog.show();
        auto* askSave = Child<QCheckBox>(&dialog, "askSaveCheckBox");
        auto* askChart = Child<QCheckBox>(&dialog, "askChartCheckBox");
        QVERIFY(!askSave->isChecked());
        QVERIFY(askChart->isChecked()); // never set: asked
        askSave->setChecked(true);
        askChart->setChecked(false);
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(ReadSettingsFile(m_path).Value(kAskSaveAfterScan), std::string("1"));
        QCOMPARE(ReadSettingsFile(m_path).Value(kAskChartAfterScan), std::string("0"));
    }

    void valuesOutsideTheirLimitsAreRefusedWithTheLimits()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        dialog.show();
        struct Case
        {
            const char* edit;
            const char* typed;
            const char* message;
        };
        const std::vector<Case> cases = {
            {"threadsLineEdit", "500", "Enter between 1 and 100 threads."},
            {"threadsLineEdit", "0", "Enter between 1 and 100 threads."},
            {"netbiosTimeoutLineEdit", "0", "Enter a NetBIOS timeout between 1 and 60000 milliseconds."},
            {"netbiosTimeoutLineEdit", "600000", "Enter a NetBIOS timeout between 1 and 60000 milliseconds."},
        };
        for (const Case& c : cases) {
            auto* edit = Child<QLineEdit>(&dialog, c.edit);
            const QString kept = edit->text();
            edit->clear();
            QTest::keyClicks(edit, QString::fromLatin1(c.typed));
            Child<QPushButton>(&dialog, "okButton")->click();
            QCOMPARE(recorder.messages.last(), QString::fromLatin1(c.message));
            QVERIFY(dialog.isVisible());
            QVERIFY(!QFile::exists(m_path)); // nothing stored
            QCOMPARE(edit->selectedText(), QString::fromLatin1(c.typed));
            edit->setText(kept);
        }
        Child<QLineEdit>(&dialog, "threadsLineEdit")->setText(QStringLiteral("100"));
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(ReadSettingsFile(m_path).Value(kAutoscanThreads), std::string("100"));
    }

    void overlongCredentialIsRefusedNotCut()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        dialog.show();
        // 400 bytes encode to 536 characters, more than the stored field holds.
        Child<QLineEdit>(&dialog, "passwordLineEdit")->setText(QString(400, QLatin1Char('x')));
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY(dialog.isVisible());
        QVERIFY(!QFile::exists(m_path));

        // 381 bytes still fit (508 characters).
        Child<QLineEdit>(&dialog, "passwordLineEdit")->setText(QString(381, QLatin1Char('x')));
        Child<QPushButton>(&dialog, "okButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(DecodeCredential(ReadSettingsFile(m_path).Value(kWmiPassword)), std::string(381, 'x'));
    }

    void cancelStoresNothing()
    {
        ConfigStore store;
        store.Load(m_path.toStdString());
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        Child<QLineEdit>(&dialog, "threadsLineEdit")->setText(QStringLiteral("7"));
        Child<QPushButton>(&dialog, "cancelButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!QFile::exists(m_path));
        QCOMPARE(store.LoadSettings().Value(kAutoscanThreads), std::string("64"));
    }

    void checkUpdateButtonStartsTheCheckWithoutClosing()
    {
        ConfigStore store;
        Recorder recorder;
        CSettingDlg dialog(store, recorder.Services(), 0);
        dialog.show();
        Child<QPushButton>(&dialog, "checkUpdateButton")->click();
        QCOMPARE(recorder.updateChecks, 1);
        QVERIFY(dialog.isVisible());
    }

private:
    std::unique_ptr<test::TempFolder> m_dir;
    QString m_path;
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
