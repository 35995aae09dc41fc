#include "app/window_translation.h"

#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>

#include "common/localization.h"
#include "common/string_table.h"
#include "common/text_util.h"
#include "dialogs/qt_text.h"

namespace tessvale {
namespace {

// Holds the whole translated text of a widget that shows only its first line.
constexpr const char* kFullTextProperty = "tessvaleFullText";

// One translatable text of a window: how to read and write it, and the widget that
// can carry a tooltip for it (none for texts that cannot).
struct TextSlot
{
    std::function<QString()> get;
    std::function<void(const QString&)> set;
    QWidget* tooltipOwner = nullptr;
};

// The text an action shows as tooltip when none was set: without "&" and a final "...".
QString AutomaticToolTip(const QString& text)
{
    QString stripped;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
                stripped += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        stripped += text[i];
    }
    if (stripped.endsWith(QLatin1String("..."))) {
        stripped.chop(3);
    }
    return stripped.trimmed();
}

void AddActionSlots(QAction* action, std::vector<TextSlot>& textSlots)
{
    if (action->isSeparator() || action->text().isEmpty()) {
        return;
    }
    const bool ownToolTip = action->toolTip() != AutomaticToolTip(action->text());
    textSlots.push_back({[action] { return action->text(); }, [action](const QString& t) { action->setText(t); }});
    if (ownToolTip) {
        textSlots.push_back(
            {[action] { return action->toolTip(); }, [action](const QString& t) { action->setToolTip(t); }});
    }
}

bool ShowsUserData(const QWidget* widget)
{
    if (widget->property(kNoTranslateProperty).toBool()) {
        return true;
    }
    if (qobject_cast<const QLineEdit*>(widget) != nullptr || qobject_cast<const QComboBox*>(widget) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(widget) != nullptr ||
        qobject_cast<const QAbstractItemView*>(widget) != nullptr ||
        qobject_cast<const QTextEdit*>(widget) != nullptr || qobject_cast<const QPlainTextEdit*>(widget) != nullptr ||
        qobject_cast<const QStatusBar*>(widget) != nullptr) {
        return true;
    }
    // The four-octet address entries show addresses, however they are composed.
    return QString::fromLatin1(widget->metaObject()->className()).contains(QLatin1String("AddressEdit"));
}

// Collects the translatable texts below `parent` (not its title) and its menu bars.
void CollectSlots(QWidget* parent, std::vector<TextSlot>& textSlots, std::vector<QMenuBar*>& menuBars)
{
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        // Other windows (dialogs, pop-up menus) are translated when they are shown.
        if (widget == nullptr || widget->isWindow() || ShowsUserData(widget)) {
            continue;
        }
        if (auto* menuBar = qobject_cast<QMenuBar*>(widget)) {
            menuBars.push_back(menuBar);
        } else if (auto* toolBar = qobject_cast<QToolBar*>(widget)) {
            for (QAction* action : toolBar->actions()) {
                AddActionSlots(action, textSlots);
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            textSlots.push_back(
                {[button] { return button->text(); }, [button](const QString& t) { button->setText(t); }, button});
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            // A label holding a link is the program's hyperlink control, left as it is.
            if (!label->openExternalLinks() && !label->text().contains(QLatin1String("<a "))) {
                textSlots.push_back(
                    {[label] { return label->text(); }, [label](const QString& t) { label->setText(t); }, label});
            }
        } else {
            if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                textSlots.push_back(
                    {[group] { return group->title(); }, [group](const QString& t) { group->setTitle(t); }, group});
            } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
                for (int i = 0; i < tabs->count(); ++i) {
                    textSlots.push_back({[tabs, i] { return tabs->tabText(i); },
                                         [tabs, i](const QString& t) { tabs->setTabText(i, t); }});
                }
            }
            CollectSlots(widget, textSlots, menuBars);
        }
    }
}

