// The scanner without a window: "tessvale --scan [RANGE]... [--threads N]
// [--timeout MS] [--names LIST] [--format tsv|csv|json] [--header] [--sorted] [--against NAME|FILE]"
// prints one line per answering host on standard output, as it is found or in address
// order, a progress bar on standard error when that is a terminal, and the
// online/offline counts there at the end. With --against each line gets a tenth field,
// the host's change since the baseline, and the baseline's hosts that stayed silent
// get lines of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/logic/change_tracking.h"
#include "app/logic/headless_args.h"
#include "app/logic/range_arguments.h"
#include "app/logic/table_writer.h"
#include "scan/host_record.h"

namespace tessvale {

class ConfigStore;
class HostProbe;
class InventoryQuery;
class JobPool;
class VendorLookup;

// The header line and one host line of the nine list columns in the given format;
// each ends with a line feed. JSON has no header line (empty). With a change (the
// comparison with a baseline), a tenth field "Change" follows the nine.
std::string HeadlessHeaderLine(OutputFormat format, bool withChange = false);
// The table form that writes an output format.
TableForm TableFormOf(OutputFormat format);
std::string HeadlessHostLine(const HostRecord& record, OutputFormat format, const std::string* change = nullptr);

// The progress bar as one line without a line end: a bar, addresses done of total,
// hosts found, the time elapsed and the time the rest should take.
std::string ProgressLine(std::uint64_t done, std::uint64_t total, int found, std::chrono::seconds elapsed);

struct HeadlessScanDeps
{
    JobPool& pool;
    ConfigStore& store; // settings of this run; overrides are never saved
    HostProbe& probe;
    VendorLookup& vendors;
    InventoryQuery* inventory;
};

// Blocks up to the given time (milliseconds::max(): without a limit), or until the
// range's end wakes it; the signal that asked the scan to stop (SIGINT for Ctrl-C,
// SIGTERM, SIGHUP), or 0 when none did.
using InterruptWait = std::function<int(std::chrono::milliseconds)>;
// Ends the InterruptWait that runs now, or else the next one, at once. Any thread.
using WaitWake = std::function<void()>;

// Scans every range of options (at least one) one after the other and writes the table
// to out, progress (when options.progress) and the counts to err. Returns the exit
// code: 0 when hosts were found, 1 when none was, 3 when the scan differs from
// options.baseline (when given; baseline hosts outside the ranges are not compared),
// 128 + the signal when interrupted (130 for Ctrl-C; no host is called gone then),
// kWriteErrorExitCode when standard output could not be written.
// With wake the wait for each range's end has no limit: the end (or a failed write)
// wakes it. Without, it looks at the end every few milliseconds.
int RunHeadlessScan(const HeadlessScanOptions& options, HeadlessScanDeps deps, std::FILE* out, std::FILE* err,
                    const InterruptWait& waitForInterrupt, const WaitWake& wake = {});

// What a command-line run says about the configuration file it loaded, one line each:
// "<path>: not used: <reason>" when the file is there but was not used, else one line
// per setting that was out of its range. Empty when there is nothing to say.
std::vector<std::string> ConfigFileProblems(ConfigStore& store);

// The MAC of every answering address of the range, by the scan's sweep, in address
// order; stops early when waitForInterrupt reports a signal, which it returns (else 0).
// No vendor, no inventory: only the addresses and MACs are wanted.
int SweepForMacs(const AddressSpan& range, JobPool& pool, ConfigStore& store, HostProbe& probe,
                 const InterruptWait& waitForInterrupt, std::vector<std::pair<std::uint32_t, std::string>>& found);

// The command from the process's arguments: -1 when they do not ask for a scan, else
// the exit code (2 for bad arguments). Runs before any window exists.
int RunHeadlessScanCommand(int argc, char** argv);

} // namespace tessvale
