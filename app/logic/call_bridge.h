// Hands calls from worker threads to one owner thread and waits for them: a worker's
// call is queued, the owner is woken (by a function the owner gives, which may post an
// event), and the worker goes on only after the owner has run it. The owner runs the
// queue whenever it is woken, and also from inside a call (a stop that drains the
// workers serves their calls while it waits). No Qt.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace tessvale {

class CallBridge
{
public:
    // `wake` is called on the worker's thread after its call was queued; it must make
    // the owner call RunPending soon.
    explicit CallBridge(std::function<void()> wake) : m_wake(std::move(wake)) {}
    CallBridge(const CallBridge&) = delete;
    CallBridge& operator=(const CallBridge&) = delete;

    // A worker thread: queues `run` for the owner and returns once the owner has run it.
    void CallAndWait(std::function<void()> run);
    // The owner thread: runs the queued calls in the order they came, including those
    // queued while it runs. Safe to call from inside a call it runs.
    void RunPending();

private:
    struct PendingCall
    {
        std::function<void()> run;
        bool done = false;
    };

    std::function<void()> m_wake;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<PendingCall*> m_calls; // guarded by m_mutex
};

} // namespace tessvale
