// Minimising the main window with a tray: the window hides into the tray while its run
// goes on (a scan and AutoScan keep going), and Show or a left click on the tray icon
// brings it back. Offscreen the tray is declared available; under Xvfb with a tray host
// (tests/gui/tray_xvfb_test.sh) the platform's own tray is used and the icon is clicked
// with a real pointer event.
#include <functional>
#include <memory>
#include <vector>

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include "app/logic/command_ids.h"
#include "app/tessvale_dlg.h"
#include "fakes/fake_scan_service.h"
#include "fakes/fake_window_environment.h"
#include "fakes/recording_prompts.h"

using namespace tessvale;

namespace {

// Steps run from a timer inside the window's own run, so that nothing but the window
// can end that run early. Each step acts once its condition holds; a step that is not
// ready within the bound fails the sequence and closes the window.
class StepRunner
{
public:
    struct Step
    {
        const char* name;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    StepRunner(CTessvaleDlg& window, std::vector<Step> steps) : m_window(window), m_steps(std::move(steps))
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, &m_window, [this] { Poll(); });
        m_timer.start();
        m_clock.start();
    }

    int Done() const { return m_done; }
    QString Failure() const { return m_failure; }

private:
    void Poll()
    {
        if (m_done == static_cast<int>(m_steps.size())) {
            m_timer.stop();
            return;
        }
        Step& step = m_steps[static_cast<std::size_t>(m_done)];
        if (step.ready()) {
            ++m_done;
            m_clock.restart();
            step.act();
            return;
        }
        if (m_clock.elapsed() > 15000) {
            m_failure = QStringLiteral("step \"%1\" never became ready").arg(QString::fromLatin1(step.name));
            m_timer.stop();
            m_window.CloseInstance(); // closes without a question
        }
    }

    CTessvaleDlg& m_window;
    std::vector<Step> m_steps;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_done = 0;
    QString m_failure;
};

} // namespace

class TrayTest : public QObject
{
    Q_OBJECT

private:
    // Fresh fakes for each case; AutoScan is configured.
    struct Fakes
    {
        Fakes()
        {
            env.adapters = {{"198.18.0.1", "eth0"}};
            env.ranges["198.18.0.1"] = {"198.18.0.1", "198.18.0.254"};
            env.settings["AutoscanSpanSeconds"] = std::string(1, '5');
        }
        FakeScanService service;
        FakeWindowEnvironment env;
        RecordingPrompts prompts;
    };
    std::unique_ptr<Fakes> fakes;

    // A window over fresh fakes.
    std::unique_ptr<CTessvaleDlg> NewWindow()
    {
        fakes = std::make_unique<Fakes>();
        return std::make_unique<CTessvaleDlg>(fakes->service, fakes->env, fakes->prompts);
    }
    static bool Offscreen() { return QGuiApplication::platformName() == QLatin1String("offscreen"); }

    // Minimise during AutoScan, let a further tick start a scan while hidden, bring the
    // window back with `restore`, then leave through the tray's Exit.
    void RunMinimiseSequence(CTessvaleDlg& window, const std::function<void()>& restore)
    {
        FakeScanService& service = fakes->service;
        auto* timer = window.findChild<QTimer*>(QStringLiteral("autoScanTimer"));
        QSignalSpy finished(&window, &QDialog::finished);
        StepRunner runner(window,
                          {
                              {"shown", [&] { return window.isVisible(); },
                               [&] {
                                   window.OnCommand(kIdAutoScan);
                                   window.showMinimized();
                               }},
                              {"hidden into the tray", [&] { return !window.isVisible(); },
                               [&] {
                                   window.ScanFinished(); // the first scan ends while hidden
                                   timer->start(1);       // the next AutoScan tick
                               }},
                              {"AutoScan goes on while hidden", [&] { return service.starts.size() >= 2; }, restore},
                              {"back from the tray", [&] { return window.isVisible() && !window.isMinimized(); },
                               [&] {
                                   fakes->prompts.answers = {true}; // AutoScan runs: quit anyway
                                   window.OnCommand(kIdTrayExit);
                               }},
                          });
        const int result = window.Run();
        QVERIFY2(runner.Failure().isEmpty(), qPrintable(runner.Failure()));
        QCOMPARE(runner.Done(), 4);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(finished.count(), 1); // only the Exit ended the run
        QCOMPARE(fakes->prompts.questions.size(), 1);
        QCOMPARE(service.drains, 1); // Exit drained the running scan once
    }

private slots:
    void minimiseHidesIntoTheTrayAndShowBringsItBack()
    {
        if (!Offscreen()) {
            QSKIP("the offscreen case; tray_xvfb_test runs the real tray");
        }
        const auto window = NewWindow();
        window->SetTrayAvailableCheck([] { return true; });
        RunMinimiseSequence(*window, [&] { window->findChild<QAction*>(QStringLiteral("showTrayAction"))->trigger(); });
    }

    void minimiseWithoutATrayKeepsTheWindow()
    {
        if (!Offscreen()) {
            QSKIP("the offscreen case");
        }
        const auto window = NewWindow();
        window->SetTrayAvailableCheck([] { return false; });
        window->show();
        window->showMinimized();
        QCoreApplication::processEvents();
        QVERIFY(window->isVisible()); // nothing could bring it back: it stays minimised
    }

    void realTrayHidesAndComesBackOnLeftClick()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("needs X and a tray host: tray_xvfb_test runs this case");
        }
        const bool required = qEnvironmentVariableIsSet("TESSVALE_REQUIRE_TRAY");
        if (!QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000)) {
            if (required) {
                QFAIL("no tray host answered");
            }
            QSKIP("no tray host on this display");
        }
        const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
        if (xdotool.isEmpty()) {
            QSKIP("xdotool is not installed");
        }
        const auto window = NewWindow();
        auto* tray = window->findChild<QSystemTrayIcon*>(QStringLiteral("trayIcon"));
        QVERIFY(tray != nullptr);
        RunMinimiseSequence(*window, [&] {
            // The icon is embedded by now; a real button press on it, as a user's.
            QVERIFY(QTest::qWaitFor([&] { return tray->geometry().isValid(); }, 5000));
            const QPoint centre = tray->geometry().center();
            QProcess::execute(xdotool, {QStringLiteral("mousemove"), QString::number(centre.x()),
                                        QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")});
        });
    }
};

QTEST_MAIN(TrayTest)
#include "tray_test.moc"
