#include "app/logic/stop_signals.h"

#include <cstdio>
#include <ctime>
#include <thread>

#include <unistd.h>

namespace tessvale {
namespace {

// Wakes the scan command's wait for the end of a range (blocked like the stop signals).
constexpr int kWakeSignal = SIGUSR1;

} // namespace

StopSignals::StopSignals() : m_waiter(pthread_self())
{
    sigemptyset(&m_stops);
    sigaddset(&m_stops, SIGINT);
    sigaddset(&m_stops, SIGTERM);
    sigaddset(&m_stops, SIGHUP);
    m_signals = m_stops;
    sigaddset(&m_signals, kWakeSignal);
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
}

StopSignals::~StopSignals()
{
    // A wake nobody waited for any more would end the process once unblocked.
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, kWakeSignal);
    const timespec now{};
    while (sigtimedwait(&wake, nullptr, &now) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}

int StopSignals::Wait(std::chrono::milliseconds timeout)
{
    int signal = -1;
    if (timeout == std::chrono::milliseconds::max()) {
        signal = sigwaitinfo(&m_signals, nullptr);
    } else {
        timespec wait{};
        wait.tv_sec = static_cast<time_t>(timeout.count() / 1000);
        wait.tv_nsec = static_cast<long>(timeout.count() % 1000) * 1000000L;
        signal = sigtimedwait(&m_signals, nullptr, &wait);
    }
    if (signal <= 0 || signal == kWakeSignal) {
        return 0;
    }
    if (!m_watching) {
        m_watching = true;
        // The signals stay blocked in every thread: this one takes the next stop.
        std::thread([signals = m_stops] {
            int second = 0;
            while (sigwait(&signals, &second) != 0) {
            }
            // The user asked twice: the process ends with the signal's status whether
            // or not the lines still buffered get out.
            static_cast<void>(std::fflush(stdout));
            _exit(128 + second);
        }).detach();
    }
    return signal;
}

void StopSignals::Wake() const
{
    pthread_kill(m_waiter, kWakeSignal);
}

} // namespace tessvale
