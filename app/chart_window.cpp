#include "app/chart_window.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "app/ui_text.h"
#include "chart/chart_command.h"

namespace tessvale {

namespace {

class MessageBoxSink : public ChartMessageSink
{
public:
    explicit MessageBoxSink(QWidget* owner) : m_owner(owner) {}

    void ShowChartMessage(ChartMessageKind kind, const std::string& text) override
    {
        if (kind == ChartMessageKind::Plain) {
            // No owner, not translated.
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), QString::fromStdString(text),
                            QMessageBox::Ok);
            box.exec();
            return;
        }
        QMessageBox box(QMessageBox::NoIcon, QUiText("Error"), QUiText(text), QMessageBox::Ok, m_owner);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.raise();
        box.activateWindow();
        box.exec();
    }

    bool AskYesNo(const std::string& text) override
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tessvale"), QUiText(text),
                        QMessageBox::Yes | QMessageBox::No, m_owner);
        return box.exec() == QMessageBox::Yes;
    }

private:
    QWidget* m_owner;
};

} // namespace

void RunChartForWindow(QWidget* owner, const std::vector<std::vector<std::string>>& rows)
{
    MessageBoxSink sink(owner);
    if (DrawFlowChart(ChartListsFromRows(rows), sink)) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(DefaultChartPaths().savePath)));
    }
}

} // namespace tessvale
