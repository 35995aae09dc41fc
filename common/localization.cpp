#include "common/localization.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <utility>

#include <pugixml.hpp>

#include "common/checked_output.h"
#include "common/file_util.h"
#include "common/http_client.h"
#include "common/paths.h"
#include "common/profile_file.h"
#include "common/temporary_file.h"
#include "common/text_util.h"

#ifndef TESSVALE_LANGUAGE_SERVER
#define TESSVALE_LANGUAGE_SERVER "https://localhost"
#endif

namespace tessvale {
namespace {

constexpr char kSettingsFile[] = "Language.ini";
constexpr char kListFile[] = "Language.xml";
constexpr char kSettingsSection[] = "Settings";
constexpr char kLanguageKey[] = "Language";
constexpr char kTranslationSection[] = "Language";
constexpr char kDefaultFileName[] = "enu.ini";
constexpr char kProductWord[] = "tessvale";

std::mutex g_folderMutex;
std::string g_folderOverride;

// The language-file path of `name`; empty when there is no language folder, so that
// nothing is ever read from or written to the file-system root.
std::string LanguageFilePath(const std::string& name)
{
    const std::string folder = LanguageFolder();
    if (folder.empty() || name.empty()) {
        return {};
    }
    return folder + "/" + name;
}

bool FolderOverridden()
{
    const std::lock_guard lock(g_folderMutex);
    return !g_folderOverride.empty();
}

// The file to read for `name`: the language folder's copy (the user's own or a
// download) when it is there, else the one the installed program ships.
std::string LanguageReadPath(const std::string& name)
{
    std::string path = LanguageFilePath(name);
    if (name.empty() || FolderOverridden() || (!path.empty() && std::ifstream(path).good())) {
        return path;
    }
    const std::string shared = SharedDataFolder();
    if (!shared.empty()) {
        std::string shipped = shared + "/Language/" + name;
        if (std::ifstream(shipped).good()) {
            return shipped;
        }
    }
    return path;
}

std::unique_ptr<pugi::xml_document> LoadLanguageList()
{
    const std::string path = LanguageReadPath(kListFile);
    if (path.empty()) {
        return nullptr;
    }
    auto document = std::make_unique<pugi::xml_document>();
    if (!document->load_file(path.c_str())) {
        return nullptr;
    }
    return document;
}

// The first LANG element whose attribute `attribute` ("ITEM" or "VALUE") equals `value`.
// The value reaches the query only as an XPath variable, so quotes in it are harmless.
pugi::xml_node FindLanguage(const pugi::xml_document& document, const char* attribute, const std::string& value)
{
    pugi::xpath_variable_set variables;
    variables.set("value", value.c_str());
    const std::string query = std::string("//root/LANG[@") + attribute + " = $value]";
    try {
        return document.select_node(pugi::xpath_query(query.c_str(), &variables)).node();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

std::string Escape(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

std::string Unescape(const std::string& text)
{
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
            plain += text[i + 1] == 'r' ? '\r' : '\n';
            ++i;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

// The translation file of `code` to read.
std::string TranslationReadPath(const std::string& code)
{
    return LanguageReadPath(LanguageFileName(code));
}

// A language list that the program can use: a whole document that lists English.
bool IsUsableLanguageList(const std::string& path)
{
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        return false;
    }
    return static_cast<bool>(FindLanguage(document, "ITEM", kEnglishCode));
}

// A translation file: a profile file with its section (the English one may be empty).
bool IsTranslationFile(const std::string& path)
{
    std::string text;
    return ReadWholeFile(path, text) && text.find('\0') == std::string::npos &&
           ToLowerAscii(text).find("[language]") != std::string::npos;
}

// Downloads `url` into a new temporary file beside `target` and moves it into place
// only when it arrived whole and `usable` accepts it, so a failed or hostile refresh
// never destroys a working file.
bool DownloadReplacing(const std::string& url, const std::string& target, const HttpOptions& options,
                       bool (*usable)(const std::string&))
{
    if (target.empty()) {
        return false;
    }
    std::string temporary;
    UniqueFd file = CreateTemporaryBeside(target, temporary);
    if (!file.Valid()) {
        return false;
    }
    const std::uint64_t bytes = HttpDownloadToDescriptor({}, url, file.Get(), options);
    const bool closed = file.Close();
    if (bytes == 0 || !closed || !usable(temporary)) {
        // Nothing is left to do when even the leftover cannot go; the target is untouched.
        IgnoreResult(std::remove(temporary.c_str()));
        return false;
    }
    return ReplaceWithTemporary(temporary, target);
}

// The transfer settings of one language download.
HttpOptions LanguageOptions(const LanguageDownloadControl* control)
{
    HttpOptions options;
    options.maxBytes = kMaxLanguageFileBytes;
    if (control != nullptr) {
        options.deadline = control->deadline;
        options.cancel = &control->cancel;
    }
    return options;
}

// A name that may be written in the language folder: a plain ".ini" file name that is
// not the settings file. Empty for anything else.
std::string SafeLanguageFileName(const std::string& name)
{
    constexpr std::size_t kMaxNameLength = 64;
    if (name.empty() || name.size() > kMaxNameLength || name.front() == '.' || !ToLowerAscii(name).ends_with(".ini") ||
        EqualsNoCase(name, kSettingsFile)) {
        return {};
    }
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '_' || c == '-';
        if (!plain) {
            return {};
        }
    }
    return name;
}

// Windows abbreviated language names by language, and by language and territory, of a locale.
struct LocaleCode
{
    const char* locale;
    const char* code;
};
// Languages first: a language's own code is found before a territory's ("ENU" is "en",
// not "en_US"); only territories have an underscore.
constexpr std::array kLocaleCodes{
    LocaleCode{"ar", "ARA"},    LocaleCode{"bg", "BGR"},    LocaleCode{"ca", "CAT"},    LocaleCode{"cs", "CSY"},
    LocaleCode{"da", "DAN"},    LocaleCode{"de", "DEU"},    LocaleCode{"el", "ELL"},    LocaleCode{"en", "ENU"},
    LocaleCode{"es", "ESP"},    LocaleCode{"et", "ETI"},    LocaleCode{"eu", "EUQ"},    LocaleCode{"fa", "FAR"},
    LocaleCode{"fi", "FIN"},    LocaleCode{"fr", "FRA"},    LocaleCode{"he", "HEB"},    LocaleCode{"hi", "HIN"},
    LocaleCode{"hr", "HRV"},    LocaleCode{"hu", "HUN"},    LocaleCode{"id", "IND"},    LocaleCode{"is", "ISL"},
    LocaleCode{"it", "ITA"},    LocaleCode{"ja", "JPN"},    LocaleCode{"ko", "KOR"},    LocaleCode{"lt", "LTH"},
    LocaleCode{"lv", "LVI"},    LocaleCode{"ms", "MSL"},    LocaleCode{"nb", "NOR"},    LocaleCode{"nl", "NLD"},
    LocaleCode{"nn", "NON"},    LocaleCode{"no", "NOR"},    LocaleCode{"pl", "PLK"},    LocaleCode{"pt", "PTB"},
    LocaleCode{"ro", "ROM"},    LocaleCode{"ru", "RUS"},    LocaleCode{"sk", "SKY"},    LocaleCode{"sl", "SLV"},
    LocaleCode{"sr", "SRB"},    LocaleCode{"sv", "SVE"},    LocaleCode{"th", "THA"},    LocaleCode{"tr", "TRK"},
    LocaleCode{"uk", "UKR"},    LocaleCode{"vi", "VIT"},    LocaleCode{"zh", "CHS"},    LocaleCode{"ar_SA", "ARA"},
    LocaleCode{"ar_EG", "ARE"}, LocaleCode{"de_AT", "DEA"}, LocaleCode{"de_CH", "DES"}, LocaleCode{"de_LI", "DEC"},
    LocaleCode{"de_LU", "DEL"}, LocaleCode{"en_AU", "ENA"}, LocaleCode{"en_CA", "ENC"}, LocaleCode{"en_GB", "ENG"},
    LocaleCode{"en_IE", "ENI"}, LocaleCode{"en_IN", "ENN"}, LocaleCode{"en_NZ", "ENZ"}, LocaleCode{"en_SG", "ENE"},
    LocaleCode{"en_US", "ENU"}, LocaleCode{"en_ZA", "ENS"}, LocaleCode{"es_AR", "ESS"}, LocaleCode{"es_CO", "ESO"},
    LocaleCode{"es_MX", "ESM"}, LocaleCode{"es_US", "EST"}, LocaleCode{"fr_BE", "FRB"}, LocaleCode{"fr_CA", "FRC"},
    LocaleCode{"fr_CH", "FRS"}, LocaleCode{"fr_LU", "FRL"}, LocaleCode{"it_CH", "ITS"}, LocaleCode{"nl_BE", "NLB"},
    LocaleCode{"pt_BR", "PTB"}, LocaleCode{"pt_PT", "PTG"}, LocaleCode{"sv_FI", "SVF"}, LocaleCode{"zh_CN", "CHS"},
    LocaleCode{"zh_HK", "ZHH"}, LocaleCode{"zh_MO", "ZHM"}, LocaleCode{"zh_SG", "ZHI"}, LocaleCode{"zh_TW", "CHT"},
};

// The first entry whose field is text; nullptr when there is none.
const LocaleCode* FindLocaleCode(const char* LocaleCode::*field, std::string_view text)
{
    for (const LocaleCode& entry : kLocaleCodes) {
        if (text == entry.*field) {
            return &entry;
        }
    }
    return nullptr;
}

// LANG from the system's default-locale file, as the session would get it at log-in.
std::string SystemLocale()
{
    for (const char* path : {"/etc/default/locale", "/etc/locale.conf"}) {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            const std::string trimmed = Trim(line);
            if (trimmed.starts_with("LANG=")) {
                std::string value = trimmed.substr(5);
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                return value;
            }
        }
    }
    return {};
}

} // namespace

std::string LanguageFolder()
{
    {
        const std::lock_guard lock(g_folderMutex);
        if (!g_folderOverride.empty()) {
            CreateDirectoryPath(g_folderOverride);
            return g_folderOverride;
        }
    }
    return ProgramSubfolder("Language");
}

void SetLanguageFolderOverride(const std::string& folder)
{
    const std::lock_guard lock(g_folderMutex);
    g_folderOverride = folder;
}

std::string GetLanguageCode()
{
    const std::string settings = LanguageFilePath(kSettingsFile);
    if (settings.empty()) {
        return kEnglishCode;
    }
    std::string recorded = ReadProfileString(settings, kSettingsSection, kLanguageKey);
    if (!recorded.empty()) {
        return recorded;
    }
    const auto list = LoadLanguageList();
    if (!list) {
        return kEnglishCode;
    }
    std::string userCode = UserLanguageCode();
    if (!userCode.empty() && FindLanguage(*list, "ITEM", userCode)) {
        WriteProfileString(settings, kSettingsSection, kLanguageKey, userCode);
        return userCode;
    }
    return kEnglishCode;
}

bool WriteLanguageCode(const std::string& code)
{
    const std::string settings = LanguageFilePath(kSettingsFile);
    return !settings.empty() && WriteProfileString(settings, kSettingsSection, kLanguageKey, code);
}

std::string LanguageFileName(const std::string& code)
{
    const auto list = LoadLanguageList();
    if (!list) {
        return kDefaultFileName;
    }
    const pugi::xml_node language = FindLanguage(*list, "ITEM", code);
    if (!language) {
        return SafeLanguageFileName(code + ".ini");
    }
    const std::string url = language.attribute("URL").as_string();
    const std::size_t slash = url.rfind('/');
    if (slash == std::string::npos) {
        return kDefaultFileName;
    }
    // The list comes from the network: its names never reach the settings file, the
    // list itself or another folder.
    return SafeLanguageFileName(url.substr(slash + 1));
}

std::string TranslateText(const std::string& text, const std::string& code)
{
    if (text.empty()) {
        return text;
    }
    std::string result = Escape(text);
    const std::string path = TranslationReadPath(code.empty() ? std::string(kEnglishCode) : code);
    if (!path.empty()) {
        std::string value = ReadProfileString(path, kTranslationSection, result);
        if (!value.empty()) {
            result = std::move(value);
        }
    }
    return Unescape(result);
}

std::string Translate(const std::string& text)
{
    return TranslateText(text, GetLanguageCode());
}

std::string RetranslateText(const std::string& text, const std::string& newCode)
{
    if (text.empty()) {
        return {};
    }
    const std::string escaped = Escape(text);
    const std::string path = TranslationReadPath(GetLanguageCode());
    if (path.empty()) {
        return text;
    }
    for (const auto& [key, value] : ReadProfileSection(path, kTranslationSection)) {
        if (value == escaped) {
            return TranslateText(Unescape(key), newCode);
        }
    }
    return text;
}

std::vector<std::string> ListLanguages()
{
    std::vector<std::string> names;
    if (const auto list = LoadLanguageList()) {
        for (const pugi::xpath_node& node : list->select_nodes("//root/LANG")) {
            names.push_back(Trim(node.node().attribute("VALUE").as_string()));
        }
    }
    if (names.empty()) {
        names.emplace_back(kEnglishName);
    }
    return names;
}

std::string LanguageCodeOf(const std::string& name)
{
    const auto list = LoadLanguageList();
    const pugi::xml_node language = list ? FindLanguage(*list, "VALUE", name) : pugi::xml_node();
    return language ? language.attribute("ITEM").as_string() : kEnglishCode;
}

std::string LanguageNameOf(const std::string& code)
{
    const auto list = LoadLanguageList();
    const pugi::xml_node language = list ? FindLanguage(*list, "ITEM", code) : pugi::xml_node();
    return language ? language.attribute("VALUE").as_string() : kEnglishName;
}

std::string WindowsLanguageCode(std::string_view locale)
{
    // language[_territory][.codeset][@modifier]
    const std::size_t end = locale.find_first_of(".@");
    const std::string name(locale.substr(0, end));
    const std::size_t underscore = name.find('_');
    const std::string language = ToLowerAscii(name.substr(0, underscore));
    if (language.empty() || language == "c" || language == "posix") {
        return {};
    }
    if (underscore != std::string::npos) {
        const std::string full = language + "_" + ToUpperAscii(name.substr(underscore + 1));
        if (const LocaleCode* entry = FindLocaleCode(&LocaleCode::locale, full)) {
            return entry->code;
        }
    }
    const LocaleCode* entry = FindLocaleCode(&LocaleCode::locale, language);
    return entry != nullptr ? entry->code : std::string();
}

std::string LocaleOfLanguageCode(std::string_view code)
{
    const std::string upper = ToUpperAscii(code);
    const LocaleCode* entry = FindLocaleCode(&LocaleCode::code, upper);
    return entry != nullptr ? entry->locale : std::string();
}

std::string UserLanguageCode()
{
    // The first variable that is set decides, as for the C library's message locale.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            std::string code = WindowsLanguageCode(value);
            if (!code.empty()) {
                return code;
            }
            break;
        }
    }
    return WindowsLanguageCode(SystemLocale());
}