// Shows `text` in a slot; with tooltips, a text with a line feed shows its first line
// and carries the whole text as tooltip.
void ShowText(const TextSlot& slot, const QString& text, bool withTooltips)
{
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'));
    if (withTooltips && slot.tooltipOwner != nullptr && lineFeed >= 0) {
        slot.set(text.left(lineFeed));
        slot.tooltipOwner->setToolTip(text);
        slot.tooltipOwner->setProperty(kFullTextProperty, text);
        return;
    }
    slot.set(text);
    if (slot.tooltipOwner != nullptr && slot.tooltipOwner->property(kFullTextProperty).isValid()) {
        slot.tooltipOwner->setProperty(kFullTextProperty, QVariant());
        slot.tooltipOwner->setToolTip(QString());
    }
}

// The text a slot stands for: the whole text when it shows only its first line.
QString FullText(const TextSlot& slot)
{
    if (slot.tooltipOwner != nullptr) {
        const QVariant full = slot.tooltipOwner->property(kFullTextProperty);
        if (full.isValid()) {
            return full.toString();
        }
    }
    return slot.get();
}

bool ShowsEnglish(const std::string& currentCode)
{
    return currentCode == kEnglishCode || currentCode == kEnglishName;
}

std::vector<TextSlot> WindowSlots(QWidget* window, std::vector<QMenuBar*>& menuBars)
{
    std::vector<TextSlot> textSlots;
    textSlots.push_back(
        {[window] { return window->windowTitle(); }, [window](const QString& t) { window->setWindowTitle(t); }});
    CollectSlots(window, textSlots, menuBars);
    return textSlots;
}

void SelectLanguage(QComboBox* combo)
{
    const QString current = ToQString(LanguageNameOf(GetLanguageCode())).trimmed();
    int index = current.isEmpty() ? -1 : combo->findText(current, Qt::MatchStartsWith);
    if (index < 0) {
        index = combo->findText(QString::fromLatin1(kEnglishName), Qt::MatchStartsWith);
    }
    combo->setCurrentIndex(index);
}

} // namespace

void InstallTranslationHooks()
{
    SetTranslationHooks([](int, const std::string& english) { return Translate(english); },
                        [](const std::string& english) { return Translate(english); });
}

QString Translated(const QString& text)
{
    return ToQString(Translate(ToStdString(text)));
}

QString LoadTranslatedString(unsigned id)
{
    return ToQString(Translate(DefaultString(static_cast<int>(id))));
}

void TranslateWindow(QWidget* window, bool withTooltips)
{
    if (window == nullptr) {
        return;
    }
    std::vector<QMenuBar*> menuBars;
    for (const TextSlot& slot : WindowSlots(window, menuBars)) {
        ShowText(slot, Translated(FullText(slot)), withTooltips);
    }
    for (QMenuBar* menuBar : menuBars) {
        TranslateMenu(menuBar);
    }
}

void TranslateMenu(QWidget* menu)
{
    if (menu == nullptr) {
        return;
    }
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->text().isEmpty()) {
            continue;
        }
        action->setText(Translated(action->text()));
        if (auto* submenu = action->menu<QMenu*>()) {
            TranslateMenu(submenu);
        }
    }
}

