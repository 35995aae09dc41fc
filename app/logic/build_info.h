// The version and build stamps the windows show.
#pragma once

#include <ctime>
#include <string>

namespace tessvale {

// The version text ("3.9").
std::string VersionText();

// "Tessvale v<version> Build <yyyymmdd>" from a file time (local time); time 0 when the
// executable's file could not be found.
std::string FormatTitle(const std::string& version, std::time_t fileTime);

// The stamp of this build.
std::string BuildStamp();

} // namespace tessvale
