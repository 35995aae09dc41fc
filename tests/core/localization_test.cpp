#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/localization.h"
#include "common/paths.h"
#include "common/profile_file.h"
#include "fakes/environment_guard.h"
#include "fakes/local_http_server.h"
#include "fakes/temp_folder.h"

namespace tessvale {
namespace {

using namespace test; // the fakes' environment guard, files and folders

constexpr char kTwoLanguages[] = R"(<?xml version="1.0" encoding="utf-8"?>
<root>
  <LANG ITEM="DEU" VALUE=" Deutsch " URL="http://example.invalid/lang/deu.ini"/>
  <LANG ITEM="FRA" VALUE="Fran&#231;ais" URL="http://example.invalid/lang/fra.ini"/>
</root>
)";

constexpr char kFrancais[] = "Fran\xC3\xA7"
                             "ais";

class Localization : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_temp.Path().empty());
        m_folder = m_temp.File("Language");
        SetLanguageFolderOverride(m_folder);
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            m_environment.Unset(variable);
        }
    }
    void TearDown() override { SetLanguageFolderOverride({}); }

    void Put(const std::string& name, const std::string& content)
    {
        std::filesystem::create_directories(m_folder);
        ASSERT_TRUE(WriteFile(m_folder + "/" + name, content));
    }
    void PutGermanAndFrench()
    {
        Put("Language.xml", kTwoLanguages);
        Put("deu.ini", "[Language]\nStart=Starten\n&File=&Datei\nLine one\\r\\nLine two=Zeile eins\\nZeile zwei\n"
                       "Stop=\n");
        Put("fra.ini", "[Language]\nstart=D\xC3\xA9marrer\n&File=&Fichier\n");
    }
    std::string Recorded() const { return ReadProfileString(m_folder + "/Language.ini", "Settings", "Language"); }

    EnvironmentGuard m_environment;
    TempFolder m_temp;
    std::string m_folder;
};

TEST_F(Localization, WithoutFolderItIsCreatedAndEverythingStaysEnglish)
{
    ASSERT_FALSE(std::filesystem::exists(m_folder));
    m_environment.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(Translate("&File"), "&File");
    EXPECT_TRUE(std::filesystem::is_directory(m_folder));
    EXPECT_EQ(GetLanguageCode(), "ENU");
    EXPECT_EQ(ListLanguages(), std::vector<std::string>{"English"});
    EXPECT_EQ(LanguageNameOf(GetLanguageCode()), "English");
    EXPECT_FALSE(std::filesystem::exists(m_folder + "/Language.ini"));
}