namespace {

// The icon a message box's flags ask for.
QMessageBox::Icon MessageIcon(unsigned flags)
{
    switch (flags & 0xF0) {
    case kMbIconError:
        return QMessageBox::Critical;
    case kMbIconQuestion:
        return QMessageBox::Question;
    case kMbIconWarning:
        return QMessageBox::Warning;
    case kMbIconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

struct MessageChoice
{
    QMessageBox::StandardButton button;
    int result;
    const char* english;
};

// The buttons of a box type, in their order.
std::vector<MessageChoice> MessageChoices(unsigned flags)
{
    const MessageChoice ok{QMessageBox::Ok, kAnswerOk, "OK"};
    const MessageChoice cancel{QMessageBox::Cancel, kAnswerCancel, "Cancel"};
    const MessageChoice yes{QMessageBox::Yes, kAnswerYes, "&Yes"};
    const MessageChoice no{QMessageBox::No, kAnswerNo, "&No"};
    const MessageChoice retry{QMessageBox::Retry, kAnswerRetry, "&Retry"};
    switch (flags & 0x0F) {
    case kMbOkCancel:
        return {ok, cancel};
    case kMbAbortRetryIgnore:
        return {{QMessageBox::Abort, kAnswerAbort, "&Abort"}, retry, {QMessageBox::Ignore, kAnswerIgnore, "&Ignore"}};
    case kMbYesNoCancel:
        return {yes, no, cancel};
    case kMbYesNo:
        return {yes, no};
    case kMbRetryCancel:
        return {retry, cancel};
    default:
        return {ok};
    }
}

// The answer of a box closed without a button: the one the escape key gives.
int ClosedBoxAnswer(unsigned flags)
{
    switch (flags & 0x0F) {
    case kMbOk:
        return kAnswerOk;
    case kMbOkCancel:
    case kMbYesNoCancel:
    case kMbRetryCancel:
        return kAnswerCancel;
    default:
        return kAnswerNo;
    }
}

// Puts the translated buttons on the box; the default is the one the flags name, else
// the first.
void AddMessageButtons(QMessageBox& box, const std::vector<MessageChoice>& choices, unsigned flags)
{
    QMessageBox::StandardButtons buttons;
    for (const MessageChoice& choice : choices) {
        buttons |= choice.button;
    }
    box.setStandardButtons(buttons);
    for (const MessageChoice& choice : choices) {
        box.button(choice.button)->setText(Translated(QString::fromLatin1(choice.english)));
    }
    const std::size_t defaultIndex = (flags & 0xF00) >> 8;
    box.setDefaultButton(choices[defaultIndex < choices.size() ? defaultIndex : 0].button);
}

} // namespace

int ShowMessage(QWidget* owner, const QString& text, const QString& caption, unsigned flags)
{
    QMessageBox box(owner != nullptr ? owner : QApplication::activeWindow());
    box.setWindowTitle(Translated(caption));
    box.setText(Translated(text));
    box.setIcon(MessageIcon(flags));
    const std::vector<MessageChoice> choices = MessageChoices(flags);
    AddMessageButtons(box, choices, flags);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    for (const MessageChoice& choice : choices) {
        if (clicked == box.button(choice.button)) {
            return choice.result;
        }
    }
    return ClosedBoxAnswer(flags);
}

int ShowMessage(unsigned flags, const QString& text)
{
    return ShowMessage(nullptr, text, QApplication::applicationName(), flags);
}

int ShowMessage(unsigned flags, unsigned stringId)
{
    return ShowMessage(flags, ToQString(DefaultString(static_cast<int>(stringId))));
}

void FillLanguageList(QComboBox* combo)
{
    if (combo == nullptr) {
        return;
    }
    combo->clear();
    for (const std::string& name : ListLanguages()) {
        combo->addItem(ToQString(name));
    }
    SelectLanguage(combo);
}

void ApplyLanguage(QWidget* window, const QString& name)
{
    const std::string code = LanguageCodeOf(ToStdString(name));
    SwitchWindowLanguage(window, code);
    WriteLanguageCode(code);
}

namespace {

// The language code a shown window or menu is switched to by retranslating its texts
// (English for an empty code). nullopt when nothing more is to be done: that language is
// shown already, or English is shown and `fromEnglish` translated it afresh (the new
// code recorded first).
std::optional<std::string> RetranslationTarget(const std::string& code, const std::function<void()>& fromEnglish)
{
    std::string newCode = code.empty() ? std::string(kEnglishCode) : code;
    const std::string current = GetLanguageCode();
    if (EqualsNoCase(newCode, current)) {
        return std::nullopt;
    }
    if (ShowsEnglish(current)) {
        WriteLanguageCode(newCode);
        fromEnglish();
        return std::nullopt;
    }
    return newCode;
}

} // namespace

void SwitchWindowLanguage(QWidget* window, const std::string& code)
{
    if (window == nullptr) {
        return;
    }
    const std::optional<std::string> target = RetranslationTarget(code, [window] { TranslateWindow(window, false); });
    if (!target) {
        return;
    }
    const std::string& newCode = *target;
    std::vector<QMenuBar*> menuBars;
    for (const TextSlot& slot : WindowSlots(window, menuBars)) {
        const QString shown = FullText(slot);
        const QString retranslated = ToQString(RetranslateText(ToStdString(shown), newCode));
        if (!retranslated.isEmpty()) {
            const bool split = slot.tooltipOwner != nullptr && slot.tooltipOwner->property(kFullTextProperty).isValid();
            ShowText(slot, retranslated, split);
        }
    }
    for (QMenuBar* menuBar : menuBars) {
        SwitchMenuLanguage(menuBar, newCode);
    }
}

void SwitchMenuLanguage(QWidget* menu, const std::string& code)
{
    if (menu == nullptr) {
        return;
    }
    const std::optional<std::string> target = RetranslationTarget(code, [menu] { TranslateMenu(menu); });
    if (!target) {
        return;
    }
    const std::string& newCode = *target;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() || action->text().isEmpty()) {
            continue;
        }
        const QString retranslated = ToQString(RetranslateText(ToStdString(action->text()), newCode));
        if (retranslated.isEmpty()) {
            continue;
        }
        action->setText(retranslated);
        if (auto* submenu = action->menu<QMenu*>()) {
            SwitchMenuLanguage(submenu, newCode);
        }
    }
}

