// The lookups the command line offers without a window: "-w " MAC wakes a host,
// "-m " first [last] writes the MAC of every answering address to IP2MAC.txt,
// "-i " MAC first [last] writes the address holding the MAC to MAC2IP.txt.
//
// Their ranges are read as "--scan" reads its ranges (strict dotted quads, FIRST LAST
// or a CIDR block, the same messages); a malformed argument ends the lookup with a
// message and exit status 2 before anything is probed or written. The file is written
// as a whole through a temporary file renamed over the old one, so an earlier file
// stays as it was until the new one is complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/logic/range_arguments.h"
#include "scan/wake_on_lan.h"

namespace tessvale {

class HostProbe;

enum class LookupSwitch
{
    None,
    Wake,    // "-w "
    IpToMac, // "-m "
    MacToIp  // "-i "
};

// The switch the command line begins with: "-w", "-m" or "-i" in any case, alone or
// followed by a blank and its arguments.
LookupSwitch MatchLookupSwitch(std::string_view commandLine);

// A MAC argument as given: 12 characters become six colon-separated pairs in the case
// given, 17 characters stay as they are; any other length is refused.
std::optional<std::string> NormaliseMacArgument(std::string_view text);

// Blank-separated tokens; runs of blanks count as one separator.
std::vector<std::string> SplitTokens(std::string_view text);

// What a lookup's arguments ask for.
struct LookupRequest
{
    LookupSwitch which = LookupSwitch::None;
    std::string mac;   // -w and -i: the MAC as NormaliseMacArgument gives it
    AddressSpan range; // -m and -i
};

// Reads the text after the switch. False with a message naming the argument at fault:
// a MAC that is not 12 hexadecimal digits or six pairs joined by ':' or '-', a range
// that --scan would refuse, a missing or an extra argument.
bool ParseLookupArguments(LookupSwitch which, std::string_view argument, LookupRequest& request, std::string& error);

// The exit statuses of the lookups besides 0 (done: hosts found, the MAC found, the
// packet sent), 2 (usage) and kWriteErrorExitCode (the file or the answer could not be
// written); 128 + the signal when interrupted.
inline constexpr int kLookupFoundNothing = 1; // -m: no address answered; -i: no match; -w: no packet went out

struct LookupContext
{
    explicit LookupContext(HostProbe& hostProbe) : probe(hostProbe) {}

    HostProbe& probe;
    std::string outputFolder; // where IP2MAC.txt and MAC2IP.txt go; empty: none
    // The Wake-on-LAN sender: 1 when the MAC was accepted, the report says what went out.
    std::function<int(const std::string& mac, WakeSendReport& report)> wake;
    // Where the files go when outputFolder cannot be written (created when missing);
    // empty: nowhere else.
    std::string fallbackFolder;
    // Told where the file went (when tellWhere) and, always, why a lookup failed.
    std::FILE* err = stderr;
    // The answer of -w ("Magic packet sent to ...").
    std::FILE* out = stdout;
    bool tellWhere = false;
    // The signal that asked the lookup to stop (Ctrl-C), 0 while none did; checked
    // between addresses. Empty: never.
    std::function<int()> interrupted;
    // -m's probing of a whole range at once (the scan's paced sweep): fills the lines
    // "IP MAC" of the answering addresses in address order and returns the signal that
    // stopped it (0 when it ran to its end). Empty: -m asks one address after another.
    std::function<int(const AddressSpan& range, std::vector<std::pair<std::uint32_t, std::string>>& found)> sweep;
};

// The folders of the lookup files for a program in `programFolder`: beside the
// program, unless it runs from an installed layout (it never writes into its bin
// folder); the data folder when the first cannot be written.
LookupContext LookupContextFor(HostProbe& probe, const std::string& programFolder, bool installed,
                               const std::string& dataFolder);

// Runs the lookup the command line names. -1 when the command line is not one of them
// (start-up goes on); else the exit status.
int RunCommandLineLookup(std::string_view commandLine, const LookupContext& context);

} // namespace tessvale