TEST(LanguageFolderPlace, DefaultFolderIsBesideTheProgram)
{
    SetLanguageFolderOverride({});
    const std::string folder = LanguageFolder();
    EXPECT_EQ(folder, ProgramFolder() + "/Language");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST_F(Localization, GermanLocaleListedIsRecordedAndUsed)
{
    PutGermanAndFrench();
    m_environment.Set("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(GetLanguageCode(), "DEU");
    EXPECT_EQ(Recorded(), "DEU");
    EXPECT_EQ(Translate("Start"), "Starten");
    // The recorded choice wins over the locale from now on.
    m_environment.Set("LC_ALL", "fr_FR.UTF-8");
    EXPECT_EQ(GetLanguageCode(), "DEU");
}

TEST_F(Localization, GermanLocaleNotListedGivesEnglishAndRecordsNothing)
{
    Put("Language.xml", R"(<root><LANG ITEM="FRA" VALUE="Francais" URL="http://x/fra.ini"/></root>)");
    Put("deu.ini", "[Language]\nStart=Starten\n");
    m_environment.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(GetLanguageCode(), "ENU");
    EXPECT_EQ(Translate("Start"), "Start");
    EXPECT_FALSE(std::filesystem::exists(m_folder + "/Language.ini"));
}

TEST_F(Localization, UnparsableListCountsAsMissing)
{
    Put("Language.xml", "<root><LANG ITEM=");
    m_environment.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(GetLanguageCode(), "ENU");
    EXPECT_EQ(ListLanguages(), std::vector<std::string>{"English"});
    EXPECT_EQ(LanguageCodeOf("Deutsch"), "ENU");
    EXPECT_EQ(LanguageFileName("DEU"), "enu.ini");
}

TEST(LocaleCodes, WindowsCodesGiveTheLocaleQtTranslatesFor)
{
    const std::pair<const char*, const char*> cases[] = {
        {"DEU", "de"}, {"deu", "de"}, {"ENU", "en"}, {"DEA", "de_AT"}, {"CHT", "zh_TW"}, {"XYZ", ""}, {"", ""}};
    for (const auto& [code, locale] : cases) {
        EXPECT_EQ(LocaleOfLanguageCode(code), locale) << code;
    }
    // Both ways agree for every language the list can name.
    for (const char* code : {"DEU", "FRA", "ITA", "JPN", "ENG", "PTG"}) {
        EXPECT_EQ(WindowsLanguageCode(LocaleOfLanguageCode(code)), code) << code;
    }
}

TEST(LocaleCodes, PosixLocalesMapToWindowsCodes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"de_DE.UTF-8", "DEU"}, {"de_AT", "DEA"}, {"de", "DEU"},          {"en_US.UTF-8", "ENU"}, {"en_GB.utf8", "ENG"},
        {"fr_FR@euro", "FRA"},  {"fr_CA", "FRC"}, {"es_ES.UTF-8", "ESP"}, {"it_IT", "ITA"},       {"pt_BR", "PTB"},
        {"zh_TW.UTF-8", "CHT"}, {"C.UTF-8", ""},  {"POSIX", ""},          {"xx_YY", ""},          {"", ""}};
    for (const auto& [locale, code] : cases) {
        EXPECT_EQ(WindowsLanguageCode(locale), code) << locale;
    }
}

TEST(LocaleCodes, FirstSetVariableDecides)
{
    EnvironmentGuard environment;
    environment.Unset("LC_ALL");
    environment.Set("LC_MESSAGES", "fr_FR.UTF-8");
    environment.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(UserLanguageCode(), "FRA");
    environment.Set("LC_ALL", "it_IT.UTF-8");
    EXPECT_EQ(UserLanguageCode(), "ITA");
}

TEST_F(Localization, FileNamesComeFromTheListedUrl)
{
    Put("Language.xml", R"(<root><LANG ITEM="DEU" VALUE="Deutsch" URL="http://x/a/b/deutsch.ini"/>)"
                        R"(<LANG ITEM="ESP" VALUE="Espanol" URL="espanol.ini"/><LANG ITEM="ITA" VALUE="It"/></root>)");
    EXPECT_EQ(LanguageFileName("DEU"), "deutsch.ini");
    EXPECT_EQ(LanguageFileName("ESP"), "enu.ini");
    EXPECT_EQ(LanguageFileName("ITA"), "enu.ini");
    EXPECT_EQ(LanguageFileName("RUS"), "RUS.ini");
}

TEST_F(Localization, TranslationEscapesLineBreaksAndKeepsUnknownTexts)
{
    PutGermanAndFrench();
    EXPECT_EQ(TranslateText("Line one\r\nLine two", "DEU"), "Zeile eins\nZeile zwei");
    EXPECT_EQ(TranslateText("start", "DEU"), "Starten");
    EXPECT_EQ(TranslateText("Unknown text", "DEU"), "Unknown text");
    EXPECT_EQ(TranslateText("Stop", "DEU"), "Stop"); // empty translation keeps English
    EXPECT_EQ(TranslateText("", "DEU"), "");
    EXPECT_EQ(TranslateText("Start", ""), "Start");
    EXPECT_EQ(TranslateText("Start", "RUS"), "Start"); // no such file
}

TEST_F(Localization, SwitchingGermanToFrenchGoesThroughEnglishKeys)
{
    PutGermanAndFrench();
    ASSERT_TRUE(WriteLanguageCode("DEU"));
    EXPECT_EQ(RetranslateText("Starten", "FRA"), "D\xC3\xA9marrer");
    EXPECT_EQ(RetranslateText("&Datei", "FRA"), "&Fichier");
    EXPECT_EQ(RetranslateText("Zeile eins\nZeile zwei", "ENU"), "Line one\r\nLine two");
    // Not a value of the German file: unchanged.
    EXPECT_EQ(RetranslateText("Irgendwas", "FRA"), "Irgendwas");
    EXPECT_EQ(RetranslateText("", "FRA"), "");
}

TEST_F(Localization, NamesAndCodesMapBothWays)
{
    PutGermanAndFrench();
    EXPECT_EQ(ListLanguages(), (std::vector<std::string>{"Deutsch", kFrancais}));
    EXPECT_EQ(LanguageCodeOf(kFrancais), "FRA");
    EXPECT_EQ(LanguageCodeOf("Klingon"), "ENU");
    EXPECT_EQ(LanguageNameOf("FRA"), kFrancais);
    EXPECT_EQ(LanguageNameOf("XYZ"), "English");
}

TEST_F(Localization, QuotesInNamesDoNotBreakTheQuery)
{
    Put("Language.xml", R"(<root><LANG ITEM="Q'&quot;]" VALUE="It's &quot;odd&quot; ]" URL="x/q.ini"/></root>)");
    EXPECT_EQ(LanguageCodeOf("It's \"odd\" ]"), "Q'\"]");
    EXPECT_EQ(LanguageNameOf("Q'\"]"), "It's \"odd\" ]");
    EXPECT_EQ(LanguageFileName("Q'\"]"), "q.ini");
    EXPECT_EQ(LanguageCodeOf("' or '1'='1"), "ENU");
}

