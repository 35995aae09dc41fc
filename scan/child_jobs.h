// The one entry a program's main() needs of the inventory's child processes: the remote
// inventory starts the program itself as its children (scan/linux/inventory_child.h).
#pragma once

#include <optional>

namespace tessvale {

// Called first in main(): when the program was started as a child of the inventory,
// serves that job and returns the code to exit with; otherwise nullopt.
std::optional<int> RunChildJobIfAsked(int argc, char** argv);

} // namespace tessvale
