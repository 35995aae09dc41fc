#include "common/crash_handler.h"

namespace tessvale {

// The dump writer and the fatal-signal handlers are not built yet: every process is a
// normal run.
bool InstallCrashHandler(int /*argc*/, char** /*argv*/)
{
    return true;
}

} // namespace tessvale
