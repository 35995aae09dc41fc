// Reading a whole file at once.
#pragma once

#include <optional>
#include <string>

namespace tessvale {

// The file's bytes; false (text unchanged) when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& text);

// The file's bytes, or nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

} // namespace tessvale
