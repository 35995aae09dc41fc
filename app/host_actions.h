// The host actions of the result list beyond the classic ones: copying one field,
// the web page over https, SSH and ping. Each is one entry of a small table, from which
// the Actions menu (and so the list's context menu) is built; CTessvaleDlg::OnCommand
// runs them by id.
#pragma once

#include <vector>

namespace tessvale {

class CTessvaleDlg;

struct HostCommand
{
    int id;
    const char* objectName; // of its menu entry
    void (CTessvaleDlg::*handler)();
    bool afterCopy; // placed after Copy, else after Web(http)
};

const std::vector<HostCommand>& HostCommands();

} // namespace tessvale