std::string LanguageServer()
{
    const char* fromEnvironment = std::getenv("TESSVALE_LANGUAGE_SERVER");
    std::string server =
        fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : TESSVALE_LANGUAGE_SERVER;
    while (!server.empty() && server.back() == '/') {
        server.pop_back();
    }
    return server;
}

std::string LanguageListUrl()
{
    return LanguageServer() + "/" + kProductWord + "/language/language.xml";
}

bool DownloadLanguageList(const std::string& url, const LanguageDownloadControl* control)
{
    return DownloadReplacing(url, LanguageFilePath(kListFile), LanguageOptions(control), &IsUsableLanguageList);
}

bool DownloadLanguageFile(const std::string& code, const LanguageDownloadControl* control)
{
    const auto list = LoadLanguageList();
    if (!list) {
        return false;
    }
    const pugi::xml_node language = FindLanguage(*list, "ITEM", code);
    if (!language) {
        return false;
    }
    const std::string fileName = LanguageFileName(code);
    if (fileName.empty()) {
        return false;
    }
    return DownloadReplacing(language.attribute("URL").as_string(), LanguageFilePath(fileName),
                             LanguageOptions(control), &IsTranslationFile);
}

LanguageDownload DownloadLanguages(LanguageDownloadControl* control)
{
    // Without a control of the caller's, the time limit holds all the same.
    LanguageDownloadControl own;
    if (control == nullptr) {
        control = &own;
    }
    LanguageDownload outcome;
    outcome.listArrived = DownloadLanguageList(LanguageListUrl(), control);
    if (!outcome.listArrived) {
        return outcome;
    }
    const std::vector<std::string> names = ListLanguages();
    control->filesTotal = static_cast<int>(names.size());
    bool everyFile = true;
    for (const std::string& name : names) {
        if (control->Stopped()) {
            everyFile = false;
            break;
        }
        const bool arrived = DownloadLanguageFile(LanguageCodeOf(name), control);
        ++control->filesDone;
        if (arrived) {
            outcome.arrivedNames.push_back(name);
        } else {
            everyFile = false;
        }
    }
    outcome.complete = everyFile;
    return outcome;
}

} // namespace tessvale
