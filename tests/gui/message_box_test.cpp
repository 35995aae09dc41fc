#include <algorithm>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "app/window_prompts.h"
#include "app/window_translation.h"
#include "dialogs/dlg_prompt.h"
#include "fakes/widget_lookup.h"

using namespace tessvale;

namespace {

// What a message box showed, and how it was left.
struct SeenBox
{
    QStringList buttons; // their texts, in the order of the box's buttons
    QString defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Shows the box and, once it is up, notes what it shows and clicks the button with the
// text `click` (empty: ends the box without a button).
int ShowAndAnswer(unsigned flags, const QString& click, SeenBox& seen)
{
    QTimer::singleShot(0, [&seen, click] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons << button->text();
        }
        seen.buttons.sort();
        seen.defaultButton = box->defaultButton() != nullptr ? box->defaultButton()->text() : QString();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == click) {
                button->click();
                return;
            }
        }
        box->done(0);
    });
    return ShowMessage(nullptr, QStringLiteral("Text"), QStringLiteral("Tessvale"), flags);
}

} // namespace

class MessageBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void everyBoxKindShowsItsButtonsAndAnswersWithTheOneClicked()
    {
        struct Case
        {
            unsigned flags;
            QStringList buttons; // sorted
            const char* defaultButton;
            const char* click; // "": closed without a button
            int answer;
            QMessageBox::Icon icon;
        };
        const QStringList okOnly{QStringLiteral("OK")};
        const QStringList okCancel{QStringLiteral("Cancel"), QStringLiteral("OK")};
        const QStringList abortRetryIgnore{QStringLiteral("&Abort"), QStringLiteral("&Ignore"),
                                           QStringLiteral("&Retry")};
        const QStringList yesNoCancel{QStringLiteral("&No"), QStringLiteral("&Yes"), QStringLiteral("Cancel")};
        const QStringList yesNo{QStringLiteral("&No"), QStringLiteral("&Yes")};
        const QStringList retryCancel{QStringLiteral("&Retry"), QStringLiteral("Cancel")};
        const std::vector<Case> cases = {
            {kMbOk, okOnly, "OK", "OK", kAnswerOk, QMessageBox::NoIcon},
            {kMbOk | kMbIconInformation, okOnly, "OK", "", kAnswerOk, QMessageBox::Information},
            {kMbOkCancel | kMbIconWarning, okCancel, "OK", "Cancel", kAnswerCancel, QMessageBox::Warning},
            {kMbOkCancel | kMbDefButton2, okCancel, "Cancel", "", kAnswerCancel, QMessageBox::NoIcon},
            {kMbAbortRetryIgnore | kMbIconError, abortRetryIgnore, "&Abort", "&Ignore", kAnswerIgnore,
             QMessageBox::Critical},
            {kMbAbortRetryIgnore | kMbDefButton3, abortRetryIgnore, "&Ignore", "&Abort", kAnswerAbort,
             QMessageBox::NoIcon},
            {kMbYesNoCancel | kMbIconQuestion, yesNoCancel, "&Yes", "&No", kAnswerNo, QMessageBox::Question},
            {kMbYesNoCancel | kMbDefButton3, yesNoCancel, "Cancel", "", kAnswerCancel, QMessageBox::NoIcon},
            {kMbYesNo | kMbDefButton2, yesNo, "&No", "&Yes", kAnswerYes, QMessageBox::NoIcon},
            {kMbYesNo, yesNo, "&Yes", "", kAnswerNo, QMessageBox::NoIcon},
            {kMbRetryCancel, retryCancel, "&Retry", "&Retry", kAnswerRetry, QMessageBox::NoIcon},
            {kMbRetryCancel, retryCancel, "&Retry", "", kAnswerCancel, QMessageBox::NoIcon},
            // A default beyond the buttons falls back to the first.
            {kMbYesNo | kMbDefButton3, yesNo, "&Yes", "&No", kAnswerNo, QMessageBox::NoIcon},
        };
        for (const Case& c : cases) {
            SeenBox seen;
            const int answer = ShowAndAnswer(c.flags, QString::fromLatin1(c.click), seen);
            const QByteArray where = QByteArray::number(c.flags, 16) + " " + c.click;
            QVERIFY2(seen.buttons == c.buttons, where.constData());
            QVERIFY2(seen.defaultButton == QString::fromLatin1(c.defaultButton), where.constData());
            QVERIFY2(seen.icon == c.icon, where.constData());
            QVERIFY2(answer == c.answer, where.constData());
        }
    }

    void promptLinksGoThroughTheGivenServiceOnly()
    {
        QList<QUrl> opened;
        PromptDialogServices services;
        services.openLink = [&opened](QWidget*, const QUrl& url) { opened << url; };
        CDlgPrompt prompt(true, true, nullptr, services);
        auto* hostLink = test::Child<QLabel>(&prompt, "hostNameLinkLabel");
        emit hostLink->linkActivated(CDlgPrompt::HostNameHelpUrl());
        emit test::Child<QLabel>(&prompt, "systemInfoLinkLabel")->linkActivated(CDlgPrompt::SystemInfoHelpUrl());
        QCOMPARE(opened, (QList<QUrl>{QUrl(CDlgPrompt::HostNameHelpUrl()), QUrl(CDlgPrompt::SystemInfoHelpUrl())}));

        // Without the service a link does nothing (no desktop launch from a test).
        CDlgPrompt bare(true, true);
        emit test::Child<QLabel>(&bare, "hostNameLinkLabel")->linkActivated(CDlgPrompt::HostNameHelpUrl());
        QCOMPARE(opened.size(), 2);
    }

    void theWindowsPromptHasItsIconAndALinkOpener()
    {
        const PromptDialogServices services = SavePromptServices();
        QVERIFY(!services.icon.isNull());
        QVERIFY(static_cast<bool>(services.openLink));
        CDlgPrompt prompt(false, false, nullptr, services);
        const QList<QLabel*> labels = prompt.findChildren<QLabel*>();
        QVERIFY(
            std::any_of(labels.begin(), labels.end(), [](const QLabel* label) { return !label->pixmap().isNull(); }));
    }
};

QTEST_MAIN(MessageBoxTest)
#include "message_box_test.moc"
