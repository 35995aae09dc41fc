// The update check, run in a second copy of the program started with "-Upgrade".
#pragma once

namespace tessvale {

// Update-run side, called by start-up right after the crash handler. Returns -1 when
// this process is not an update run (the first argument is not "-Upgrade", any case);
// otherwise performs the check and returns 1 when a new version was handled, else 0.
int RunUpdateCheck(int argc, char** argv);

} // namespace tessvale
