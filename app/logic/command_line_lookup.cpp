#include "app/logic/command_line_lookup.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include <system_error>

#include "common/paths.h"
#include "common/text_util.h"
#include "scan/address_forms.h"
#include "scan/host_probe.h"

namespace tessvale {

namespace {

constexpr std::size_t kSwitchLength = 3;

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Range
{
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};

// The all-ones address is refused like inet_addr's failure value.
std::optional<std::uint32_t> ParseRangeEnd(const std::string& text)
{
    const auto value = ParseIpv4(text);
    if (!value || *value == 0xFFFFFFFFu) {
        return std::nullopt;
    }
    return value;
}

std::optional<Range> ParseRange(const std::vector<std::string>& tokens, std::size_t firstIndex)
{
    if (tokens.size() <= firstIndex) {
        return std::nullopt;
    }
    const std::string& lastText = tokens.size() > firstIndex + 1 ? tokens[firstIndex + 1] : tokens[firstIndex];
    const auto first = ParseRangeEnd(tokens[firstIndex]);
    const auto last = ParseRangeEnd(lastText);
    if (!first || !last) {
        return std::nullopt;
    }
    return Range{*first, *last};
}

// The open file of a lookup and where it lies. Closing it tells the report stream
// where the file went.
class Output
{
public:
    Output(File file, std::string path, std::FILE* report)
        : m_file(std::move(file)), m_path(std::move(path)), m_report(report)
    {}
    ~Output()
    {
        if (!m_file) {
            return;
        }
        const bool closed = std::fclose(m_file.release()) == 0;
        if (m_report != nullptr) {
            std::fprintf(m_report, closed && m_written ? "tessvale: written to %s\n" : "tessvale: could not write %s\n",
                         m_path.c_str());
        }
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    explicit operator bool() const { return static_cast<bool>(m_file); }
    void Write(const std::string& utf8)
    {
        const std::string bytes = Utf8ToAnsi(utf8);
        m_written = std::fwrite(bytes.data(), 1, bytes.size(), m_file.get()) == bytes.size() && m_written;
    }

private:
    File m_file;
    std::string m_path;
    std::FILE* m_report;
    bool m_written = true;
};

// Beside the program first, then the fallback folder.
std::unique_ptr<Output> OpenOutput(const LookupContext& context, const char* name)
{
    std::string tried;
    int error = 0;
    for (const std::string* folder : {&context.outputFolder, &context.fallbackFolder}) {
        if (folder->empty()) {
            continue;
        }
        if (folder == &context.fallbackFolder) {
            // When it cannot be made, opening the file below says why.
            CreateDirectoryPath(*folder);
        }
        std::string path = *folder + "/" + name;
        if (File file(std::fopen(path.c_str(), "wb")); file) {
            return std::make_unique<Output>(std::move(file), std::move(path), context.report);
        }
        error = errno;
        tried += (tried.empty() ? "" : " or ") + path;
    }
    if (context.report != nullptr) {
        std::fprintf(context.report, "tessvale: cannot write %s: %s\n", tried.empty() ? name : tried.c_str(),
                     error != 0 ? std::generic_category().message(error).c_str() : "no folder to write to");
    }
    return nullptr;
}

// NetBIOS first, ARP second, as a scan probes an address.
std::optional<std::string> ResolveMac(HostProbe& probe, const std::string& address)
{
    std::string mac;
    std::string hostName;
    if (probe.NodeStatus(address, mac, hostName)) {
        return mac;
    }
    mac.clear();
    if (probe.Arp(address, mac)) {
        return mac;
    }
    return std::nullopt;
}

void RunWake(std::string_view argument, const LookupContext& context)
{
    const auto mac = NormaliseMacArgument(argument);
    if (mac && context.wake) {
        context.wake(*mac);
    }
}

void RunIpToMac(std::string_view argument, const LookupContext& context)
{
    const auto range = ParseRange(SplitTokens(argument), 0);
    if (!range) {
        return;
    }
    const auto file = OpenOutput(context, "IP2MAC.txt");
    if (!file) {
        return;
    }
    // The last address cannot be 255.255.255.255, so the increment never wraps.
    for (std::uint32_t current = range->first; current <= range->last; ++current) {
        const std::string address = FormatIpv4(current);
        if (const auto mac = ResolveMac(context.probe, address)) {
            file->Write(address + " " + *mac + "\r\n");
        }
    }
}

void RunMacToIp(std::string_view argument, const LookupContext& context)
{
    const auto tokens = SplitTokens(argument);
    if (tokens.empty()) {
        return;
    }
    const auto given = NormaliseMacArgument(tokens[0]);
    if (!given) {
        return;
    }
    const auto range = ParseRange(tokens, 1);
    if (!range) {
        return;
    }
    const auto file = OpenOutput(context, "MAC2IP.txt");
    if (!file) {
        return;
    }
    // MACs are compared as bytes, so every written form of the given MAC matches the
    // probes' colon form.
    const auto wanted = ParseMac(*given);
    if (!wanted) {
        return;
    }
    for (std::uint32_t current = range->first; current <= range->last; ++current) {
        const std::string address = FormatIpv4(current);
        const auto mac = ResolveMac(context.probe, address);
        if (mac && ParseMac(*mac) == wanted) {
            file->Write(ToUpperAscii(*given) + " " + address);
            return;
        }
    }
}

} // namespace

LookupContext LookupContextFor(HostProbe& probe, const std::string& programFolder, bool installed,
                               const std::string& dataFolder)
{
    return LookupContext{probe, installed ? std::string() : programFolder, nullptr, dataFolder, nullptr};
}

LookupSwitch MatchLookupSwitch(std::string_view commandLine)
{
    if (commandLine.size() < kSwitchLength) {
        return LookupSwitch::None;
    }
    const std::string_view head = commandLine.substr(0, kSwitchLength);
    if (EqualsNoCase(head, "-w ")) {
        return LookupSwitch::Wake;
    }
    if (EqualsNoCase(head, "-m ")) {
        return LookupSwitch::IpToMac;
    }
    if (EqualsNoCase(head, "-i ")) {
        return LookupSwitch::MacToIp;
    }
    return LookupSwitch::None;
}

std::optional<std::string> NormaliseMacArgument(std::string_view text)
{
    if (text.size() == 12) {
        std::string mac;
        for (std::size_t i = 0; i < 6; ++i) {
            if (i > 0) {
                mac += ':';
            }
            mac += text.substr(i * 2, 2);
        }
        return mac;
    }
    if (text.size() == 17) {
        return std::string(text);
    }
    return std::nullopt;
}

std::vector<std::string> SplitTokens(std::string_view text)
{
    std::vector<std::string> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        tokens.emplace_back(text.substr(start, end - start));
        at = end;
    }
    return tokens;
}

bool RunCommandLineLookup(std::string_view commandLine, const LookupContext& context)
{
    const LookupSwitch which = MatchLookupSwitch(commandLine);
    const std::string_view argument = commandLine.size() > kSwitchLength ? commandLine.substr(kSwitchLength) : "";
    switch (which) {
    case LookupSwitch::None:
        return false;
    case LookupSwitch::Wake:
        RunWake(argument, context);
        return true;
    case LookupSwitch::IpToMac:
        RunIpToMac(argument, context);
        return true;
    case LookupSwitch::MacToIp:
        RunMacToIp(argument, context);
        return true;
    }
    return false;
}

} // namespace tessvale
