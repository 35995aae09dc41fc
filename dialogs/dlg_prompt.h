// The save prompt after a scan: "Do you want to save the result?", with help links
// that explain missing host names and missing system information.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

namespace tessvale {

class CDlgPrompt : public QDialog
{
    Q_OBJECT

public:
    // The links show only when their flag is set.
    CDlgPrompt(bool hostNameLink, bool systemInfoLink, QWidget* parent = nullptr);

    // Whether "Don't ask again" is ticked.
    bool DontAskAgain() const;

    // Where the two links lead.
    static QString HostNameHelpUrl();
    static QString SystemInfoHelpUrl();

private:
    QLabel* MakeLink(int stringId, const QString& url, const char* objectName);

    QCheckBox* m_dontAsk = nullptr;
};

} // namespace tessvale
