// The stencil "NET_1" the network chart draws with: six masters of our own artwork.
#pragma once

#include <string>
#include <vector>

#include "chart/vsdx_drawing.h"

namespace tessvale {

// "Workgroup Switches", "Label", "Label2", "Dynamic Connector", "Router" and "PC". The
// switch, router and PC each have one connection point, Connections.X1, at their middle.
std::vector<VsdxMaster> NetStencilMasters();

// Writes the stencil as a .vssx package.
bool WriteNetStencil(const std::string& path);

} // namespace tessvale
