// What the user reads when a file could not be written: the failed action, then the
// reason and the file it concerns.
#pragma once

#include <string>
#include <string_view>

#include "store/config_file.h"
#include "store/config_store.h"

namespace tessvale {

// "<headline>\n<reason>: <path>", translated, control characters of the path blanked.
// The headline is an English text that goes through the translation.
std::string SaveFailureText(std::string_view headline, const FileError& error);

// The question the main window asks once at start-up when the configuration file is
// there but could not be used (unreadable, no regular file, too large, empty, a syntax
// error, nested too deep); empty when the load needs no word (loaded or missing).
std::string LoadFailureQuestion(const ConfigStore& store);

} // namespace tessvale
