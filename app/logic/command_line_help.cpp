#include "app/logic/command_line_help.h"

#include <array>
#include <cstdio>
#include <string_view>

#ifndef TESSVALE_VERSION
#define TESSVALE_VERSION "0.0"
#endif

#include "common/update_check.h"

namespace tessvale {
namespace {

constexpr char kUsage[] = R"(Usage: tessvale
       tessvale --scan [RANGE]... [--threads N] [--timeout MS] [--names LIST]
                [--format tsv|csv|json] [--csv] [--header] [--sorted]
                [--against NAME|FILE]
       tessvale -m FIRST [LAST]
       tessvale -i MAC FIRST [LAST]
       tessvale -w MAC
       tessvale -uninstall
       tessvale --help | --version

Scans IPv4 addresses of the local network and lists every host that answers: its
MAC address, name and adapter vendor, and with credentials its inventory. The name
is the host's NetBIOS name, else its multicast DNS name (asked of the host itself),
else the name its reverse DNS lookup gives (the servers of /etc/resolv.conf).
Without arguments it opens the main window, or shows the copy that already runs.

Scan without a window:
  --scan [RANGE]...    print one line per answering host on standard output, as
                       found; progress and "Online:n/Offline:n" on standard error.
                       RANGE is FIRST LAST (two addresses, both included) or a
                       CIDR block such as 198.18.0.0/24 (network + 1 to broadcast
                       - 1); several ranges may follow. No range: the subnet of
                       the first network adapter.
  --threads N          worker threads for this run (the setting stays unchanged)
  --timeout MS         NetBIOS answer timeout in milliseconds for this run; the
                       mDNS and DNS names must come within the same wait
  --names LIST         the name sources of this run: a comma-separated list of
                       netbios, mdns and dns, or none (default: the settings,
                       all three unless switched off there)
  --format FORMAT      tsv (the default), csv, or json (one object per line,
                       keys named like the columns, and "names" with each
                       name by source, "services" with the DNS-SD service
                       types the host advertises); csv marks fields that
                       start with = + - @ with a leading ' (not a lone -)
  --csv                the same as --format csv
  --header             print the column names first (tsv and csv)
  --sorted             print the hosts in address order (default: as found)
  --against NAME|FILE  compare with a baseline: the stored result of that exact
                       name, else an earlier --scan output file (tsv, csv or
                       json, with or without header). Each line gets a tenth
                       field, Change: empty, new, MAC changed, name changed or
                       conflict (two MACs answered for the address); baseline
                       hosts of the ranges that stayed silent are printed too,
                       with their old MAC and name, as gone

Lookups (no window; the file is written beside the program, or in the data
folder when the program's folder cannot be written; on a terminal the program
says where it went):
  -m FIRST [LAST]      IP to MAC: "IP MAC" of every answering address of the
                       range into IP2MAC.txt
  -i MAC FIRST [LAST]  MAC to IP: "MAC IP" of the first address with that MAC
                       into MAC2IP.txt
  -w MAC               send a Wake-on-LAN packet to MAC
                       MAC: 12 hexadecimal digits (001122AABBCC) or 00:11:22:AA:BB:CC
  -uninstall           close the running copy

  -h, --help           show this help and exit
  --version            show the version and exit

Exit status of --scan:
  0    hosts found
  1    no host found
  2    usage error (also for an unknown option, or an --against baseline
       that is missing or unreadable)
  3    with --against: something changed since the baseline
  130  interrupted (Ctrl-C)
The other forms end with 0.

Files: settings, stored results and favorites in $APPDATA/Tessvale/Tessvale.xml,
else $XDG_CONFIG_HOME/Tessvale, else ~/.config/Tessvale; the vendor listing is
oui.txt there, else /usr/share/ieee-data/oui.txt. See tessvale(1).
)";

constexpr char kHint[] = "Try 'tessvale --help' for more information.\n";

// Options that only mean something after "--scan".
constexpr std::array<std::string_view, 8> kScanOptions{"--threads", "--timeout", "--format",  "--csv",
                                                       "--header",  "--sorted",  "--against", "--names"};

bool IsScanOption(std::string_view argument)
{
    for (const std::string_view option : kScanOptions) {
        if (argument == option) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string UsageText()
{
    return kUsage;
}

std::string VersionLine(const std::string& version, const std::string& releaseTime)
{
    // "YYYY-MM-DD hh:mm:ss" gives YYYYMMDD.
    std::string build;
    if (releaseTime.size() >= 10 && releaseTime[4] == '-' && releaseTime[7] == '-') {
        build = releaseTime.substr(0, 4) + releaseTime.substr(5, 2) + releaseTime.substr(8, 2);
        for (const char c : build) {
            if (c < '0' || c > '9') {
                build.clear();
                break;
            }
        }
    }
    return "tessvale " + version + " (build " + (build.empty() ? std::string("unknown") : build) + ")";
}

std::optional<int> RunInformationalOption(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            const std::string usage = UsageText();
            std::fwrite(usage.data(), 1, usage.size(), out);
            std::fflush(out);
            return 0;
        }
        if (argument == "--version") {
            const std::string line = VersionLine(TESSVALE_VERSION, ReleaseTime()) + "\n";
            std::fwrite(line.data(), 1, line.size(), out);
            std::fflush(out);
            return 0;
        }
    }
    if (argc < 2) {
        return std::nullopt;
    }
    const std::string_view first = argv[1];
    if (first.substr(0, 2) != "--" || first == "--scan") {
        return std::nullopt;
    }
    if (IsScanOption(first)) {
        std::fprintf(err, "tessvale: %s is an option of --scan\n%s", argv[1], kHint);
    } else {
        std::fprintf(err, "tessvale: unknown option '%s'\n%s", argv[1], kHint);
    }
    return 2;
}

} // namespace tessvale
