// Crash handler: a fatal failure has a second copy of the program write a core dump.
#pragma once

namespace tessvale {

// Called first at start-up with the process arguments. When the arguments make this
// process the dump writer ("-dump", any case) it writes the dump and returns false;
// start-up then ends. Otherwise installs the handlers and returns true.
bool InstallCrashHandler(int argc, char** argv);

} // namespace tessvale
