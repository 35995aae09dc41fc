#include "app/chart_window.h"

#include <QMessageBox>

#include "dialogs/ui_text.h"

namespace tessvale {

void ChartWindowMessages::ShowChartMessage(ChartMessageKind kind, const std::string& text)
{
    if (kind == ChartMessageKind::Plain) {
        // No owner; translated like every other text the program shows.
        QMessageBox box(QMessageBox::NoIcon, QUiText("Error"), QUiText(text), QMessageBox::Ok);
        box.exec();
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QUiText("Error"), QUiText(text), QMessageBox::Ok, m_owner);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.raise();
    box.activateWindow();
    box.exec();
}

bool ChartWindowMessages::AskYesNo(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tessvale"), QUiText(text), QMessageBox::Yes | QMessageBox::No,
                    m_owner);
    return box.exec() == QMessageBox::Yes;
}

} // namespace tessvale
