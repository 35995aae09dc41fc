// The modal questions and dialogs the main window opens. The window gets them through
// its constructor: the program uses DialogPrompts, tests a recording fake, so that a
// test can tell which question was asked without a modal loop.
#pragma once

#include <optional>

#include <QString>

#include "app/logic/list_export.h"
#include "app/logic/window_guards.h"
#include "dialogs/dlg_prompt.h"
#include "scan/host_record.h"

class QWidget;

namespace tessvale {

class ConfigStore;

// What an export file dialog offers: the list (TXT, CSV, JSON) or the changes (CSV).
enum class ExportOffer
{
    List,
    Changes,
};

struct ExportChoice
{
    QString path;
    ExportType type = ExportType::Txt;
};

class WindowPrompts
{
public:
    virtual ~WindowPrompts() = default;

    // A Yes/No question with the program's name as caption; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text) = 0;
    // A plain message with an OK button.
    virtual void ShowMessage(QWidget* owner, const QString& text) = 0;
    // Save / Discard / Cancel before the list is replaced, Save the default; nullopt
    // when the question was closed without an answer.
    virtual std::optional<UnsavedAnswer> AskSaveFirst(QWidget* owner, const QString& text) = 0;
    // The save prompt after a scan, with the two help links; true when it ends with OK.
    // dontAskAgain tells whether its "Don't ask again" box was ticked.
    virtual bool RunSavePrompt(QWidget* owner, bool hostNameLink, bool systemInfoLink, bool& dontAskAgain) = 0;
    // A Yes/No question with a "Don't ask again" box; true for Yes.
    virtual bool AskYesNoOnce(QWidget* owner, const QString& text, bool& dontAskAgain) = 0;
    // Asks the name of a new stored result; empty when cancelled.
    virtual QString AskResultName(QWidget* owner, const QString& proposedName) = 0;
    // The save-file dialog of an export, offering the types it can write; nullopt when
    // cancelled.
    virtual std::optional<ExportChoice> ChooseExportFile(QWidget* owner, const QString& proposedName,
                                                         ExportOffer offer) = 0;
    // The properties of one host; previousMac, when not empty, is the MAC the host had
    // in the baseline before it changed.
    virtual void ShowProperties(QWidget* owner, const HostRecord& record, const QString& previousMac) = 0;
    // The about box.
    virtual void ShowAbout(QWidget* owner) = 0;
};

// The save prompt's icon, and its help links opened with the desktop's programs (a
// message tells when none could).
PromptDialogServices SavePromptServices();

// The real dialogs.
class DialogPrompts : public WindowPrompts
{
public:
    // The Properties dialog shows and saves the hosts' notes in `notes` when given.
    explicit DialogPrompts(ConfigStore* notes = nullptr) : m_notes(notes) {}

    bool AskYesNo(QWidget* owner, const QString& text) override;
    void ShowMessage(QWidget* owner, const QString& text) override;
    std::optional<UnsavedAnswer> AskSaveFirst(QWidget* owner, const QString& text) override;
    bool RunSavePrompt(QWidget* owner, bool hostNameLink, bool systemInfoLink, bool& dontAskAgain) override;
    bool AskYesNoOnce(QWidget* owner, const QString& text, bool& dontAskAgain) override;
    QString AskResultName(QWidget* owner, const QString& proposedName) override;
    // Opens in the folder of the last file chosen, at first in the documents folder.
    std::optional<ExportChoice> ChooseExportFile(QWidget* owner, const QString& proposedName,
                                                 ExportOffer offer) override;
    QString LastFolder() const { return m_lastFolder; }
    void ShowProperties(QWidget* owner, const HostRecord& record, const QString& previousMac) override;
    void ShowAbout(QWidget* owner) override;

private:
    ConfigStore* m_notes;
    QString m_lastFolder;
};

} // namespace tessvale
