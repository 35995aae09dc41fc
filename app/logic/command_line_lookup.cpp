#include "app/logic/command_line_lookup.h"

#include <cerrno>
#include <cstdio>

#include <sys/stat.h>
#include <system_error>

#include "common/checked_output.h"
#include "common/paths.h"
#include "common/text_util.h"
#include "scan/address_forms.h"
#include "scan/host_probe.h"
#include "store/config_file.h"

namespace tessvale {

namespace {

constexpr std::size_t kSwitchLength = 2;
constexpr std::size_t kShownChars = 60;
constexpr int kUsageExitCode = 2;

std::string Quoted(std::string_view text)
{
    std::string shown = BlankControlCharacters(CutToCapacity(text, kShownChars + 1));
    if (shown.size() < text.size()) {
        shown += "...";
    }
    return "'" + shown + "'";
}

const char* SwitchName(LookupSwitch which)
{
    switch (which) {
    case LookupSwitch::Wake:
        return "-w";
    case LookupSwitch::IpToMac:
        return "-m";
    case LookupSwitch::MacToIp:
        return "-i";
    case LookupSwitch::None:
        break;
    }
    return "";
}

const char* SwitchUsage(LookupSwitch which)
{
    switch (which) {
    case LookupSwitch::Wake:
        return "tessvale -w MAC";
    case LookupSwitch::IpToMac:
        return "tessvale -m FIRST [LAST]   (or -m CIDR)";
    case LookupSwitch::MacToIp:
        return "tessvale -i MAC FIRST [LAST]   (or -i MAC CIDR)";
    case LookupSwitch::None:
        break;
    }
    return "";
}

bool ReadMac(const std::vector<std::string>& tokens, std::size_t at, std::string& mac, std::string& error)
{
    if (at >= tokens.size()) {
        error = "the MAC address is missing";
        return false;
    }
    const auto normalised = NormaliseMacArgument(tokens[at]);
    if (!normalised || !ParseMac(*normalised)) {
        error =
            Quoted(tokens[at]) + " is not a MAC address (12 hexadecimal digits, or six pairs joined by ':' or by '-')";
        return false;
    }
    mac = *normalised;
    return true;
}

// The permission bits a file made by fopen would get: 0666 less the umask.
unsigned CreationMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666U & ~static_cast<unsigned>(mask);
}

// Writes the whole file beside the program, else into the fallback folder. On
// failure says why on err and gives kWriteErrorExitCode; else 0.
int WriteLookupFile(const LookupContext& context, const char* name, const std::string& content)
{
    ReplaceOptions options;
    options.followOwnLinks = true;
    options.mode = CreationMode();
    std::string failures;
    for (const std::string* folder : {&context.outputFolder, &context.fallbackFolder}) {
        if (folder->empty()) {
            continue;
        }
        if (folder == &context.fallbackFolder) {
            // When it cannot be made, the write below says why.
            CreateDirectoryPath(*folder);
        }
        const std::string path = *folder + "/" + name;
        const FileError error = ReplaceFileContent(path, content, options);
        if (!error) {
            if (context.tellWhere && context.err != nullptr) {
                std::fprintf(context.err, "tessvale: written to %s\n", BlankControlCharacters(path).c_str());
            }
            return 0;
        }
        failures += (failures.empty() ? "" : "; ") + BlankControlCharacters(DescribeFileError(error));
    }
    if (context.err != nullptr) {
        std::fprintf(context.err, "tessvale: cannot write %s: %s\n", name,
                     failures.empty() ? "no folder to write to" : failures.c_str());
    }
    return kWriteErrorExitCode;
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

int Interrupted(const LookupContext& context)
{
    return context.interrupted ? context.interrupted() : 0;
}

int RunWake(const LookupRequest& request, const LookupContext& context)
{
    WakeSendReport report;
    if (!context.wake || context.wake(request.mac, report) == 0 || report.sent == 0) {
        if (context.err != nullptr) {
            std::fprintf(context.err, "tessvale -w: no magic packet could be sent to %s: %s\n", request.mac.c_str(),
                         report.error != 0 ? std::generic_category().message(report.error).c_str()
                                           : "the MAC was not accepted");
        }
        return kLookupFoundNothing;
    }
    const WakeDestination destination;
    CheckedOutput out(context.out);
    const std::string line = "Magic packet sent to " + ToUpperAscii(request.mac) + " via " +
                             FormatIpv4(destination.address) + " port " + std::to_string(destination.port) + "\n";
    if (!out.Write(line)) {
        return ReportWriteError(context.err, out.Error());
    }
    return 0;
}

int RunIpToMac(const LookupRequest& request, const LookupContext& context)
{
    std::string content;
    int signal = 0;
    bool found = false;
    if (context.sweep) {
        std::vector<std::pair<std::uint32_t, std::string>> hosts;
        signal = context.sweep(request.range, hosts);
        for (const auto& [address, mac] : hosts) {
            content += Utf8ToAnsi(FormatIpv4(address) + " " + mac + "\r\n");
        }
        found = !hosts.empty();
    }
    for (std::uint64_t current = request.range.first; !context.sweep && current <= request.range.last; ++current) {
        if ((signal = Interrupted(context)) != 0) {
            break;
        }
        const std::string address = FormatIpv4(static_cast<std::uint32_t>(current));
        if (const auto mac = ResolveMac(context.probe, address)) {
            content += Utf8ToAnsi(address + " " + *mac + "\r\n");
            found = true;
        }
    }
    // What was found before an interruption is kept.
    if (const int written = WriteLookupFile(context, "IP2MAC.txt", content); written != 0) {
        return written;
    }
    if (signal != 0) {
        return 128 + signal;
    }
    return found ? 0 : kLookupFoundNothing;
}

int RunMacToIp(const LookupRequest& request, const LookupContext& context)
{
    // MACs are compared as bytes, so every written form of the given MAC matches the
    // probes' colon form.
    const auto wanted = ParseMac(request.mac);
    std::string content;
    for (std::uint64_t current = request.range.first; current <= request.range.last; ++current) {
        if (const int signal = Interrupted(context); signal != 0) {
            // The search did not end: the earlier file stays as it was.
            return 128 + signal;
        }
        const std::string address = FormatIpv4(static_cast<std::uint32_t>(current));
        const auto mac = ResolveMac(context.probe, address);
        if (mac && ParseMac(*mac) == wanted) {
            content = Utf8ToAnsi(ToUpperAscii(request.mac) + " " + address);
            break;
        }
    }
    if (const int written = WriteLookupFile(context, "MAC2IP.txt", content); written != 0) {
        return written;
    }
    return content.empty() ? kLookupFoundNothing : 0;
}

} // namespace

LookupContext LookupContextFor(HostProbe& probe, const std::string& programFolder, bool installed,
                               const std::string& dataFolder)
{
    LookupContext context{probe};
    context.outputFolder = installed ? std::string() : programFolder;
    context.fallbackFolder = dataFolder;
    return context;
}

LookupSwitch MatchLookupSwitch(std::string_view commandLine)
{
    if (commandLine.size() < kSwitchLength || (commandLine.size() > kSwitchLength && commandLine[2] != ' ')) {
        return LookupSwitch::None;
    }
    const std::string_view head = commandLine.substr(0, kSwitchLength);
    if (EqualsNoCase(head, "-w")) {
        return LookupSwitch::Wake;
    }
    if (EqualsNoCase(head, "-m")) {
        return LookupSwitch::IpToMac;
    }
    if (EqualsNoCase(head, "-i")) {
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

bool ParseLookupArguments(LookupSwitch which, std::string_view argument, LookupRequest& request, std::string& error)
{
    request = LookupRequest{};
    request.which = which;
    const std::vector<std::string> tokens = SplitTokens(argument);
    std::size_t at = 0;
    switch (which) {
    case LookupSwitch::None:
        error = "not a lookup";
        return false;
    case LookupSwitch::Wake:
        if (!ReadMac(tokens, at++, request.mac, error)) {
            return false;
        }
        break;
    case LookupSwitch::MacToIp:
        if (!ReadMac(tokens, at++, request.mac, error)) {
            return false;
        }
        [[fallthrough]];
    case LookupSwitch::IpToMac:
        if (at >= tokens.size()) {
            error = "the first address of the range is missing";
            return false;
        }
        if (!ReadRangeArgument(tokens, at, true, request.range, error)) {
            return false;
        }
        break;
    }
    if (at < tokens.size()) {
        error = "unexpected argument " + Quoted(tokens[at]);
        return false;
    }
    return true;
}

int RunCommandLineLookup(std::string_view commandLine, const LookupContext& context)
{
    const LookupSwitch which = MatchLookupSwitch(commandLine);
    if (which == LookupSwitch::None) {
        return -1;
    }
    const std::string_view argument = commandLine.size() > kSwitchLength ? commandLine.substr(kSwitchLength) : "";
    LookupRequest request;
    std::string error;
    if (!ParseLookupArguments(which, argument, request, error)) {
        if (context.err != nullptr) {
            std::fprintf(context.err, "tessvale %s: %s\nusage: %s\nTry 'tessvale --help' for more information.\n",
                         SwitchName(which), error.c_str(), SwitchUsage(which));
        }
        return kUsageExitCode;
    }
    switch (which) {
    case LookupSwitch::Wake:
        return RunWake(request, context);
    case LookupSwitch::IpToMac:
        return RunIpToMac(request, context);
    case LookupSwitch::MacToIp:
        return RunMacToIp(request, context);
    case LookupSwitch::None:
        break;
    }
    return -1;
}

} // namespace tessvale
