#include "common/update_check.h"

namespace tessvale {

// The update run is not built yet: no process is an update run.
int RunUpdateCheck(int /*argc*/, char** /*argv*/)
{
    return -1;
}

} // namespace tessvale
