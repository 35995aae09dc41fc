#include "app/ping_window.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/logic/host_commands.h"
#include "dialogs/ui_text.h"

namespace tessvale {

PingWindow::PingWindow(const QString& ip, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("pingWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QUiText("Ping %1").arg(ip));
    auto* layout = new QVBoxLayout(this);
    m_output = new QPlainTextEdit(this);
    m_output->setObjectName(QStringLiteral("pingOutput"));
    m_output->setReadOnly(true);
    m_output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_output->setMinimumSize(520, 200);
    layout->addWidget(m_output);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QUiText("Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);

    const auto command = PingCommand(ToStdString(ip));
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ping"));
    if (!command || program.isEmpty()) {
        Append(QUiText("The ping program was not found. Install iputils-ping."));
        m_finished = true;
        return;
    }
    QStringList arguments;
    for (std::size_t i = 1; i < command->size(); ++i) {
        arguments << ToQString((*command)[i]);
    }
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::readyRead, this,
            [this] { Append(QString::fromLocal8Bit(m_process->readAll()).trimmed()); });
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus) {
        m_finished = true;
        // iputils: 0 replies came, 1 none came, 2 another failure.
        Append(code == 0 ? QUiText("Ping ended.") : QUiText("Ping ended without replies."));
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            m_finished = true;
            Append(QUiText("The ping program could not be started."));
        }
    });
    m_process->start(program, arguments);
}

PingWindow::~PingWindow()
{
    if (m_process != nullptr && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

QString PingWindow::Output() const
{
    return m_output->toPlainText();
}

void PingWindow::Append(const QString& text)
{
    if (!text.isEmpty()) {
        m_output->appendPlainText(text);
    }
}

} // namespace tessvale
