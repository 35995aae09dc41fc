// Run-time translation of the program's English texts from the plain files of the
// "Language" folder beside the program:
//   Language.ini   [Settings] Language=<code>   the chosen language
//   Language.xml   <root><LANG ITEM="DEU" VALUE="Deutsch" URL="http://.../deu.ini"/>...</root>
//   <file>.ini     [Language] <English text>=<translation>, line breaks written as \r and \n
// English texts are the keys, so a missing file or key leaves the English text. Nothing
// is kept in memory between calls: every call reads the files, so a switch or a
// download is seen by the next lookup, and calls from any thread are safe.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

// Code and display name of the built-in language.
inline constexpr char kEnglishCode[] = "ENU";
inline constexpr char kEnglishName[] = "English";

// The folder of the language files: "Language" beside the program, created when
// missing; the data folder's "Language" when that cannot be made.
std::string LanguageFolder();

// Points the language files at another folder (tests, portable installs); an empty
// folder restores the default.
void SetLanguageFolderOverride(const std::string& folder);

// The current language: the one recorded in Language.ini; else, when Language.xml
// lists the language of the user's locale, that one (and it is recorded); else "ENU".
std::string GetLanguageCode();

// Records `code` as the current language in Language.ini. False when it cannot be written.
bool WriteLanguageCode(const std::string& code);

// Local file name of a language's translation file; empty when the list names one
// that may not be written (not a plain ".ini" name, or the settings file).
std::string LanguageFileName(const std::string& code);

// `text` in the language `code` (empty counts as "ENU"); the text itself when there is
// no translation.
std::string TranslateText(const std::string& text, const std::string& code);

// `text` in the current language.
std::string Translate(const std::string& text);

// `text`, shown in the current language, in the language `newCode`: the English key is
// found by the current language's file, then translated. The text itself when it is
// not a translation of the current file.
std::string RetranslateText(const std::string& text, const std::string& newCode);

// Display names of the available languages in the order of Language.xml; "English"
// alone when there is no usable list.
std::vector<std::string> ListLanguages();

// Language code of a display name ("ENU" when unknown) and the reverse ("English").
std::string LanguageCodeOf(const std::string& name);
std::string LanguageNameOf(const std::string& code);

// Windows three-letter language code of a POSIX locale name ("de_DE.UTF-8" gives "DEU",
// "en_GB" "ENG"); empty for "C", "POSIX" and unknown languages.
std::string WindowsLanguageCode(std::string_view locale);

// POSIX locale name of a Windows three-letter language code ("DEU" gives "de", "DEA"
// "de_AT", "ENU" "en"); empty for unknown codes. The reverse of WindowsLanguageCode.
std::string LocaleOfLanguageCode(std::string_view code);

// Language code of the user's locale (LC_ALL, LC_MESSAGES, LANG, then the system's
// default locale); empty when none maps to a code.
std::string UserLanguageCode();

// Base address of the language server: TESSVALE_LANGUAGE_SERVER from the environment,
// else the one the program was built with; never with a trailing "/".
std::string LanguageServer();

// Address of the language list on the language server.
std::string LanguageListUrl();

// Limits of a language download: the size of each file, and the time the list and all
// files may take together.
inline constexpr std::uint64_t kMaxLanguageFileBytes = 4ULL * 1024 * 1024;
inline constexpr std::chrono::seconds kLanguageDownloadTimeLimit{60};

// Shared between a language download running on a worker thread and the window that
// shows its progress: the window cancels, the download counts.
struct LanguageDownloadControl
{
    std::atomic<bool> cancel{false};
    std::atomic<int> filesDone{0};
    std::atomic<int> filesTotal{0};
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kLanguageDownloadTimeLimit;

    bool Stopped() const { return cancel.load() || std::chrono::steady_clock::now() >= deadline; }
};

// Downloads the language list from `url` into Language.xml. The old list is replaced
// only when the new one arrived whole, parses and lists English.
bool DownloadLanguageList(const std::string& url, const LanguageDownloadControl* control = nullptr);

// Downloads the translation file of `code` named in Language.xml. The old file is
// replaced only when the new one arrived whole and is a translation file. A listed
// name that is not a plain ".ini" file name (the settings file, the list, a path) is
// never written.
bool DownloadLanguageFile(const std::string& code, const LanguageDownloadControl* control = nullptr);

// Outcome of a refresh of all language files.
struct LanguageDownload
{
    bool listArrived = false;
    // Display names whose translation files arrived, in list order.
    std::vector<std::string> arrivedNames;
    // The list and every file arrived.
    bool complete = false;
};

// Downloads the language list from the language server, then every listed file, each
// up to kMaxLanguageFileBytes, all within the control's deadline (60 s from its making)
// and until it is cancelled.
LanguageDownload DownloadLanguages(LanguageDownloadControl* control = nullptr);

} // namespace tessvale
