// The failure information a failing process leaves for its dump writer.
//
// The failing thread fills one of these in static storage and hands its address to the
// writer ("-e ADDRESS"); the writer, a copy of the same executable, reads it from the
// failing process's memory. It carries the signal and the processor context at the
// failure, so the core shows the failing instruction rather than the handler.
#pragma once

#include <csignal>
#include <cstdint>
#include <ucontext.h>

namespace tessvale {

inline constexpr std::uint64_t kCrashReportMagic = 0x54565f4352415348ULL; // "TV_CRASH"

struct CrashReport
{
    std::uint64_t magic; // kCrashReportMagic once the fields below are filled
    int signal;          // the fatal signal; SIGABRT for failures without one
    siginfo_t info;      // as the kernel delivered it; zero for failures without a signal
    ucontext_t context;  // the interrupted context, or a snapshot taken in the handler
};

} // namespace tessvale
