// The main window's questions answered from a script and recorded, so that a test
// sees what was asked without a modal loop.
#pragma once

#include <deque>
#include <vector>

#include <QStringList>

#include "app/window_prompts.h"

namespace tessvale {

class RecordingPrompts : public WindowPrompts
{
public:
    bool AskYesNo(QWidget*, const QString& text) override
    {
        questions << text;
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }

    void ShowMessage(QWidget*, const QString& text) override { messages << text; }

    std::optional<UnsavedAnswer> AskSaveFirst(QWidget*, const QString& text) override
    {
        saveFirstQuestions << text;
        if (saveFirstAnswers.empty()) {
            return UnsavedAnswer::Discard;
        }
        const std::optional<UnsavedAnswer> answer = saveFirstAnswers.front();
        saveFirstAnswers.pop_front();
        return answer;
    }

    bool RunSavePrompt(QWidget*, bool hostNameLink, bool systemInfoLink, bool& dontAskAgain) override
    {
        savePrompts.push_back({hostNameLink, systemInfoLink});
        dontAskAgain = saveDontAsk;
        return saveAnswer;
    }

    // Recorded and answered as AskYesNo; the box ticked as dontAskAgainAnswer says.
    bool AskYesNoOnce(QWidget* owner, const QString& text, bool& dontAskAgain) override
    {
        dontAskAgain = dontAskAgainAnswer;
        return AskYesNo(owner, text);
    }

    QString AskResultName(QWidget*, const QString& proposedName) override
    {
        proposedNames << proposedName;
        return resultName;
    }

    std::optional<ExportChoice> ChooseExportFile(QWidget*, const QString& proposedName, ExportOffer offer) override
    {
        exportProposals << proposedName;
        exportOffers.push_back(offer);
        return exportChoice;
    }

    void ShowProperties(QWidget*, const HostRecord& record, const QString& previousMac) override
    {
        properties.push_back(record);
        previousMacs << previousMac;
    }
    void ShowAbout(QWidget*) override { ++aboutRuns; }

    struct SavePrompt
    {
        bool hostNameLink;
        bool systemInfoLink;
    };

    std::deque<bool> answers; // Yes/No answers in order; No when empty
    QStringList questions;
    QStringList messages;
    QStringList saveFirstQuestions;
    std::deque<std::optional<UnsavedAnswer>> saveFirstAnswers; // Discard when empty
    bool saveAnswer = false;
    bool saveDontAsk = false;        // the save prompt's "Don't ask again" box
    bool dontAskAgainAnswer = false; // that of the other questions
    std::vector<SavePrompt> savePrompts;
    QString resultName;
    QStringList proposedNames;
    std::optional<ExportChoice> exportChoice;
    QStringList exportProposals;
    std::vector<ExportOffer> exportOffers;
    std::vector<HostRecord> properties;
    QStringList previousMacs;
    int aboutRuns = 0;
};

} // namespace tessvale
