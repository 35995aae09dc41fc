// The chart's messages as the main window shows them: plain message boxes without an
// owner, localised ones over the window, and the Yes/No question before an empty chart.
#pragma once

#include <string>

#include "chart/network_chart.h"

class QWidget;

namespace tessvale {

// Runs on the GUI thread; each call returns when its message box has closed.
class ChartWindowMessages : public ChartMessageSink
{
public:
    explicit ChartWindowMessages(QWidget* owner) : m_owner(owner) {}

    void ShowChartMessage(ChartMessageKind kind, const std::string& text) override;
    bool AskYesNo(const std::string& text) override;

private:
    QWidget* m_owner;
};

} // namespace tessvale
