#include "store/setting_bounds.h"

#include <array>

#include "common/text_util.h"
#include "store/config_record.h"

namespace tessvale {

namespace {

constexpr std::size_t kShownChars = 40;

// AutoscanSpanSeconds counts minutes: at most a week between two scans.
constexpr std::array<SettingBounds, 6> kBounds{{
    {kAutoscanSpanSeconds, 0, 10080, "0"},
    {kAutoscanThreads, kMinThreads, kMaxThreadsSetting, "64"},
    {kNetbiosTimeoutMSeconds, kMinTimeoutMs, kMaxTimeoutMs, "1000"},
    {kAutoUpdate, 0, 1, "1"},
    {kProbeRatePerSecond, 1, 1000000, "2000"},
    {kProbeRetries, 0, 10, "1"},
}};

} // namespace

std::span<const SettingBounds> NumericSettings()
{
    return kBounds;
}

std::optional<long long> BoundedNumber(std::string_view text, long long minimum, long long maximum)
{
    const std::string trimmed = Trim(text);
    std::string_view digits = trimmed;
    const bool negative = !digits.empty() && digits[0] == '-';
    if (negative) {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 18) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (negative) {
        value = -value;
    }
    if (value < minimum || value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::string SettingProblem(const SettingBounds& bounds, std::string_view value)
{
    std::string shown = BlankControlCharacters(CutToCapacity(value, kShownChars + 1));
    if (shown.size() < value.size()) {
        shown += "...";
    }
    return std::string(bounds.key) + " '" + shown + "' is not a number from " + std::to_string(bounds.minimum) +
           " to " + std::to_string(bounds.maximum) + "; the default " + bounds.defaultValue + " is used";
}

} // namespace tessvale
