#include "dialogs/dlg_prompt.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/desktop_open.h"
#include "app/icons.h"
#include "app/logic/string_table.h"
#include "app/ui_text.h"
#include "app/window_translation.h"
#include "dialogs/dialog_buttons.h"

namespace tessvale {

CDlgPrompt::CDlgPrompt(bool hostNameLink, bool systemInfoLink, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("promptDialog"));
    setWindowTitle(QUiText("Prompt"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(PromptIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto* question = new QLabel(QUiText("Do you want to save the result?"), this);
    question->setObjectName(QStringLiteral("questionLabel"));
    top->addWidget(question, 1);
    layout->addLayout(top);

    auto* hostLink = MakeLink(IDS_LINK_HOSTNAME, HostNameHelpUrl(), "hostNameLinkLabel");
    auto* wmiLink = MakeLink(IDS_LINK_WMI, SystemInfoHelpUrl(), "systemInfoLinkLabel");
    // Hidden links keep their space, so the dialog has the same size either way.
    for (auto [link, shown] : {std::pair{hostLink, hostNameLink}, std::pair{wmiLink, systemInfoLink}}) {
        QSizePolicy policy = link->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        link->setSizePolicy(policy);
        link->setVisible(shown);
        layout->addWidget(link);
    }

    m_dontAsk = new QCheckBox(QUiText("Don't ask again"), this);
    m_dontAsk->setObjectName(QStringLiteral("dontAskCheckBox"));
    m_dontAsk->setToolTip(QUiText("Settings can bring the question back."));
    layout->addWidget(m_dontAsk);

    QDialogButtonBox* buttons = MakeOkCancelButtons(this);
    layout->addWidget(buttons);
}

bool CDlgPrompt::DontAskAgain() const
{
    return m_dontAsk->isChecked();
}

QLabel* CDlgPrompt::MakeLink(int stringId, const QString& url, const char* objectName)
{
    // The text between <a> and </a> is the clickable part.
    QString text = QUiString(stringId);
    text.replace(QStringLiteral("<a>"), QStringLiteral("<a href=\"%1\">").arg(url.toHtmlEscaped()));
    auto* link = new QLabel(text, this);
    link->setObjectName(QString::fromLatin1(objectName));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(link, &QLabel::linkActivated, this, [this](const QString& target) {
        if (!OpenWithDesktop(QUrl(target))) {
            ShowMessage(this, LauncherFailureText(QUrl(target)), QStringLiteral("Tessvale"),
                        kMbOk | kMbIconInformation);
        }
    });
    return link;
}

QString CDlgPrompt::HostNameHelpUrl()
{
    return QStringLiteral(TESSVALE_HOME_URL "/wiki-hostname.htm");
}

QString CDlgPrompt::SystemInfoHelpUrl()
{
    return QStringLiteral(TESSVALE_HOME_URL "/wiki-wmi.htm");
}

} // namespace tessvale
