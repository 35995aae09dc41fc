// The update run's windows (messages, question, download progress) and its link to the
// running main window, and the menu-bar item that offers a new version.
#pragma once

#include <memory>
#include <string>

#include "common/update_check.h"

class QAction;
class QApplication;
class QMenuBar;

namespace tessvale {

// Message boxes and the progress window of the update run. The application object is
// made only when the first window is needed, so a quiet run never needs a display.
class QtUpdateUi : public UpdateUi
{
public:
    QtUpdateUi(int argc, char** argv);
    ~QtUpdateUi() override;
    QtUpdateUi(const QtUpdateUi&) = delete;
    QtUpdateUi& operator=(const QtUpdateUi&) = delete;

    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    std::unique_ptr<UpdateProgress> OpenProgress(const std::string& title) override;

private:
    // False when no application object can be had.
    bool EnsureApplication();

    int m_argc;
    char** m_argv;
    std::unique_ptr<QApplication> m_application;
};

// The running main window, reached over the single-instance socket.
class InstanceMainWindowLink : public MainWindowLink
{
public:
    bool IsRunning(const std::string& productName) override;
    bool AddNewVersionMenuItem(const std::string& productName) override;
};

// The front end that start-up hands to the update run.
UpdateRunFrontEnd MakeUpdateRunFrontEnd(int argc, char** argv);

// Appends "New version available!" (command 32809, translated) at the end of the menu
// bar unless its last item already is that command. The new item, or nullptr when
// there already was one.
QAction* AppendNewVersionMenuItem(QMenuBar& menuBar);

} // namespace tessvale
