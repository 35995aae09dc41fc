// Process start-up: decides from the arguments and from a running copy what this
// process does, and does it.
#pragma once

#include <string>

namespace tessvale {

class CTessvaleApp
{
public:
    // Runs the process and returns its exit code.
    int InitInstance(int argc, char** argv);
};

} // namespace tessvale
