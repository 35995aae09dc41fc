// The main window switched to German and back through the shipped language files, and
// the shipped German file checked for a translation of every text the windows show.
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

#include "app/about_dlg.h"
#include "app/language_switch.h"
#include "app/logic/command_ids.h"
#include "app/logic/string_table.h"
#include "app/tessvale_dlg.h"
#include "app/window_environment.h"
#include "app/window_prompts.h"
#include "app/window_translation.h"
#include "common/localization.h"
#include "common/profile_file.h"
#include "dialogs/attribute_dlg.h"
#include "dialogs/setting_dlg.h"
#include "fakes/temp_folder.h"
#include "scan/scan_service.h"
#include "store/config_store.h"

using namespace tessvale;

namespace {

class IdleScanService : public ScanService
{
public:
    int StartScan(const std::string&, const std::string&, ScanWindow*, bool) override { return 1; }
    void StopAndDrain(const std::function<void()>&) override {}
    int MaxWorkers() const override { return 4; }
};

// The settings dialog's OK with a chosen language, as far as the main window sees it.
class LanguageChoosingEnvironment : public WindowEnvironment
{
public:
    QString chosenLanguage;

    std::vector<AdapterEntry> Adapters() override { return {}; }
    std::optional<HostRange> DefaultRange(const std::string&) override { return std::nullopt; }
    std::vector<StoredResultEntry> StoredResults() override { return {}; }
    std::vector<StoredHost> StoredHosts(std::uint32_t) override { return {}; }
    std::string Setting(const std::string&) override { return {}; }
    std::uint32_t StoreScan(StoreScanUi&, std::uint32_t, const std::string&, const std::string&,
                            const std::vector<StoredHost>&) override
    {
        return 0;
    }
    std::string DataFolder() override { return {}; }
    void WakeOnLan(const std::string&) override {}
    void RunSettingsDialog(QWidget* owner) override { ChangeMainWindowLanguage(owner, chosenLanguage); }
    void RunFavoritesDialog(QWidget*) override {}
    void DrawFlowChart(QWidget*, const std::vector<ListRowTexts>&) override {}
    void CheckForUpdates(QWidget*, int) override {}
};

class SilentPrompts : public WindowPrompts
{
public:
    bool AskYesNo(QWidget*, const QString&) override { return false; }
    void ShowMessage(QWidget*, const QString&) override {}
    bool RunSavePrompt(QWidget*, bool, bool) override { return false; }
    QString AskResultName(QWidget*, const QString&) override { return {}; }
    std::optional<ExportChoice> ChooseExportFile(QWidget*, const QString&) override { return std::nullopt; }
    void ShowProperties(QWidget*, const HostRecord&) override {}
    void ShowAbout(QWidget*) override {}
};

// Patterns of the texts in the sources: UiText("..."), a kLabels = {...} list, a "..." literal.
const char* const kUiTextCall = R"re(UiText\("((?:[^"\\]|\\.)*)"\))re";
const char* const kLabelList = R"(kLabels = \{([^}]*)\})";
const char* const kQuoted = R"re("((?:[^"\\]|\\.)*)")re";

std::string ShippedGermanFile()
{
    return std::string(TESSVALE_SOURCE_DIR) + "/res/Language/deu.ini";
}

} // namespace

class MainWindowLanguageTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_temp = std::make_unique<test::TempFolder>();
        const std::string folder = m_temp->File("Language");
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(ShippedGermanFile(), folder + "/deu.ini");
        QVERIFY(test::WriteFile(folder + "/Language.xml",
                                "<root><LANG ITEM=\"ENU\" VALUE=\"English\" URL=\"http://x.invalid/enu.ini\"/>"
                                "<LANG ITEM=\"DEU\" VALUE=\"Deutsch\" URL=\"http://x.invalid/deu.ini\"/></root>"));
        SetLanguageFolderOverride(folder);
        QVERIFY(WriteLanguageCode("ENU"));
    }
    void cleanup()
    {
        SetLanguageFolderOverride({});
        SetTranslationHooks({}, {});
        m_temp.reset();
    }

    void switchesTheMainWindowToGermanAndBack()
    {
        IdleScanService scan;
        LanguageChoosingEnvironment environment;
        SilentPrompts prompts;
        CTessvaleDlg window(scan, environment, prompts);
        auto* fileMenu = window.findChild<QMenu*>(QStringLiteral("fileMenu"));
        auto* stopTool = window.findChild<QAction*>(QStringLiteral("stopAction"));
        auto* settingsTool = window.findChild<QAction*>(QStringLiteral("settingsAction"));
        auto* stopItem = window.findChild<QAction*>(QStringLiteral("stopMenuAction"));
        auto* listView = window.findChild<QTreeView*>(QStringLiteral("resultListView"));
        QVERIFY(fileMenu && stopTool && settingsTool && stopItem && listView);
        const auto header = [listView](int column) {
            return listView->model()->headerData(column, Qt::Horizontal).toString();
        };

        QCOMPARE(stopTool->text(), QStringLiteral("Stop"));
        QCOMPARE(header(3), QStringLiteral("Host Name"));
        QCOMPARE(window.StatusText(), QStringLiteral("Status:"));
        QCOMPARE(fileMenu->title(), QStringLiteral("&File"));

        environment.chosenLanguage = QStringLiteral("Deutsch");
        window.OnCommand(kIdSettings);
        QCOMPARE(QString::fromStdString(GetLanguageCode()), QStringLiteral("DEU"));
        QCOMPARE(stopTool->text(), QStringLiteral("Stopp"));
        QCOMPARE(settingsTool->text(), QStringLiteral("Einstellungen"));
        QCOMPARE(header(3), QStringLiteral("Hostname"));
        QCOMPARE(header(9), QStringLiteral("Kartenhersteller"));
        QCOMPARE(window.StatusText(), QStringLiteral("Zustand:"));
        QCOMPARE(fileMenu->title(), QStringLiteral("&Datei"));
        QCOMPARE(stopItem->text(), QStringLiteral("S&topp")); // its access letter is a free one

        // Dialogs opened now come up in German.
        CAttribute properties(&window);
        QCOMPARE(properties.windowTitle(), QStringLiteral("Eigenschaften"));
        CAboutDlg about(&window);
        QCOMPARE(about.windowTitle(), QString::fromUtf8("\xC3\x9C"
                                                        "ber Tessvale"));

        environment.chosenLanguage = QStringLiteral("English");
        window.OnCommand(kIdSettings);
        QCOMPARE(QString::fromStdString(GetLanguageCode()), QStringLiteral("ENU"));
        QCOMPARE(stopTool->text(), QStringLiteral("Stop"));
        QCOMPARE(header(3), QStringLiteral("Host Name"));
        QCOMPARE(window.StatusText(), QStringLiteral("Status:"));
        QCOMPARE(fileMenu->title(), QStringLiteral("&File"));
        QCOMPARE(stopItem->text(), QStringLiteral("S&top"));
    }

    void settingsDialogChangesTheLanguage()
    {
        IdleScanService scan;
        LanguageChoosingEnvironment environment;
        SilentPrompts prompts;
        CTessvaleDlg window(scan, environment, prompts);
        ConfigStore store;
        store.Load(m_temp->File("Tessvale.xml"));
        SettingsDialogServices services;
        AddLanguageServices(services, &window);
        {
            CSettingDlg dialog(store, services, 0, &window);
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings"));
            auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("languageComboBox"));
            QVERIFY(combo != nullptr);
            QCOMPARE(combo->count(), 2);
            QCOMPARE(combo->currentText(), QStringLiteral("English"));
            combo->setCurrentIndex(combo->findText(QStringLiteral("Deutsch")));
            dialog.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(QString::fromStdString(GetLanguageCode()), QStringLiteral("DEU"));
        QCOMPARE(window.StatusText(), QStringLiteral("Zustand:"));
        QCOMPARE(window.findChild<QMenu*>(QStringLiteral("optionsMenu"))->title(), QStringLiteral("&Optionen"));

        CSettingDlg again(store, services, 0, &window);
        QCOMPARE(again.windowTitle(), QStringLiteral("Einstellungen"));
        QCOMPARE(again.findChild<QComboBox*>(QStringLiteral("languageComboBox"))->currentText(),
                 QStringLiteral("Deutsch"));
        bool languageLabel = false;
        for (const QLabel* label : again.findChildren<QLabel*>()) {
            languageLabel = languageLabel || label->text() == QStringLiteral("Sprache:");
        }
        QVERIFY(languageLabel);
    }

    void germanFileTranslatesEveryText()
    {
        const std::string german = ShippedGermanFile();
        QStringList missing;
        const auto check = [&](const std::string& english) {
            if (!english.empty() && ReadProfileString(german, "Language", english).empty()) {
                missing << QString::fromStdString(english);
            }
        };
        for (int id = 0; id < 1000; ++id) {
            if (id != IDS_VERSION) {
                check(DefaultString(id));
            }
        }
        for (int id = 0; id < 65536; ++id) {
            check(MenuLabel(id));
        }
        // Every literal the windows fetch with UiText, and the attribute labels.
        const std::regex literal(kUiTextCall);
        const std::regex labelList(kLabelList);
        const std::regex quoted(kQuoted);
        int literals = 0;
        for (const char* folder : {"app", "dialogs", "chart", "common"}) {
            const std::filesystem::path root = std::filesystem::path(TESSVALE_SOURCE_DIR) / folder;
            if (!std::filesystem::exists(root)) {
                continue;
            }
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
                if (entry.path().extension() != ".cpp") {
                    continue;
                }
                const std::string source = test::ReadFile(entry.path().string());
                for (std::sregex_iterator it(source.begin(), source.end(), literal), end; it != end; ++it) {
                    check((*it)[1].str());
                    ++literals;
                }
                for (std::sregex_iterator it(source.begin(), source.end(), labelList), end; it != end; ++it) {
                    const std::string list = (*it)[1].str();
                    for (std::sregex_iterator q(list.begin(), list.end(), quoted); q != end; ++q) {
                        check((*q)[1].str());
                    }
                }
            }
        }
        QVERIFY(literals > 20);
        for (const char* text : {"&Yes", "&No", "OK", "Cancel", "Do you want to update language?",
                                 "Update language failed!", "Update language successfully!"}) {
            check(text);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }

private:
    std::unique_ptr<test::TempFolder> m_temp;
};

QTEST_MAIN(MainWindowLanguageTest)
#include "main_window_language_test.moc"
