// The chart command as the main window runs it: message boxes for the chart's messages,
// the drawing written with the .vsdx canvas and then opened with the desktop's default
// application.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace tessvale {

// rows: each row's texts from column "IP" on, in display order. Runs on the GUI thread
// and returns when the drawing is done or has failed.
void RunChartForWindow(QWidget* owner, const std::vector<std::vector<std::string>>& rows);

} // namespace tessvale
