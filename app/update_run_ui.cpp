#include "app/update_run_ui.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>

#include "app/qt_translations.h"
#include "app/single_instance.h"
#include "common/localization.h"
#include "common/text_util.h"
#include "dialogs/qt_text.h"

namespace tessvale {
namespace {

// The progress window: 240 x 46 dialog units with the bar at 29,16, 181 x 13, in the
// pixels of an 8-point dialog font (one unit is 1.5 pixels across and 1.625 down).
class ProgressWindow : public UpdateProgress
{
public:
    explicit ProgressWindow(const std::string& title)
    {
        m_window.setObjectName(QStringLiteral("updateProgressWindow"));
        m_window.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint);
        m_window.setWindowTitle(ToQString(title));
        m_window.setFixedSize(360, 75);
        m_bar = new QProgressBar(&m_window);
        m_bar->setObjectName(QStringLiteral("updateProgressBar"));
        m_bar->setGeometry(43, 26, 272, 21);
        m_bar->setRange(0, 100);
        m_bar->setValue(0);
        m_window.show();
        m_window.raise();
        m_window.activateWindow();
        QCoreApplication::processEvents();
    }

    void SetPercent(int percent) override
    {
        if (percent < 0) {
            m_bar->setRange(0, 0); // length unknown: a busy bar
        } else {
            m_bar->setRange(0, 100);
            m_bar->setValue(std::min(percent, 100));
        }
        QCoreApplication::processEvents();
    }

private:
    QDialog m_window;
    QProgressBar* m_bar = nullptr;
};

} // namespace

QtUpdateUi::QtUpdateUi(int argc, char** argv) : m_argc(argc), m_argv(argv) {}

QtUpdateUi::~QtUpdateUi() = default;

bool QtUpdateUi::EnsureApplication()
{
    if (QApplication::instance() != nullptr) {
        return qobject_cast<QApplication*>(QApplication::instance()) != nullptr;
    }
    // Without a display Qt would end the process; the run then goes on without windows.
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    const bool displayThere =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!platformChosen && !displayThere) {
        return false;
    }
    m_application = std::make_unique<QApplication>(m_argc, m_argv);
    QApplication::setApplicationName(QStringLiteral("Tessvale"));
    InstallQtTranslationsForCurrentLanguage();
    return true;
}

void QtUpdateUi::ShowMessage(const std::string& text, const std::string& caption)
{
    if (!EnsureApplication()) {
        return;
    }
    QMessageBox box(QMessageBox::Information, ToQString(caption), ToQString(text), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("updateMessageBox"));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

bool QtUpdateUi::AskYesNo(const std::string& text, const std::string& caption)
{
    if (!EnsureApplication()) {
        return false;
    }
    QMessageBox box(QMessageBox::Question, ToQString(caption), ToQString(text), QMessageBox::Yes | QMessageBox::No);
    box.setObjectName(QStringLiteral("updateQuestionBox"));
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

std::unique_ptr<UpdateProgress> QtUpdateUi::OpenProgress(const std::string& title)
{
    if (!EnsureApplication()) {
        return nullptr;
    }
    return std::make_unique<ProgressWindow>(title);
}

bool InstanceMainWindowLink::IsRunning(const std::string& productName)
{
    // The main window answers to the product's name, as its window class did.
    return EqualsNoCase(productName, kProductName) && IsInstanceRunning();
}

bool InstanceMainWindowLink::AddNewVersionMenuItem(const std::string& productName)
{
    return EqualsNoCase(productName, kProductName) && SendToRunningInstance(InstanceRequest::AddNewVersionMenuItem);
}

UpdateRunFrontEnd MakeUpdateRunFrontEnd(int argc, char** argv)
{
    UpdateRunFrontEnd frontEnd;
    frontEnd.ui = std::make_unique<QtUpdateUi>(argc, argv);
    frontEnd.mainWindow = std::make_unique<InstanceMainWindowLink>();
    return frontEnd;
}

QAction* AppendNewVersionMenuItem(QMenuBar& menuBar)
{
    const QList<QAction*> actions = menuBar.actions();
    if (!actions.isEmpty() && actions.back()->data().toInt() == kCheckForUpdatesCommand) {
        return nullptr;
    }
    QAction* action = menuBar.addAction(ToQString(Translate(kNewVersionMenuText)));
    action->setObjectName(QStringLiteral("newVersionMenuAction"));
    action->setData(kCheckForUpdatesCommand);
    return action;
}

} // namespace tessvale
