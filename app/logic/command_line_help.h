// "--help" and "--version", and the answer to an unknown "--" option. They are handled
// before any window or display is touched, so they work on a console without X or
// Wayland.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace tessvale {

// The usage of every command-line form, the exit codes and the files, as "--help"
// prints it. Ends with a line feed.
std::string UsageText();

// "tessvale <version> (build <yyyymmdd>)" without a line feed. `releaseTime` is the
// build's "YYYY-MM-DD hh:mm:ss" stamp; when it cannot be read the build part shows
// "unknown".
std::string VersionLine(const std::string& version, const std::string& releaseTime);

// Answers "--help", "-h" and "--version" anywhere among the arguments (on `out`, exit
// code 0, or the write-error status with a message on `err` when `out` cannot be
// written), and a first argument that starts with "--" but is no option of the program
// (one line on `err` and the hint to "--help", exit code 2). Anything else gives no
// value and is left to the other start-up paths.
std::optional<int> RunInformationalOption(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

// For a start that would open the window: the arguments the window takes are Qt's own
// (-platform NAME, -style NAME, -session ID ...). Anything else (a mistyped option
// such as "-scan", a lookup switch without its arguments, a bare range) is a mistake
// that must not open a window: the message for it, with a hint where one fits; empty
// when every argument is fine.
std::string WindowArgumentError(int argc, const char* const* argv);

// WindowArgumentError's message, the usage hint, on err; returns the exit code 2.
// Runs only when that message is not empty.
int ReportWindowArgumentError(const std::string& message, std::FILE* err);

} // namespace tessvale
