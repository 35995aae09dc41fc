#include "app/tessvale_app.h"

#include <QApplication>
#include <QMainWindow>

#include "common/crash_handler.h"
#include "common/update_check.h"

namespace tessvale {

std::string CommandLineText(int argc, char** argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

int CTessvaleApp::InitInstance(int argc, char** argv)
{
    // The crash handler comes first: in a dump-writer process it does its work and
    // this process ends.
    if (!InstallCrashHandler(argc, argv)) {
        return 0;
    }
    // Then the update run: any result but -1 means this process was the update run.
    if (RunUpdateCheck(argc, argv) != -1) {
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessvale"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tessvale"));
    window.resize(855, 500);
    window.show();
    return QApplication::exec();
}

} // namespace tessvale