class LanguageDownloadTest : public Localization
{
protected:
    void SetUp() override
    {
        Localization::SetUp();
        m_environment.Set("no_proxy", "127.0.0.1,localhost");
        const std::string root = m_temp.File("server");
        std::filesystem::create_directories(root + "/tessvale/language");
        std::filesystem::create_directories(root + "/lang");
        m_server = std::make_unique<test::LocalHttpServer>(std::vector<std::string>{"--root", root});
        ASSERT_TRUE(m_server->Running()) << m_server->Error();
        const std::string base = m_server->BaseUrl();
        m_environment.Set("TESSVALE_LANGUAGE_SERVER", (base + "/").c_str());
        m_list = "<root>\n<LANG ITEM=\"ENU\" VALUE=\"English\" URL=\"" + base +
                 "/lang/enu.ini\"/>\n<LANG ITEM=\"DEU\" VALUE=\"Deutsch\" URL=\"" + base +
                 "/lang/deu.ini\"/>\n<LANG ITEM=\"FRA\" VALUE=\"Francais\" URL=\"" + base +
                 "/lang/fra.ini\"/>\n</root>\n";
        ASSERT_TRUE(WriteFile(root + "/tessvale/language/language.xml", m_list));
        ASSERT_TRUE(WriteFile(root + "/lang/enu.ini", "[Language]\n"));
        ASSERT_TRUE(WriteFile(root + "/lang/deu.ini", m_german));
        m_root = root;
    }
    std::unique_ptr<test::LocalHttpServer> m_server;
    std::string m_root;
    std::string m_list;
    std::string m_german = "[Language]\nStart=Starten\n";
};

TEST_F(LanguageDownloadTest, OneMissingFileLeavesItsLanguageOut)
{
    EXPECT_EQ(LanguageListUrl(), m_server->BaseUrl() + "/tessvale/language/language.xml");
    const LanguageDownload outcome = DownloadLanguages();
    EXPECT_TRUE(outcome.listArrived);
    EXPECT_FALSE(outcome.complete);
    EXPECT_EQ(outcome.arrivedNames, (std::vector<std::string>{"English", "Deutsch"}));
    EXPECT_EQ(ReadFile(m_folder + "/Language.xml"), m_list);
    EXPECT_EQ(ReadFile(m_folder + "/deu.ini"), m_german);
    EXPECT_FALSE(std::filesystem::exists(m_folder + "/fra.ini"));
    EXPECT_EQ(TranslateText("Start", "DEU"), "Starten");
}

TEST_F(LanguageDownloadTest, CompleteDownloadSucceeds)
{
    ASSERT_TRUE(WriteFile(m_root + "/lang/fra.ini", "[Language]\nStart=Demarrer\n"));
    const LanguageDownload outcome = DownloadLanguages();
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.arrivedNames.size(), 3u);
    EXPECT_EQ(TranslateText("Start", "FRA"), "Demarrer");
}

TEST_F(LanguageDownloadTest, FailedListDownloadKeepsTheOldList)
{
    Put("Language.xml", kTwoLanguages);
    EXPECT_FALSE(DownloadLanguageList(m_server->BaseUrl() + "/nothing/here.xml"));
    EXPECT_EQ(ReadFile(m_folder + "/Language.xml"), kTwoLanguages);
    EXPECT_FALSE(DownloadLanguageFile("RUS")); // not listed
    const LanguageDownload outcome = [this] {
        m_environment.Set("TESSVALE_LANGUAGE_SERVER", (m_server->BaseUrl() + "/elsewhere").c_str());
        return DownloadLanguages();
    }();
    EXPECT_FALSE(outcome.listArrived);
    EXPECT_EQ(ReadFile(m_folder + "/Language.xml"), kTwoLanguages);
}