namespace {

// Runs the download on a worker thread while a progress window with Cancel is shown.
LanguageDownload RunLanguageDownload(QWidget* owner, LanguageDownloadControl& control)
{
    QProgressDialog dialog(Translated(QStringLiteral("Downloading language files...")),
                           Translated(QStringLiteral("Cancel")), 0, 0, owner);
    dialog.setObjectName(QStringLiteral("languageDownloadProgress"));
    dialog.setWindowTitle(QApplication::applicationName());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    QEventLoop loop;
    std::atomic<bool> finished{false};
    LanguageDownload outcome;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (finished.load()) {
            loop.quit();
            return;
        }
        // The list counts as the first step, each listed file as one more.
        const int total = control.filesTotal.load();
        if (total > 0 && !control.cancel.load()) {
            dialog.setMaximum(total + 1);
            dialog.setValue(control.filesDone.load() + 1);
        }
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&control] { control.cancel = true; });
    {
        // The window thread stays free; the download ends by itself at its time limit.
        const std::jthread worker([&] {
            outcome = DownloadLanguages(&control);
            finished = true;
        });
        dialog.show();
        poll.start();
        loop.exec();
    }
    return outcome;
}

} // namespace

int DownloadLanguageFiles(QComboBox* combo)
{
    if (ShowMessage(kMbYesNo, QStringLiteral("Do you want to update language?")) != kAnswerYes) {
        return 0;
    }
    LanguageDownloadControl control;
    const LanguageDownload outcome = RunLanguageDownload(combo != nullptr ? combo->window() : nullptr, control);
    if (control.cancel.load()) {
        // Cancelled: what arrived whole is kept, and nothing more is said.
        if (combo != nullptr && outcome.listArrived) {
            FillLanguageList(combo);
        }
        return 0;
    }
    if (!outcome.listArrived) {
        ShowMessage(kMbOk, QStringLiteral("Update language failed!"));
        return 0;
    }
    if (combo != nullptr) {
        combo->clear();
        for (const std::string& name : outcome.arrivedNames) {
            combo->addItem(ToQString(name));
        }
        SelectLanguage(combo);
    }
    if (!outcome.complete) {
        ShowMessage(kMbOk, QStringLiteral("Update language failed!"));
        return 0;
    }
    ShowMessage(kMbIconInformation, QStringLiteral("Update language successfully!"));
    return 1;
}

} // namespace tessvale
