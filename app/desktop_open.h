// Opening web addresses, folders and files with the desktop's own programs, and the
// message that says what happened when none could.
#pragma once

#include <functional>

#include <QString>
#include <QUrl>

class QWidget;

namespace tessvale {

// Hands the address to the desktop (a registered handler, else the platform's
// launcher); false when no program could take it.
bool OpenWithDesktop(const QUrl& url);

// Opens a file with the desktop's default program for its type (xdg-open where there
// is one). `failed` runs, on the window's thread, when no program could open it, also
// when the launcher starts but finds no program (it ends with an error); owner keeps
// the launcher's process.
void OpenFileWithDesktop(QWidget* owner, const QString& path, std::function<void()> failed);

// "No program was found to open ...", with the address or the folder's path.
QString LauncherFailureText(const QUrl& url);
// Where the chart went when no program could open it.
QString ChartNotOpenedText(const QString& path);

} // namespace tessvale
