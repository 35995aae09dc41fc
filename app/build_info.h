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

// The compiler's __DATE__ ("Mar  3 2021") and __TIME__ ("14:05:09") as
// "2021-03-03 14:05:09"; empty when either is malformed.
std::string FormatBuildStamp(const char* date, const char* time);

// The stamp of this build.
std::string BuildStamp();

} // namespace tessvale
