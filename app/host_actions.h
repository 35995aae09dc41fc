// The host actions of the result list beyond the classic ones: copying one field,
// the web page over https, SSH and ping. Each is one entry of a small table by which
// CTessvaleDlg::OnCommand runs them; their places in the Actions menu (and so in the
// list's context menu) are those of the command table.
#pragma once

#include <vector>

namespace tessvale {

class CTessvaleDlg;

struct HostCommand
{
    int id;
    void (CTessvaleDlg::*handler)();
};

const std::vector<HostCommand>& HostCommands();

} // namespace tessvale
