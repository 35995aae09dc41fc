// The valid range of every numeric setting. A stored value outside its range, or one
// that is no whole decimal number, is replaced by the default when the settings are
// read, and the reader is told so; the command line's --threads and --timeout have
// the same bounds.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessvale {

struct SettingBounds
{
    const char* key;
    long long minimum;
    long long maximum;
    const char* defaultValue;
};

inline constexpr long long kMinThreads = 0;
inline constexpr long long kMaxThreadsSetting = 256;
inline constexpr long long kMinTimeoutMs = 50;
inline constexpr long long kMaxTimeoutMs = 60000;

// The bounded settings, in the order the settings record lists them.
std::span<const SettingBounds> NumericSettings();

// The value as a whole decimal number (an optional '-', digits, nothing else, blanks
// around it allowed) within minimum..maximum; none otherwise.
std::optional<long long> BoundedNumber(std::string_view text, long long minimum, long long maximum);

// "<key> '<value>' is not a number from <min> to <max>; the default <default> is used",
// the value shown with control characters blanked and cut.
std::string SettingProblem(const SettingBounds& bounds, std::string_view value);

} // namespace tessvale
