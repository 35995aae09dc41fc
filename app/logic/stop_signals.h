// The stop signals of a command-line run, taken by a waiting thread instead of ending
// the process.
#pragma once

#include <chrono>
#include <csignal>
#include <pthread.h>

namespace tessvale {

// Blocks SIGINT, SIGTERM and SIGHUP in this thread and in every thread started while
// it lives, so that they reach the scan command through sigtimedwait instead of ending
// the process in the middle of a line: the hosts found are printed and the counts
// said. Once one came, a second one ends the process at once, as a user pressing
// Ctrl-C again expects while the scan drains.
class StopSignals
{
public:
    // Blocks the signals, in this thread and in those it starts from now on.
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    // Takes a wake nobody waited for, then restores the mask of before.
    ~StopSignals();

    // The stop signal that came within the time (milliseconds::max(): without a limit),
    // 0 for a wake or when the time is up.
    int Wait(std::chrono::milliseconds timeout);

    // Ends the waiting thread's Wait (any thread): the signal waits for it if needed.
    void Wake() const;

private:
    sigset_t m_stops{};   // SIGINT, SIGTERM, SIGHUP
    sigset_t m_signals{}; // those and the wake
    sigset_t m_previous{};
    bool m_watching = false;
    pthread_t m_waiter;
};

} // namespace tessvale
