#include "app/logic/build_info.h"

#include <cstdio>

#include "common/checked_output.h"
#include "common/string_table.h"
#include "common/update_check.h"

namespace tessvale {

std::string VersionText()
{
    return UiString(IDS_VERSION);
}

std::string FormatTitle(const std::string& version, std::time_t fileTime)
{
    std::tm local{};
    localtime_r(&fileTime, &local);
    char build[32];
    IgnoreResult(
        std::snprintf(build, sizeof build, "%d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
    return "Tessvale v" + version + " Build " + build;
}

std::string BuildStamp()
{
    // The same stamp the update check sends as the release time.
    return ReleaseTime();
}

} // namespace tessvale
