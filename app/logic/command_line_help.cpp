#include "app/logic/command_line_help.h"

#include <array>
#include <cstdio>
#include <string_view>

#ifndef TESSVALE_VERSION
#define TESSVALE_VERSION "0.0"
#endif

#include "common/checked_output.h"
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
                       - 1); several ranges may follow, each address is scanned
                       once, at most 16777216 addresses in all. No range: the
                       subnet of the first network adapter.
  --threads N          worker threads for this run, 0 to 256 (the setting stays
                       unchanged)
  --timeout MS         NetBIOS answer timeout for this run, 50 to 60000 ms; the
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
folder when the program's folder cannot be written, as a whole: an earlier file
stays until the new one is complete; on a terminal the program says where it
went, and it always says why it could not be written):
  -m FIRST [LAST]      IP to MAC: "IP MAC" of every answering address of the
                       range into IP2MAC.txt (also -m CIDR); after Ctrl-C the
                       hosts found so far
  -i MAC FIRST [LAST]  MAC to IP: "MAC IP" of the first address with that MAC
                       into MAC2IP.txt (also -i MAC CIDR)
  -w MAC               send a Wake-on-LAN packet to MAC and say where it went
                       MAC: 12 hexadecimal digits (001122AABBCC) or 00:11:22:AA:BB:CC
                       Addresses are read as by --scan: four decimal parts 0-255.
  -uninstall           close the running copy

  -h, --help           show this help and exit
  --version            show the version and exit

Exit status of --scan:
  0    hosts found
  1    no host found
  2    usage error (also for an unknown option, or an --against baseline
       that is missing or unreadable)
  3    with --against: something changed since the baseline
  4    write error: the output could not be written (said once on standard
       error; nothing is said when the reader of a pipe went away)
  130  interrupted (Ctrl-C); 143 for SIGTERM and 129 for SIGHUP, the hosts
       found until then printed and the counts said
Of the lookups: 0 done (hosts found, the MAC found, the packet sent), 1 nothing
found or no packet sent, 2 usage error, 4 write error (the file or the answer),
130 interrupted. --help and --version: 0, or 4 on a write error. A command line
that is none of these forms ends with 2 and opens no window.

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

// Qt's own options, which the window passes to QApplication: those that take a value,
// then those that do not.
constexpr std::array<std::string_view, 14> kQtValueOptions{"-platform",
                                                           "-platformpluginpath",
                                                           "-platformtheme",
                                                           "-plugin",
                                                           "-qwindowgeometry",
                                                           "-qwindowicon",
                                                           "-qwindowtitle",
                                                           "-display",
                                                           "-geometry",
                                                           "-style",
                                                           "-stylesheet",
                                                           "-session",
                                                           "-name",
                                                           "-title"};
constexpr std::array<std::string_view, 5> kQtFlags{"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};

// The command-line forms a mistyped argument is likely to have meant.
constexpr std::array<std::string_view, 4> kLongForms{"--scan", "--help", "--version", "--against"};

bool Listed(std::string_view argument, const auto& list)
{
    for (const std::string_view option : list) {
        if (argument == option) {
            return true;
        }
    }
    return false;
}

// A dotted quad or a CIDR block, roughly: digits, dots and at most one slash.
bool LooksLikeAddress(std::string_view argument)
{
    if (argument.empty() || argument[0] < '0' || argument[0] > '9') {
        return false;
    }
    return argument.find_first_not_of("0123456789./") == std::string_view::npos;
}

std::string Shown(std::string_view argument)
{
    std::string shown;
    for (const char c : argument.substr(0, 60)) {
        shown += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
    }
    return "'" + shown + (argument.size() > 60 ? "...'" : "'");
}

} // namespace

std::string WindowArgumentError(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const std::string_view name = argument.substr(0, argument.find('='));
        if (Listed(name, kQtValueOptions)) {
            if (name.size() == argument.size()) {
                ++i; // the value follows
            }
            continue;
        }
        if (Listed(argument, kQtFlags)) {
            continue;
        }
        if (argument.size() >= 2 && argument[0] == '-' && argument[1] != '-' &&
            Listed("-" + std::string(argument), kLongForms)) {
            return Shown(argument) + " is not an option; did you mean -" + std::string(argument) + "?";
        }
        if (LooksLikeAddress(argument)) {
            return Shown(argument) + " is not an option; a range is scanned with --scan " +
                   std::string(argument.substr(0, 60));
        }
        if (argument.size() == 2 && argument[0] == '-' &&
            std::string_view("mMiIwW").find(argument[1]) != std::string_view::npos) {
            // Reached only when the lookup was not the whole command line.
            return Shown(argument) + " must come first, followed by its arguments";
        }
        return Shown(argument) + " is no option or command of the program";
    }
    return {};
}

int ReportWindowArgumentError(const std::string& message, std::FILE* err)
{
    IgnoreResult(std::fprintf(err, "tessvale: %s\n%s", message.c_str(), kHint));
    return 2;
}

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
            CheckedOutput output(out);
            return output.Write(UsageText()) ? 0 : ReportWriteError(err, output.Error());
        }
        if (argument == "--version") {
            CheckedOutput output(out);
            return output.Write(VersionLine(TESSVALE_VERSION, ReleaseTime()) + "\n")
                       ? 0
                       : ReportWriteError(err, output.Error());
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
        IgnoreResult(std::fprintf(err, "tessvale: %s is an option of --scan\n%s", argv[1], kHint));
    } else {
        IgnoreResult(std::fprintf(err, "tessvale: unknown option '%s'\n%s", argv[1], kHint));
    }
    return 2;
}

} // namespace tessvale
