// The about box: program name, version and the build's date and time.
#pragma once

#include <QDialog>

namespace tessvale {

class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace tessvale
