// New files that are written first and moved into place when complete.
#pragma once

#include <string>

#include "common/unique_fd.h"

namespace tessvale {

// Creates a new, empty file beside `target` ("<target>.XXXXXX", made by mkostemp with
// O_EXCL and O_CLOEXEC, mode 0600): a name planted in the folder beforehand, a link
// included, is never opened. `path` receives the new file's name; an invalid
// descriptor (and an empty path) when the file cannot be made.
UniqueFd CreateTemporaryBeside(const std::string& target, std::string& path);

// Moves the complete temporary file at `temporary` over `target`. The new file gets
// the mode of the file it replaces, or `newMode` when there was none. On failure the
// temporary file is removed and false returned.
bool ReplaceWithTemporary(const std::string& temporary, const std::string& target, unsigned newMode = 0644);

} // namespace tessvale
