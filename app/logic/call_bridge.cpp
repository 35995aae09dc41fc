#include "app/logic/call_bridge.h"

namespace tessvale {

void CallBridge::CallAndWait(std::function<void()> run)
{
    PendingCall call{std::move(run)};
    {
        const std::lock_guard lock(m_mutex);
        m_calls.push_back(&call);
    }
    m_wake();
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&call] { return call.done; });
}

void CallBridge::RunPending()
{
    for (;;) {
        PendingCall* call = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (m_calls.empty()) {
                return;
            }
            call = m_calls.front();
            m_calls.pop_front();
        }
        call->run();
        {
            const std::lock_guard lock(m_mutex);
            call->done = true;
        }
        m_done.notify_all();
    }
}

} // namespace tessvale
