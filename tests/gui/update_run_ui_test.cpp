// The update run's windows and its request to the running main window over the
// single-instance socket.
#include <atomic>
#include <filesystem>
#include <thread>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include "app/single_instance.h"
#include "app/tessvale_dlg.h"
#include "app/update_run_ui.h"
#include "common/localization.h"
#include "common/update_check.h"
#include "fakes/fake_scan_service.h"
#include "fakes/fake_window_environment.h"
#include "fakes/local_http_server.h"
#include "fakes/recording_prompts.h"
#include "fakes/temp_folder.h"

using namespace tessvale;

namespace {

struct BoxSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool onTop = false;
};

// Answers the next message box that opens with the given button and notes what it showed.
void AnswerNextBox(QMessageBox::StandardButton button, BoxSeen& seen)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, &seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        poll->stop();
        poll->deleteLater();
        box->button(button)->click();
    });
    poll->start(10);
}

// A user interface that only counts, usable from the update run's thread.
class CountingUi : public UpdateUi
{
public:
    void ShowMessage(const std::string&, const std::string&) override { ++messages; }
    bool AskYesNo(const std::string&, const std::string&) override
    {
        ++questions;
        return false;
    }
    std::unique_ptr<UpdateProgress> OpenProgress(const std::string&) override { return nullptr; }
    std::atomic<int> messages{0};
    std::atomic<int> questions{0};
};

int CountNewVersionItems(const QMenuBar& bar)
{
    int count = 0;
    for (const QAction* action : bar.actions()) {
        count += action->data().toInt() == kCheckForUpdatesCommand ? 1 : 0;
    }
    return count;
}

} // namespace

class UpdateRunUiTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        SetLanguageFolderOverride(m_languages.Path());
        const std::string socket = m_sockets.File("instance");
        qputenv("TESSVALE_INSTANCE_SOCKET", QByteArray::fromStdString(socket));
    }

    void cleanup()
    {
        SetLanguageFolderOverride({});
        qunsetenv("TESSVALE_INSTANCE_SOCKET");
        qunsetenv("TESSVALE_UPDATE_SERVER");
    }

    void newVersionItemIsAppendedOnlyOnce()
    {
        QMenuBar bar;
        bar.addMenu(QStringLiteral("&Help"));
        QAction* first = AppendNewVersionMenuItem(bar);
        QVERIFY(first != nullptr);
        QCOMPARE(first->text(), QStringLiteral("New version available!"));
        QCOMPARE(bar.actions().back(), first);
        QCOMPARE(AppendNewVersionMenuItem(bar), nullptr);
        QCOMPARE(CountNewVersionItems(bar), 1);
    }

    void messageAndQuestionAreInformationAndYesNoOnTop()
    {
        int argc = 0;
        QtUpdateUi ui(argc, nullptr);
        BoxSeen message;
        AnswerNextBox(QMessageBox::Ok, message);
        ui.ShowMessage("Already up to date!", "Update");
        QCOMPARE(message.title, QStringLiteral("Update"));
        QCOMPARE(message.text, QStringLiteral("Already up to date!"));
        QCOMPARE(message.icon, QMessageBox::Information);
        QVERIFY(message.onTop);

        BoxSeen question;
        AnswerNextBox(QMessageBox::Yes, question);
        QVERIFY(ui.AskYesNo("Tessvale New version available. Upgrade now?\nFaster", "Tessvale Update"));
        QCOMPARE(question.title, QStringLiteral("Tessvale Update"));
        QCOMPARE(question.text, QStringLiteral("Tessvale New version available. Upgrade now?\nFaster"));
        QVERIFY(question.onTop);
        AnswerNextBox(QMessageBox::No, question);
        QVERIFY(!ui.AskYesNo("again?", "Tessvale Update"));
    }

    void progressWindowShowsTheDownload()
    {
        int argc = 0;
        QtUpdateUi ui(argc, nullptr);
        std::unique_ptr<UpdateProgress> progress = ui.OpenProgress("Tessvale Update");
        QVERIFY(progress != nullptr);
        QWidget* window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QStringLiteral("updateProgressWindow") && widget->isVisible()) {
                window = widget;
            }
        }
        QVERIFY(window != nullptr);
        QCOMPARE(window->windowTitle(), QStringLiteral("Tessvale Update"));
        QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        auto* bar = window->findChild<QProgressBar*>(QStringLiteral("updateProgressBar"));
        QVERIFY(bar != nullptr);
        progress->SetPercent(40);
        QCOMPARE(bar->value(), 40);
        progress->SetPercent(-1); // unknown length
        QCOMPARE(bar->maximum(), 0);
        progress->SetPercent(100);
        QCOMPARE(bar->value(), 100);
        progress.reset();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(widget->objectName() != QStringLiteral("updateProgressWindow"));
        }
    }

    void withoutRunningWindowNothingIsFound()
    {
        InstanceMainWindowLink link;
        QVERIFY(!link.IsRunning("Tessvale"));
        QVERIFY(!link.AddNewVersionMenuItem("Tessvale"));
    }

    void mainWindowLaunchesTheStartupCheckWhenAutoUpdateIsOn()
    {
        FakeScanService service;
        FakeWindowEnvironment env;
        RecordingPrompts prompts;
        {
            CTessvaleDlg window(service, env, prompts);
            QCOMPARE(env.updateModes, std::vector<int>{1});
        }
        env.updateModes.clear();
        env.settings.insert_or_assign("AutoUpdate", std::string("0"));
        CTessvaleDlg window(service, env, prompts);
        QVERIFY(env.updateModes.empty());
        auto* timer = window.findChild<QTimer*>(QStringLiteral("updateTimer"));
        QVERIFY(timer != nullptr);
        QCOMPARE(timer->interval(), 1800000);
        QVERIFY(timer->isActive());
    }

    void periodicRunAddsTheMenuItemOnceAcrossTwoAnswers()
    {
        FakeScanService service;
        FakeWindowEnvironment env;
        RecordingPrompts prompts;
        CTessvaleDlg window(service, env, prompts);
        env.updateModes.clear();
        InstanceServer server;
        QVERIFY(server.Listen());
        connect(&server, &InstanceServer::NewVersionMenuItemRequested, &window, &CTessvaleDlg::AddNewVersionMenuItem);
        auto* bar = window.findChild<QMenuBar*>(QStringLiteral("mainMenuBar"));
        QVERIFY(bar != nullptr);

        test::TempFolder root;
        QVERIFY(std::filesystem::create_directories(root.File("updatesystem")));
        QVERIFY(test::WriteFile(root.File("updatesystem/update.php"),
                                "<QmUpdate><Config><Config><id value=\"1\"/><Update value=\"YES\"/>"
                                "<Silent value=\"NO\"/><ProductName value=\"Tessvale\"/>"
                                "<Url value=\"http://127.0.0.1:1/setup.sh\"/></Config></Config></QmUpdate>"));
        test::LocalHttpServer http({"--root", root.Path()});
        QVERIFY2(http.Running(), http.Error().c_str());
        qputenv("TESSVALE_UPDATE_SERVER", QByteArray::fromStdString(http.BaseUrl()));

        InstanceMainWindowLink link;
        QVERIFY(link.IsRunning("Tessvale"));
        QVERIFY(!link.IsRunning("Another Product"));
        CountingUi ui;
        for (int round = 0; round < 2; ++round) {
            // The update run waits for the window's answer, so it runs beside this event loop.
            std::atomic<int> result{-2};
            std::thread run([&] {
                UpdateRunContext context;
                context.ui = &ui;
                context.mainWindow = &link;
                context.isConnected = [] { return true; };
                result = RunUpdateCheck(
                    UpdateCommandLine(UpdateMode::Periodic, "/p/tessvale", "2015-10-09 16:03:37", "0123456789abcdef"),
                    context);
            });
            QTRY_VERIFY_WITH_TIMEOUT(result != -2, 20000);
            run.join();
            QCOMPARE(result.load(), 1);
        }
        QCOMPARE(CountNewVersionItems(*bar), 1);
        QAction* item = bar->actions().back();
        QCOMPARE(item->text(), QStringLiteral("New version available!"));
        QCOMPARE(ui.questions.load(), 0);
        QCOMPARE(ui.messages.load(), 0);
        // Choosing it runs the interactive check.
        item->trigger();
        QCOMPARE(env.updateModes, std::vector<int>{0});
    }

private:
    test::TempFolder m_languages;
    test::TempFolder m_sockets;
};

QTEST_MAIN(UpdateRunUiTest)
#include "update_run_ui_test.moc"