TEST_F(LanguageDownloadTest, ListIsReplacedOnlyByAWholeListThatNamesEnglish)
{
    Put("Language.xml", kTwoLanguages);
    const std::string listPath = m_root + "/tessvale/language/language.xml";
    const std::vector<std::string> bad{
        R"(<root><LANG ITEM="ENU" VALUE="English" URL="x/enu.ini"/><LANG ITEM=)", // cut off
        "<html><body>Not found</body></html>",                                    // an error page
        R"(<root><LANG ITEM="DEU" VALUE="Deutsch" URL="x/deu.ini"/></root>)",     // no English
    };
    for (const std::string& list : bad) {
        ASSERT_TRUE(WriteFile(listPath, list));
        EXPECT_FALSE(DownloadLanguages().listArrived) << list;
        EXPECT_EQ(ReadFile(m_folder + "/Language.xml"), kTwoLanguages);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder), std::filesystem::directory_iterator()), 1)
        << "temporary files were left behind";
}

TEST_F(LanguageDownloadTest, ListedNamesNeverReachTheSettingsOrTheList)
{
    Put("Language.ini", "[Settings]\nLanguage=DEU\n");
    const std::string base = m_server->BaseUrl();
    ASSERT_TRUE(WriteFile(m_root + "/lang/Language.ini", "[Language]\nStart=Hijacked\n"));
    ASSERT_TRUE(WriteFile(m_root + "/lang/Language.xml", "[Language]\nStart=Hijacked\n"));
    const auto entry = [&base](const std::string& code, const std::string& file) {
        return R"(<LANG ITEM=")" + code + R"(" VALUE=")" + code + R"(" URL=")" + base + "/lang/" + file + R"("/>)";
    };
    m_list = "<root>" + entry("ENU", "enu.ini") + entry("SET", "Language.ini") + entry("LST", "Language.xml") +
             entry("UP", "..") + entry("SET2", "LANGUAGE.INI") + "</root>";
    ASSERT_TRUE(WriteFile(m_root + "/tessvale/language/language.xml", m_list));
    const LanguageDownload outcome = DownloadLanguages();
    EXPECT_TRUE(outcome.listArrived);
    EXPECT_EQ(outcome.arrivedNames, std::vector<std::string>{"ENU"});
    EXPECT_EQ(ReadFile(m_folder + "/Language.ini"), "[Settings]\nLanguage=DEU\n");
    EXPECT_EQ(ReadFile(m_folder + "/Language.xml"), m_list);
    EXPECT_EQ(LanguageFileName("SET"), "");
    EXPECT_EQ(LanguageFileName("LST"), "");
    // A code that the list does not name makes no path either.
    EXPECT_EQ(LanguageFileName("../../etc/x"), "");
    EXPECT_EQ(TranslateText("Start", "SET"), "Start");
}

TEST_F(LanguageDownloadTest, OversizedOrNonProfileFilesAreRefused)
{
    ASSERT_TRUE(WriteFile(m_root + "/lang/deu.ini", "[Language]\n" + std::string(kMaxLanguageFileBytes, ';')));
    ASSERT_TRUE(WriteFile(m_root + "/lang/fra.ini", "<html>error</html>"));
    Put("deu.ini", m_german);
    const LanguageDownload outcome = DownloadLanguages();
    EXPECT_EQ(outcome.arrivedNames, std::vector<std::string>{"English"});
    EXPECT_EQ(ReadFile(m_folder + "/deu.ini"), m_german);
    EXPECT_FALSE(std::filesystem::exists(m_folder + "/fra.ini"));
}

TEST_F(LanguageDownloadTest, CancelledOrLateDownloadChangesNothing)
{
    Put("Language.xml", kTwoLanguages);
    LanguageDownloadControl cancelled;
    cancelled.cancel = true;
    EXPECT_FALSE(DownloadLanguages(&cancelled).listArrived);
    LanguageDownloadControl late;
    late.deadline = std::chrono::steady_clock::now();
    EXPECT_FALSE(DownloadLanguages(&late).listArrived);
    EXPECT_EQ(ReadFile(m_folder + "/Language.xml"), kTwoLanguages);
    // A whole download counts its files for the progress window.
    ASSERT_TRUE(WriteFile(m_root + "/lang/fra.ini", "[Language]\nStart=Demarrer\n"));
    LanguageDownloadControl counted;
    EXPECT_TRUE(DownloadLanguages(&counted).complete);
    EXPECT_EQ(counted.filesTotal.load(), 3);
    EXPECT_EQ(counted.filesDone.load(), 3);
}

