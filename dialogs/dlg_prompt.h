// The save prompt after a scan: "Do you want to save the result?", with help links
// that explain missing host names and missing system information.
#pragma once

#include <functional>

#include <QDialog>
#include <QIcon>

class QCheckBox;
class QLabel;
class QUrl;

namespace tessvale {

// What the prompt takes from the window that shows it. Either may be left empty: the
// prompt then shows no icon, and its links do nothing.
struct PromptDialogServices
{
    QIcon icon;
    // Opens a help link's address (and says so when no program could).
    std::function<void(QWidget* owner, const QUrl& url)> openLink;
};

class CDlgPrompt : public QDialog
{
    Q_OBJECT

public:
    // The links show only when their flag is set.
    CDlgPrompt(bool hostNameLink, bool systemInfoLink, QWidget* parent = nullptr, PromptDialogServices services = {});

    // Whether "Don't ask again" is ticked.
    bool DontAskAgain() const;

    // Where the two links lead.
    static QString HostNameHelpUrl();
    static QString SystemInfoHelpUrl();

private:
    QLabel* MakeLink(int stringId, const QString& url, const char* objectName);

    PromptDialogServices m_services;
    QCheckBox* m_dontAsk = nullptr;
};

} // namespace tessvale
