// The scanner without a window: "tessvale --scan FIRST LAST [--threads N]
// [--timeout MS] [--csv]" prints one line per answering host on standard output, as
// it is found, and the online/offline counts on standard error at the end.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "scan/host_record.h"

namespace tessvale {

class ConfigStore;
class HostProbe;
class InventoryQuery;
class JobPool;
class VendorLookup;

struct HeadlessScanOptions
{
    std::string first; // empty together with last: the first local adapter's range
    std::string last;
    std::optional<long long> threads;   // overrides AutoscanThreads for this run
    std::optional<long long> timeoutMs; // overrides NetbiosTimeoutMSeconds for this run
    bool csv = false;
};

enum class HeadlessParse
{
    NotAScan, // the arguments do not ask for a scan
    Scan,
    Error, // a scan was asked for with bad arguments; the message says why
};

// Reads the arguments after the program's path.
HeadlessParse ParseHeadlessScanArgs(int argc, const char* const* argv, HeadlessScanOptions& options,
                                    std::string& error);

// The header line and one host line: the nine list columns, tab-separated, or as CSV
// with RFC 4180 quoting. Each ends with a line feed.
std::string HeadlessHeaderLine(bool csv);
std::string HeadlessHostLine(const HostRecord& record, bool csv);

struct HeadlessScanDeps
{
    JobPool& pool;
    ConfigStore& store; // settings of this run; overrides are never saved
    HostProbe& probe;
    VendorLookup& vendors;
    InventoryQuery* inventory;
};

// Blocks up to the given time; true when the user asked to stop (Ctrl-C).
using InterruptWait = std::function<bool(std::chrono::milliseconds)>;

// Scans options.first..options.last (both set) and writes the table to out, progress
// (when err is a terminal) and the counts to err. Returns the exit code: 0, or 130
// when interrupted.
int RunHeadlessScan(const HeadlessScanOptions& options, HeadlessScanDeps deps, std::FILE* out, std::FILE* err,
                    const InterruptWait& waitForInterrupt);

// The command from the process's arguments: -1 when they do not ask for a scan, else
// the exit code (2 for bad arguments). Runs before any window exists.
int RunHeadlessScanCommand(int argc, char** argv);

} // namespace tessvale
