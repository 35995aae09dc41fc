#include "app/build_info.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "app/string_table.h"

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
    std::snprintf(build, sizeof build, "%d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return "Tessvale v" + version + " Build " + build;
}

std::string FormatBuildStamp(const char* date, const char* time)
{
    static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char month[4] = {};
    int day = 0;
    int year = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (date == nullptr || time == nullptr || std::sscanf(date, "%3s %d %d", month, &day, &year) != 3 ||
        std::sscanf(time, "%d:%d:%d", &hour, &minute, &second) != 3) {
        return {};
    }
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (std::strcmp(month, kMonths[i]) == 0) {
            char text[32];
            std::snprintf(text, sizeof text, "%04d-%02zu-%02d %02d:%02d:%02d", year, i + 1, day, hour, minute, second);
            return text;
        }
    }
    return {};
}

std::string BuildStamp()
{
    return FormatBuildStamp(__DATE__, __TIME__);
}

} // namespace tessvale
