#include "dialogs/dlg_prompt.h"

#include <utility>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "common/string_table.h"
#include "dialogs/dialog_buttons.h"
#include "dialogs/ui_text.h"

namespace tessvale {

CDlgPrompt::CDlgPrompt(bool hostNameLink, bool systemInfoLink, QWidget* parent, PromptDialogServices services)
    : QDialog(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("promptDialog"));
    setWindowTitle(QUiText("Prompt"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(m_services.icon.pixmap(32, 32));
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
        if (m_services.openLink) {
            m_services.openLink(this, QUrl(target));
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
