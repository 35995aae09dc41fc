// The engine's calls into the main window as a scan worker makes them: from a thread of
// its own, while the test's thread serves the window, which runs each call on its own
// thread before the call returns.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include <QCoreApplication>

#include "scan/scan_window.h"

namespace tessvale::test {

// Runs `call` on a thread of its own and serves this thread's events until it returns.
inline void CallFromWorker(const std::function<void()>& call)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        call();
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    worker.join();
}

// An answering host, sent from a worker as the engine sends it.
inline void HostFoundFromWorker(ScanWindow& window, const HostRecord& record)
{
    CallFromWorker([&window, &record] { window.HostFound(record); });
}

} // namespace tessvale::test
