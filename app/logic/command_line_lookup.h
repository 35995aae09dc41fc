// The lookups the command line offers without a window: "-w " MAC wakes a host,
// "-m " first [last] writes the MAC of every answering address to IP2MAC.txt,
// "-i " MAC first [last] writes the address holding the MAC to MAC2IP.txt.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

class HostProbe;

enum class LookupSwitch
{
    None,
    Wake,    // "-w "
    IpToMac, // "-m "
    MacToIp  // "-i "
};

// The switch the command line begins with; the first three characters are compared
// without regard to case.
LookupSwitch MatchLookupSwitch(std::string_view commandLine);

// A MAC argument as given: 12 characters become six colon-separated pairs in the case
// given, 17 characters stay as they are; any other length is refused.
std::optional<std::string> NormaliseMacArgument(std::string_view text);

// Blank-separated tokens; runs of blanks count as one separator.
std::vector<std::string> SplitTokens(std::string_view text);

struct LookupContext
{
    HostProbe& probe;
    std::string outputFolder;                        // where IP2MAC.txt and MAC2IP.txt go; empty: none
    std::function<int(const std::string& mac)> wake; // the Wake-on-LAN sender
    // Where the files go when outputFolder cannot be written (created when missing);
    // empty: nowhere else.
    std::string fallbackFolder;
    // Told where the file went, or why none could be written; null: nobody.
    std::FILE* report = nullptr;
};

// The folders of the lookup files for a program in `programFolder`: beside the
// program, unless it runs from an installed layout (it never writes into its bin
// folder); the data folder when the first cannot be written.
LookupContext LookupContextFor(HostProbe& probe, const std::string& programFolder, bool installed,
                               const std::string& dataFolder);

// Runs the lookup the command line names. Returns false when the command line is not
// one of them (start-up goes on); true when it was handled, whether or not a file was
// written (start-up then ends).
bool RunCommandLineLookup(std::string_view commandLine, const LookupContext& context);

} // namespace tessvale
