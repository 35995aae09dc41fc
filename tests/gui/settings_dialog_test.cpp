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
#include "fakes/widget_lookup.h"
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

using test::Child;

// A settings dialog over the configuration file at `path`, its services recorded.
struct OpenedDialog
{
    explicit OpenedDialog(const QString& path, int maxWorkers = 0)
    {
        store.Load(path.toStdString());
        dialog = std::make_unique<CSettingDlg>(store, recorder.Services(), maxWorkers);
    }
    template <typename T> T* Find(const char* name) { return Child<T>(dialog.get(), name); }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    void Ok() { Find<QPushButton>("okButton")->click(); }

    ConfigStore store;
    Recorder recorder;
    std::unique_ptr<CSettingDlg> dialog;
};

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
        OpenedDialog opened(m_path);
        QCOMPARE(opened.Edit("autoscanLineEdit")->text(), QStringLiteral("0"));
        QCOMPARE(opened.Edit("threadsLineEdit")->text(), QStringLiteral("64"));
        QCOMPARE(opened.Edit("netbiosTimeoutLineEdit")->text(), QStringLiteral("1000"));
        QVERIFY(opened.Find<QCheckBox>("autoUpdateCheckBox")->isChecked());
        QVERIFY(opened.Edit("loginLineEdit")->text().isEmpty());
        QVERIFY(opened.Edit("passwordLineEdit")->text().isEmpty());
        QCOMPARE(opened.Edit("passwordLineEdit")->echoMode(), QLineEdit::Password);
        QCOMPARE(opened.Find<QComboBox>("languageComboBox")->count(), 1);
        QCOMPARE(opened.Find<QComboBox>("languageComboBox")->currentText(), QStringLiteral("English"));
        QVERIFY(!QFile::exists(m_path));

        opened.Ok();
        QCOMPARE(opened.dialog->result(), int(QDialog::Accepted));
        QVERIFY(QFile::exists(m_path));
        const ConfigRecord saved = ReadSettingsFile(m_path);
        QCOMPARE(saved.Value(kAutoscanSpanSeconds), std::string("0"));
        QCOMPARE(saved.Value(kAutoscanThreads), std::string("64"));
        QCOMPARE(saved.Value(kNetbiosTimeoutMSeconds), std::string("1000"));
        QCOMPARE(saved.Value(kAutoUpdate), std::string("1"));
        QCOMPARE(saved.Value(kWmiLogin), std::string(""));
        QCOMPARE(saved.Value(kWmiPassword), std::string(""));
        QCOMPARE(opened.recorder.appliedLanguages, QStringList{QStringLiteral("English")});
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
        OpenedDialog opened(m_path);
        opened.dialog->show();
        opened.Edit("autoscanLineEdit")->clear();
        opened.Ok();
        QCOMPARE(opened.recorder.messages, QStringList{QStringLiteral("Enter an integer.")});
        QVERIFY(opened.dialog->isVisible());
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(opened.recorder.appliedLanguages.isEmpty());
    }

    void failedSaveSaysWhyAndKeepsTheDialogWithTheEntries()
    {
        // A folder where the file should be: no save can replace it, root's neither.
        QVERIFY(QDir().mkpath(m_path));
        OpenedDialog opened(m_path);
        opened.dialog->show();
        opened.Edit("threadsLineEdit")->setText(QStringLiteral("12"));
        opened.Ok();
        QCOMPARE(opened.recorder.messages.size(), 1);
        QVERIFY(opened.recorder.messages[0].startsWith(QStringLiteral("The settings could not be saved.\n")));
        QVERIFY(opened.recorder.messages[0].contains(m_path));
        QVERIFY(opened.dialog->isVisible());
        QCOMPARE(opened.Edit("threadsLineEdit")->text(), QStringLiteral("12"));

        // Once the way is clear, OK saves what was entered.
        QVERIFY(QDir(m_path).removeRecursively());
        opened.Ok();
        QCOMPARE(opened.dialog->result(), int(QDialog::Accepted));
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
        OpenedDialog opened(m_path, 71);
        opened.dialog->show();
        auto* note = opened.Find<QLabel>("threadNoteLabel");
        QVERIFY(!note->isVisible());
        opened.Edit("threadsLineEdit")->setText(QStringLiteral("80"));
        QVERIFY(note->isVisible());
        QVERIFY(note->text().contains(QStringLiteral("70")));
        opened.Ok();
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
        OpenedDialog opened(m_path);
        opened.dialog->show();
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
            auto* edit = opened.Edit(c.edit);
            const QString kept = edit->text();
            edit->clear();
            QTest::keyClicks(edit, QString::fromLatin1(c.typed));
            opened.Ok();
            QCOMPARE(opened.recorder.messages.last(), QString::fromLatin1(c.message));
            QVERIFY(opened.dialog->isVisible());
            QVERIFY(!QFile::exists(m_path)); // nothing stored
            QCOMPARE(edit->selectedText(), QString::fromLatin1(c.typed));
            edit->setText(kept);
        }
        opened.Edit("threadsLineEdit")->setText(QStringLiteral("100"));
        opened.Ok();
        QCOMPARE(ReadSettingsFile(m_path).Value(kAutoscanThreads), std::string("100"));
    }

    void overlongCredentialIsRefusedNotCut()
    {
        OpenedDialog opened(m_path);
        opened.dialog->show();
        // 400 bytes encode to 536 characters, more than the stored field holds.
        opened.Edit("passwordLineEdit")->setText(QString(400, QLatin1Char('x')));
        opened.Ok();
        QCOMPARE(opened.recorder.messages.size(), 1);
        QVERIFY(opened.dialog->isVisible());
        QVERIFY(!QFile::exists(m_path));

        // 381 bytes still fit (508 characters).
        opened.Edit("passwordLineEdit")->setText(QString(381, QLatin1Char('x')));
        opened.Ok();
        QCOMPARE(opened.dialog->result(), int(QDialog::Accepted));
        QCOMPARE(DecodeCredential(ReadSettingsFile(m_path).Value(kWmiPassword)), std::string(381, 'x'));
    }

    void cancelStoresNothing()
    {
        OpenedDialog opened(m_path);
        opened.Edit("threadsLineEdit")->setText(QStringLiteral("7"));
        opened.Find<QPushButton>("cancelButton")->click();
        QCOMPARE(opened.dialog->result(), int(QDialog::Rejected));
        QVERIFY(!QFile::exists(m_path));
        QCOMPARE(opened.store.LoadSettings().Value(kAutoscanThreads), std::string("64"));
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
