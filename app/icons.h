// The program's images, drawn at start-up: the application icon, the two status images
// of the result list, the chooser images, the toolbar images and the prompt's icon.
#pragma once

#include <QIcon>

namespace tessvale {

QIcon AppIcon();
QIcon StatusIcon(int image);    // 0 answered, 1 silent
QIcon ChooserIcon(bool stored); // adapter entry or stored result
QIcon ToolbarIcon(int commandId);
QIcon PromptIcon();

} // namespace tessvale
