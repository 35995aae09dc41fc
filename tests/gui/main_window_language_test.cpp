// The main window switched to German and back through the shipped language files, and
// the shipped German file checked for a translation of every text the windows show.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include "app/about_dlg.h"
#include "app/language_switch.h"
#include "app/logic/command_ids.h"
#include "app/qt_translations.h"
#include "app/tessvale_dlg.h"
#include "app/window_environment.h"
#include "app/window_prompts.h"
#include "app/window_translation.h"
#include "common/localization.h"
#include "common/profile_file.h"
#include "common/string_table.h"
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
    void SetSetting(const std::string&, const std::string&) override {}
    bool WakeOnLan(const std::string&) override { return true; }
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
    std::optional<UnsavedAnswer> AskSaveFirst(QWidget*, const QString&) override { return UnsavedAnswer::Discard; }
    bool RunSavePrompt(QWidget*, bool, bool, bool&) override { return false; }
    bool AskYesNoOnce(QWidget*, const QString&, bool&) override { return false; }
    QString AskResultName(QWidget*, const QString&) override { return {}; }
    std::optional<ExportChoice> ChooseExportFile(QWidget*, const QString&, ExportOffer) override
    {
        return std::nullopt;
    }
    void ShowProperties(QWidget*, const HostRecord&, const QString&) override {}
    void ShowAbout(QWidget*) override {}
};