TEST_F(LanguageDownloadTest, PlantedLinkAtTheOldTemporaryNameIsNotFollowed)
{
    Put("Language.xml", kTwoLanguages);
    const std::string victim = m_temp.File("victim");
    ASSERT_TRUE(WriteFile(victim, "keep me"));
    std::filesystem::create_symlink(victim, m_folder + "/Language.xml.download");
    std::filesystem::create_symlink(victim, m_folder + "/Language.ini.tmp" + std::to_string(::getpid()));
    EXPECT_TRUE(DownloadLanguageList(LanguageListUrl()));
    EXPECT_TRUE(WriteLanguageCode("DEU"));
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_EQ(ReadFile(m_folder + "/Language.xml"), m_list);
}

// An installed program: usr/bin/ beside usr/share/tessvale/Language/ with the shipped
// list and German file, and the user's data folder.
class InstalledLanguageFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_temp.Path().empty());
        SetLanguageFolderOverride({});
        std::filesystem::create_directories(m_bin);
        std::filesystem::create_directories(m_shipped);
        ASSERT_TRUE(WriteFile(m_shipped + "/Language.xml", kTwoLanguages));
        ASSERT_TRUE(WriteFile(m_shipped + "/deu.ini", "[Language]\nStart=Starten\n&File=&Datei\n"));
        SetProgramFolderOverride(m_bin);
        m_environment.Set("APPDATA", m_temp.File("data").c_str());
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            m_environment.Unset(variable);
        }
    }
    void TearDown() override { SetProgramFolderOverride({}); }

    EnvironmentGuard m_environment;
    TempFolder m_temp;
    const std::string m_bin = m_temp.File("usr/bin");
    const std::string m_shipped = m_temp.File("usr/share/tessvale/Language");
    const std::string m_userFolder = m_temp.File("data/Tessvale/Language");
};

TEST_F(InstalledLanguageFiles, ShippedFilesAreReadAndTheChoiceIsKeptInTheDataFolder)
{
    EXPECT_EQ(LanguageFolder(), m_userFolder);
    EXPECT_EQ(ListLanguages(), (std::vector<std::string>{"Deutsch", kFrancais}));
    EXPECT_EQ(TranslateText("&File", "DEU"), "&Datei");
    // The German locale is found in the shipped list and recorded for the user.
    m_environment.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(Translate("Start"), "Starten");
    EXPECT_EQ(ReadProfileString(m_userFolder + "/Language.ini", "Settings", "Language"), "DEU");
    EXPECT_TRUE(WriteLanguageCode("FRA"));
    EXPECT_EQ(ReadProfileString(m_userFolder + "/Language.ini", "Settings", "Language"), "FRA");
    EXPECT_EQ(Translate("Start"), "Start"); // no French file anywhere
    // Nothing was written beside the program or among the shipped files.
    EXPECT_FALSE(std::filesystem::exists(m_bin + "/Language"));
    EXPECT_FALSE(std::filesystem::exists(m_shipped + "/Language.ini"));
}

TEST_F(InstalledLanguageFiles, TheDataFolderCopyWins)
{
    std::filesystem::create_directories(m_userFolder);
    ASSERT_TRUE(WriteFile(m_userFolder + "/deu.ini", "[Language]\nStart=Los\n"));
    EXPECT_EQ(TranslateText("Start", "DEU"), "Los");
    // The user's own list names only French; its file is still missing there.
    ASSERT_TRUE(
        WriteFile(m_userFolder + "/Language.xml",
                  "<root><LANG ITEM=\"FRA\" VALUE=\"Francais\" URL=\"http://example.invalid/fra.ini\"/></root>"));
    EXPECT_EQ(ListLanguages(), std::vector<std::string>{"Francais"});
    EXPECT_EQ(TranslateText("Start", "FRA"), "Start");
    // Removing the user's copies brings the shipped ones back.
    std::filesystem::remove_all(m_userFolder);
    EXPECT_EQ(ListLanguages(), (std::vector<std::string>{"Deutsch", kFrancais}));
    EXPECT_EQ(TranslateText("Start", "DEU"), "Starten");
}

} // namespace
} // namespace tessvale
