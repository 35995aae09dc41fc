// The Qt side of the localisation service: translates windows, menus, string-table
// texts and message boxes through the language files (common/localization.h), and
// drives the language combo and the language download of the settings dialog.
//
// Qt widgets are mapped onto the control classes the language files were made for:
// buttons, labels and group-box titles are translated like button and static texts;
// line edits, combo boxes, spin boxes, item views, text edits, address entries and
// widgets with the property kNoTranslateProperty show user data and are left alone;
// tool bars translate their actions, menu bars their menus. Everything runs on the GUI
// thread.
#pragma once

#include <string>

#include <QString>

class QComboBox;
class QWidget;

namespace tessvale {

// Message-box flags and results, numbered as in the message-box interface that the
// program's callers are written against.
enum MessageBoxFlag : unsigned
{
    kMbOk = 0x0,
    kMbOkCancel = 0x1,
    kMbAbortRetryIgnore = 0x2,
    kMbYesNoCancel = 0x3,
    kMbYesNo = 0x4,
    kMbRetryCancel = 0x5,
    kMbIconError = 0x10,
    kMbIconQuestion = 0x20,
    kMbIconWarning = 0x30,
    kMbIconInformation = 0x40,
    kMbDefButton2 = 0x100,
    kMbDefButton3 = 0x200,
};
enum MessageBoxResult : int
{
    kAnswerOk = 1,
    kAnswerCancel = 2,
    kAnswerAbort = 3,
    kAnswerRetry = 4,
    kAnswerIgnore = 5,
    kAnswerYes = 6,
    kAnswerNo = 7,
};

// A widget carrying this property with value true is never translated (nor its children).
inline constexpr const char* kNoTranslateProperty = "tessvaleNoTranslate";

// Routes every text the windows fetch from the string table (UiString, UiText) through
// the language files. Called once before the main window is built.
void InstallTranslationHooks();

// A text in the current language.
QString Translated(const QString& text);

// The string-table entry `id` in the current language; empty when the id does not exist.
QString LoadTranslatedString(unsigned id);

// Translates a window in place: its title, buttons, labels, group boxes, tab titles,
// tool-bar actions and menu bar. With tooltips, a button or label whose translation
// holds a line feed shows its first line and offers the whole text as its tooltip.
void TranslateWindow(QWidget* window, bool withTooltips);

// Translates every item of a QMenu or QMenuBar in place, submenus included.
void TranslateMenu(QWidget* menu);

// Shows a message box and returns the pressed button as a MessageBoxResult. Text and
// caption are translated; the box stays on top. Without owner, the active window is used.
int ShowMessage(QWidget* owner, const QString& text, const QString& caption, unsigned flags);
// The same with the application's name as caption.
int ShowMessage(unsigned flags, const QString& text);
// The same with a string-table entry as text.
int ShowMessage(unsigned flags, unsigned stringId);

// Fills a combo with the available languages and selects the current one.
void FillLanguageList(QComboBox* combo);

// Switches a shown window to the language with display name `name` and records it.
void ApplyLanguage(QWidget* window, const QString& name);

// Switches a shown window or menu from the current language to `code`.
void SwitchWindowLanguage(QWidget* window, const std::string& code);
void SwitchMenuLanguage(QWidget* menu, const std::string& code);

// Asks, then refreshes the language list and files from the language server on a
// worker thread while a progress window with Cancel is shown (60 s at most), refills
// the combo (when given) with the languages that arrived and tells the outcome (a
// cancelled download says nothing). 1 when everything arrived, else 0.
int DownloadLanguageFiles(QComboBox* combo);

} // namespace tessvale
