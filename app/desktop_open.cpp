#include "app/desktop_open.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include "dialogs/ui_text.h"

namespace tessvale {

bool OpenWithDesktop(const QUrl& url)
{
    return url.isValid() && QDesktopServices::openUrl(url);
}

void OpenFileWithDesktop(QWidget* owner, const QString& path, std::function<void()> failed)
{
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (launcher.isEmpty()) {
        if (!OpenWithDesktop(QUrl::fromLocalFile(path))) {
            failed();
        }
        return;
    }
    // xdg-open ends at once with 0 when a program took the file, and with an error when
    // it found none (3 or 4); a program it waits for counts as opened.
    auto* process = new QProcess(owner);
    process->setProgram(launcher);
    process->setArguments({path});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto report = std::make_shared<std::function<void()>>(std::move(failed));
    QObject::connect(process, &QProcess::finished, process, [process, report](int code, QProcess::ExitStatus status) {
        if (code != 0 || status != QProcess::NormalExit) {
            (*report)();
        }
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            (*report)();
            process->deleteLater();
        }
    });
    process->start();
}

QString LauncherFailureText(const QUrl& url)
{
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
    return QUiText("No program was found to open %1.").arg(target);
}

QString ChartNotOpenedText(const QString& path)
{
    return QUiText("The network chart was saved as %1. No program was found to open it: open it with LibreOffice "
                   "Draw or another drawing program.")
        .arg(path);
}

} // namespace tessvale
