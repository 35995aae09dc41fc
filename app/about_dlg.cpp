#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/icons.h"
#include "app/logic/build_info.h"
#include "dialogs/ui_text.h"

namespace tessvale {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QUiText("About Tessvale"));
    auto* layout = new QGridLayout(this);
    layout->setHorizontalSpacing(14);
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon, 0, 0, 3, 1);

    auto* name = new QLabel(QStringLiteral("<b>Tessvale %1</b>").arg(ToQString(VersionText())), this);
    name->setObjectName(QStringLiteral("versionLabel"));
    layout->addWidget(name, 0, 1);
    auto* what = new QLabel(QUiText("IP range scanner: MAC, NetBIOS name and vendor of every host."), this);
    layout->addWidget(what, 1, 1);
    auto* built = new QLineEdit(ToQString(BuildStamp()), this);
    built->setObjectName(QStringLiteral("buildLineEdit"));
    built->setReadOnly(true);
    built->setFrame(false);
    layout->addWidget(built, 2, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QUiText("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 3, 0, 1, 2);
}

} // namespace tessvale
