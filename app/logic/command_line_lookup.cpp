#include "app/logic/command_line_lookup.h"

#include <algorithm>
#include <array>
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

// Says a message on the error stream, when there is one. A message that cannot be
// written has nowhere else to go; the exit status still tells what happened.
void Say(std::FILE* err, const std::string& message)
{
    if (err != nullptr) {
        static_cast<void>(std::fputs(message.c_str(), err));
    }
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
            if (context.tellWhere) {
                Say(context.err, "tessvale: written to " + BlankControlCharacters(path) + "\n");
            }
            return 0;
        }
        failures += (failures.empty() ? "" : "; ") + BlankControlCharacters(DescribeFileError(error));
    }
    Say(context.err, std::string("tessvale: cannot write ") + name + ": " +
                         (failures.empty() ? "no folder to write to" : failures) + "\n");
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
        Say(context.err,
            "tessvale -w: no magic packet could be sent to " + request.mac + ": " +
                (report.error != 0 ? std::generic_category().message(report.error) : "the MAC was not accepted") +
                "\n");
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

// A lookup switch: how it is written, its usage line, and what it runs.
struct SwitchForm
{
    LookupSwitch which;
    const char* name;
    const char* usage;
    int (*run)(const LookupRequest&, const LookupContext&);
};

constexpr std::array kSwitches = {
    SwitchForm{LookupSwitch::Wake, "-w", "tessvale -w MAC", RunWake},
    SwitchForm{LookupSwitch::IpToMac, "-m", "tessvale -m FIRST [LAST]   (or -m CIDR)", RunIpToMac},
    SwitchForm{LookupSwitch::MacToIp, "-i", "tessvale -i MAC FIRST [LAST]   (or -i MAC CIDR)", RunMacToIp},
};

const SwitchForm* FormOf(LookupSwitch which)
{
    const auto* found = std::ranges::find(kSwitches, which, &SwitchForm::which);
    return found == kSwitches.end() ? nullptr : found;
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
    const auto* found =
        std::ranges::find_if(kSwitches, [head](const SwitchForm& form) { return EqualsNoCase(head, form.name); });
    return found == kSwitches.end() ? LookupSwitch::None : found->which;
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
    std::vector<std::string> tokens(1);
    for (const char c : text) {
        if (c != ' ') {
            tokens.back() += c;
        } else if (!tokens.back().empty()) {
            tokens.emplace_back();
        }
    }
    if (tokens.back().empty()) {
        tokens.pop_back();
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
    const SwitchForm* form = FormOf(MatchLookupSwitch(commandLine));
    if (form == nullptr) {
        return -1;
    }
    const std::string_view argument = commandLine.size() > kSwitchLength ? commandLine.substr(kSwitchLength) : "";
    LookupRequest request;
    std::string error;
    if (!ParseLookupArguments(form->which, argument, request, error)) {
        Say(context.err, std::string("tessvale ") + form->name + ": " + error + "\nusage: " + form->usage +
                             "\nTry 'tessvale --help' for more information.\n");
        return kUsageExitCode;
    }
    return form->run(request, context);
}

} // namespace tessvale
