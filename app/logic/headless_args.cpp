#include "app/logic/headless_args.h"

#include <algorithm>
#include <string_view>

#include "app/logic/range_arguments.h"
#include "common/text_util.h"
#include "scan/address_forms.h"
#include "store/setting_bounds.h"

namespace tessvale {
namespace {

// A whole non-negative decimal number, nothing else: the settings' reading without its
// sign and the blanks it allows around a stored value.
std::optional<long long> ParseCount(std::string_view text, long long maximum)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return BoundedNumber(text, 0, maximum);
}

enum class OptionRead
{
    NotAnOption, // a range
    Flag,        // an option without a value
    WithValue,   // an option that took the next argument
    Error,
};

std::optional<OutputFormat> ParseFormat(std::string_view text)
{
    if (text == "tsv") {
        return OutputFormat::Tsv;
    }
    if (text == "csv") {
        return OutputFormat::Csv;
    }
    if (text == "json") {
        return OutputFormat::Json;
    }
    return std::nullopt;
}

// "netbios,mdns,dns" in any order and choice, or "none".
std::optional<NameSourceChoice> ParseNameSources(std::string_view text)
{
    NameSourceChoice choice{false, false, false};
    if (text == "none") {
        return choice;
    }
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view source = text.substr(0, comma);
        if (source == "netbios") {
            choice.netbios = true;
        } else if (source == "mdns") {
            choice.mdns = true;
        } else if (source == "dns") {
            choice.dns = true;
        } else {
            return std::nullopt;
        }
        if (comma == std::string_view::npos) {
            return choice;
        }
        text.remove_prefix(comma + 1);
    }
}

// The options that take a value: --threads, --timeout, --names, --format.
OptionRead ReadValueOption(std::string_view option, std::string_view value, HeadlessScanOptions& options,
                           std::string& error)
{
    if (option == "--threads") {
        options.threads = ParseCount(value, kMaxThreadsSetting);
        if (!options.threads) {
            error = "--threads: '" + std::string(value) + "' is not a number from " + std::to_string(kMinThreads) +
                    " to " + std::to_string(kMaxThreadsSetting);
            return OptionRead::Error;
        }
    } else if (option == "--timeout") {
        options.timeoutMs = ParseCount(value, kMaxTimeoutMs);
        if (!options.timeoutMs || *options.timeoutMs < kMinTimeoutMs) {
            options.timeoutMs.reset();
            error = "--timeout: '" + std::string(value) + "' is not a number of milliseconds from " +
                    std::to_string(kMinTimeoutMs) + " to " + std::to_string(kMaxTimeoutMs);
            return OptionRead::Error;
        }
    } else if (option == "--names") {
        options.names = ParseNameSources(value);
        if (!options.names) {
            error = "--names: '" + std::string(value) + "' is not a list of netbios, mdns and dns, nor none";
            return OptionRead::Error;
        }
    } else {
        const auto format = ParseFormat(value);
        if (!format) {
            error = "--format: '" + std::string(value) + "' is none of tsv, csv, json";
            return OptionRead::Error;
        }
        options.format = *format;
    }
    return OptionRead::WithValue;
}

OptionRead ReadScanOption(std::string_view argument, const char* next, HeadlessScanOptions& options, std::string& error)
{
    if (argument == "--csv") {
        options.format = OutputFormat::Csv;
        return OptionRead::Flag;
    }
    if (argument == "--header" || argument == "--sorted") {
        (argument == "--header" ? options.header : options.sorted) = true;
        return OptionRead::Flag;
    }
    if (argument == "--against") {
        if (next == nullptr || *next == '\0') {
            error = "--against needs the name of a stored result or a file of an earlier --scan";
            return OptionRead::Error;
        }
        options.against = next;
        return OptionRead::WithValue;
    }
    if (argument == "--threads" || argument == "--timeout" || argument == "--format" || argument == "--names") {
        if (next == nullptr) {
            error = std::string(argument) + " needs a value";
            return OptionRead::Error;
        }
        return ReadValueOption(argument, next, options, error);
    }
    if (argument.size() > 1 && argument[0] == '-') {
        error = "unknown option '" + std::string(argument) + "'";
        return OptionRead::Error;
    }
    return OptionRead::NotAnOption;
}

// The ranges in the order given, each address once (what an earlier range covers is
// left out of a later one); the cap holds for the whole run.
bool ReadRanges(const std::vector<std::string>& positional, std::vector<ScanRange>& ranges, std::string& error)
{
    std::vector<AddressSpan> spans;
    for (std::size_t at = 0; at < positional.size();) {
        AddressSpan span;
        if (!ReadRangeArgument(positional, at, false, span, error)) {
            return false;
        }
        spans.push_back(span);
    }
    spans = WithoutRepeats(spans);
    if (AddressCount(spans) > kMaxRangeAddresses) {
        error = "the ranges hold " + std::to_string(AddressCount(spans)) + " addresses together, more than " +
                std::to_string(kMaxRangeAddresses) + "; give smaller ones";
        return false;
    }
    for (const AddressSpan& span : spans) {
        ranges.push_back(ScanRange{FormatIpv4(span.first), FormatIpv4(span.last)});
    }
    return true;
}

} // namespace

HeadlessParse ParseHeadlessScanArgs(int argc, const char* const* argv, HeadlessScanOptions& options, std::string& error)
{
    if (argc < 2 || std::string_view(argv[1]) != "--scan") {
        return HeadlessParse::NotAScan;
    }
    options = HeadlessScanOptions{};
    std::vector<std::string> positional;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        switch (ReadScanOption(argument, value, options, error)) {
        case OptionRead::Flag:
            continue;
        case OptionRead::WithValue:
            ++i;
            continue;
        case OptionRead::Error:
            return HeadlessParse::Error;
        case OptionRead::NotAnOption:
            break;
        }
        positional.emplace_back(argument);
    }
    if (!ReadRanges(positional, options.ranges, error)) {
        return HeadlessParse::Error;
    }
    return HeadlessParse::Scan;
}

} // namespace tessvale
