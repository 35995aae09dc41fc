// The arguments of "tessvale --scan [RANGE]... [--threads N] [--timeout MS] [--names LIST]
// [--format tsv|csv|json] [--header] [--sorted] [--against NAME|FILE]". No Qt.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/logic/change_tracking.h"

namespace tessvale {

enum class OutputFormat
{
    Tsv,  // tab-separated, control characters blanked
    Csv,  // RFC 4180 quoting, fields a spreadsheet would take for formulas marked with '
    Json, // one object per line, keys named like the columns
};

// One range of the scan, both ends included, as dotted quads.
struct ScanRange
{
    std::string first;
    std::string last;
};

// The name sources of --names: each on or off.
struct NameSourceChoice
{
    bool netbios = true;
    bool mdns = true;
    bool dns = true;
};

struct HeadlessScanOptions
{
    std::vector<ScanRange> ranges;         // in the order given, disjoint; empty: the first local adapter's range
    std::optional<long long> threads;      // overrides AutoscanThreads for this run
    std::optional<long long> timeoutMs;    // overrides NetbiosTimeoutMSeconds for this run
    std::optional<NameSourceChoice> names; // --names: overrides the name-source settings for this run
    OutputFormat format = OutputFormat::Tsv;
    bool header = false;                // the column names first (tsv and csv)
    bool sorted = false;                // rows in address order at the end instead of as found
    bool progress = false;              // the progress bar on the error stream (set when it is a terminal)
    std::optional<std::string> against; // --against: a stored result's name or a file
    std::optional<std::vector<HostSnapshot>> baseline; // the hosts compared with (read from `against`)
};

enum class HeadlessParse
{
    NotAScan, // the arguments do not ask for a scan
    Scan,
    Error, // a scan was asked for with bad arguments; the message says why
};

// Reads the arguments after the program's path. A range is FIRST LAST (two dotted
// quads) or a CIDR block ("198.18.0.0/24": network + 1 to broadcast - 1); what an
// earlier range covers is left out of a later one, so each address is scanned once,
// and all of them together hold at most kMaxRangeAddresses addresses.
HeadlessParse ParseHeadlessScanArgs(int argc, const char* const* argv, HeadlessScanOptions& options,
                                    std::string& error);

} // namespace tessvale