// Patterns of the texts in the sources: UiText("..."), a kLabels = {...} list, a "..." literal.
const char* const kUiTextCall = R"re(UiText\("((?:[^"\\]|\\.)*)"\))re";
const char* const kLabelList = R"(kLabels = \{([^}]*)\})";
const char* const kQuoted = R"re("((?:[^"\\]|\\.)*)")re";
// A key of the window's layout file ("Window/Geometry").
const char* const kSettingKey = R"re(\w+/\w+)re";
// A window's literal; a constant that holds a message, question, caption or menu text;
// a failure of the chart with its message.
const char* const kWindowLiteral = R"re(QStringLiteral\("((?:[^"\\]|\\.)*)"\))re";
const char* const kMessageConstant =
    R"re(constexpr (?:const )?char\s*\*?\s*k\w*(?:Message|Question|Caption|MenuText)\w*(?:\[\])?\s*=\s*"((?:[^"\\]|\\.)*)")re";
const char* const kChartFailure = R"re(ChartFailure\s+\w+\{\s*k(?:Plain|Localised),\s*"((?:[^"\\]|\\.)*)"\s*\})re";

std::string ShippedGermanFile()
{
    return std::string(TESSVALE_SOURCE_DIR) + "/res/Language/deu.ini";
}

// A source literal in the form of a language file's key: escaped quotes and
// backslashes resolved, line breaks kept as the two characters "\r" and "\n" (as the
// language files write them).
std::string AsKey(const std::string& literal)
{
    std::string text;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] == '\\' && i + 1 < literal.size() && (literal[i + 1] == '"' || literal[i + 1] == '\\')) {
            ++i;
        }
        text += literal[i];
    }
    return text;
}

// A text of the program in the same form.
std::string KeyOf(const std::string& text)
{
    std::string key;
    for (const char c : text) {
        key += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    }
    return key;
}

// Every match's first group in `source`, unescaped, into `texts`.
void Collect(const std::string& source, const std::regex& pattern, std::set<std::string>& texts)
{
    for (std::sregex_iterator it(source.begin(), source.end(), pattern), end; it != end; ++it) {
        texts.insert(AsKey((*it)[1].str()));
    }
}

// A literal of the windows that a user reads: it starts with a capital letter or a
// bracket and holds a lower-case letter (object names start in lower case; addresses,
// masks and style sheets have no capital start).
bool LooksLikeText(const std::string& text)
{
    if (text.empty() || !(std::isupper(static_cast<unsigned char>(text[0])) != 0 || text[0] == '(')) {
        return false;
    }
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; });
}

// Literals that are shown as they are in every language: the product's name, the
// language's own name, keys of stored settings, the sample texts that show an entry's
// width and the parts of object names.
bool KeptAsItIs(const std::string& text)
{
    static const std::regex settingKey(kSettingKey);
    if (std::regex_match(text, settingKey)) {
        return true;
    }
    static const std::set<std::string> kept = {"Tessvale",        "Tessvale ", "English",   "Deutsch",
                                               "DESKTOP-ABCDEF1", "Action",    "ToolButton"};
    return kept.count(text) == 1;
}

// The English texts the program can show, collected from its sources: the string
// table and menu labels, UiText/QUiText calls, the windows' literals, the texts of
// message boxes and questions kept as constants, and the chart's failure messages.
std::set<std::string> ShownTexts()
{
    std::set<std::string> texts;
    for (int id = 0; id < 1000; ++id) {
        if (id != IDS_VERSION && !DefaultString(id).empty()) {
            texts.insert(KeyOf(DefaultString(id)));
        }
    }
    for (int id = 0; id < 65536; ++id) {
        if (!MenuLabel(id).empty()) {
            texts.insert(KeyOf(MenuLabel(id)));
        }
    }
    const std::regex uiText(kUiTextCall);
    const std::regex labelList(kLabelList);
    const std::regex quoted(kQuoted);
    const std::regex windowLiteral(kWindowLiteral);
    const std::regex messageConstant(kMessageConstant);
    const std::regex chartFailure(kChartFailure);
    for (const char* folder : {"app", "dialogs", "chart", "common"}) {
        const std::filesystem::path root = std::filesystem::path(TESSVALE_SOURCE_DIR) / folder;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            const auto extension = entry.path().extension();
            if (extension != ".cpp" && extension != ".h") {
                continue;
            }
            const std::string source = test::ReadFile(entry.path().string());
            Collect(source, uiText, texts);
            Collect(source, messageConstant, texts);
            Collect(source, chartFailure, texts);
            for (std::sregex_iterator it(source.begin(), source.end(), labelList), end; it != end; ++it) {
                const std::string list = (*it)[1].str();
                Collect(list, quoted, texts);
            }
            if (extension == ".cpp" && folder != std::string("chart") && folder != std::string("common")) {
                std::set<std::string> literals;
                Collect(source, windowLiteral, literals);
                for (const std::string& literal : literals) {
                    if (LooksLikeText(literal) && !KeptAsItIs(literal)) {
                        texts.insert(literal);
                    }
                }
            }
        }
    }
    // Texts put together at run time from the product's name, and the standard buttons
    // of the translated message boxes.
    for (const char* text : {"Tessvale Update", "&Yes", "&No", "OK", "Cancel", "&Abort", "&Retry", "&Ignore"}) {
        texts.insert(text);
    }
    return texts;
}

// The texts of `texts` that the language file `path` has no line for.
QStringList MissingTranslations(const std::string& path, const std::set<std::string>& texts)
{
    QStringList missing;
    for (const std::string& english : texts) {
        if (ReadProfileString(path, "Language", english).empty()) {
            missing << QString::fromStdString(english);
        }
    }
    return missing;
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
        // No German label elided, no header cut.
        for (QAction* action : window.findChild<QToolBar*>(QStringLiteral("mainToolBar"))->actions()) {
            if (auto* button = qobject_cast<QToolButton*>(
                    window.findChild<QToolBar*>(QStringLiteral("mainToolBar"))->widgetForAction(action))) {
                QVERIFY2(button->width() >= button->fontMetrics().horizontalAdvance(action->text()) + 8,
                         qPrintable(action->text()));
            }
        }
        for (int column = 0; column < listView->model()->columnCount(); ++column) {
            if (listView->isColumnHidden(column)) {
                continue; // the change column, shown with a baseline
            }
            QVERIFY2(listView->header()->sectionSize(column) >
                         listView->header()->fontMetrics().horizontalAdvance(header(column)) + 8,
                     qPrintable(header(column)));
        }

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
        const QStringList missing = MissingTranslations(ShippedGermanFile(), ShownTexts());
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }

    // The collection reaches the texts of message boxes, questions and status lines
    // wherever the code keeps them: a call's literal, a constant, a table of failures.
    void shownTextsAreCollectedFromTheCode()
    {
        const std::set<std::string> texts = ShownTexts();
        for (const char* text :
             {"SaveError!", "Group err!", "Select error!", "Resize error!", "GlueTo error!",
              "There is no data to draw flow chart, is it continue?", "Network connection failed!",
              "Already update to date!", "Already up to date!", "New version available. Upgrade now?",
              "New version available!", "Update", "Enter an integer.", "Do you want to update language?",
              "Status: Saved successfully.", "Quit and discard the current result?", "Favorites Management"}) {
            QVERIFY2(texts.count(text) == 1, text);
        }
        // Names of objects, addresses and style sheets are not texts.
        for (const char* text : {"okButton", "255.255.255.255", "color: #6d6d6d", ":/tessvale/tessvale.svg"}) {
            QVERIFY2(texts.count(text) == 0, text);
        }
    }

    // Qt's own texts follow the chosen language: the standard buttons of the chart's and
    // the update run's message boxes, which are not the program's texts.
    void qtStandardButtonsFollowTheLanguage()
    {
        QVERIFY(InstallQtTranslations("DEU"));
        QMessageBox german(QMessageBox::Question, QStringLiteral("Tessvale"), QStringLiteral("?"),
                           QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(german.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
        QCOMPARE(german.button(QMessageBox::No)->text(), QStringLiteral("&Nein"));
        QVERIFY(InstallQtTranslations("ENU"));
        QMessageBox english(QMessageBox::Question, QStringLiteral("Tessvale"), QStringLiteral("?"),
                            QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(english.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
        // The language the program records decides.
        QVERIFY(WriteLanguageCode("DEU"));
        QVERIFY(InstallQtTranslationsForCurrentLanguage());
        QMessageBox switched(QMessageBox::Question, QStringLiteral("Tessvale"), QStringLiteral("?"),
                             QMessageBox::Cancel);
        QCOMPARE(switched.button(QMessageBox::Cancel)->text(), QStringLiteral("Abbrechen"));
        QVERIFY(InstallQtTranslations("ENU"));
    }

    // Removing any one German line of a collected text is found.
    void aGermanLineRemovedIsFound()
    {
        const std::string shipped = test::ReadFile(ShippedGermanFile());
        const std::set<std::string> texts = ShownTexts();
        for (const char* text : {"SaveError!", "Network connection failed!", "Enter an integer."}) {
            std::string reduced = shipped;
            const std::size_t at = reduced.find(std::string("\n") + text + "=");
            QVERIFY2(at != std::string::npos, text);
            reduced.erase(at + 1, reduced.find('\n', at + 1) - at);
            const std::string path = m_temp->File("reduced.ini");
            QVERIFY(test::WriteFile(path, reduced));
            QCOMPARE(MissingTranslations(path, texts), QStringList{QString::fromUtf8(text)});
        }
    }

private:
    std::unique_ptr<test::TempFolder> m_temp;
};

QTEST_MAIN(MainWindowLanguageTest)
#include "main_window_language_test.moc"
