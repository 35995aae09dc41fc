#include "scan/service_basic.h"

#include <chrono>

#include <unistd.h>

#include "scan/job_pool.h"

namespace tessvale {

namespace {

// The longest Stop waits for the service's jobs to end.
constexpr auto kStopWait = std::chrono::milliseconds(1500);

std::string ExecutableFolder()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    std::string text(path, static_cast<std::size_t>(length));
    const auto slash = text.rfind('/');
    return slash == std::string::npos ? std::string() : text.substr(0, slash);
}

} // namespace

CServiceBasic::CServiceBasic(JobPool& pool) : m_pool(pool), m_programFolder(ExecutableFolder()) {}

CServiceBasic::~CServiceBasic()
{
    RequestStop();
}

int CServiceBasic::Start()
{
    if (m_running.exchange(1) != 0) {
        return 1;
    }
    JobSlot job;
    job.service = this;
    return m_pool.Submit(job) >= 0 ? 1 : 0;
}

bool CServiceBasic::RequestStop()
{
    return m_running.exchange(0) != 0;
}

int CServiceBasic::Stop()
{
    if (!RequestStop()) {
        return 1;
    }
    // The finishing worker stops its own service while it holds that service's lock:
    // waiting here would only keep the other workers queued on the lock.
    if (JobPool::CurrentService() == this) {
        return 1;
    }
    (void)m_pool.WaitIdleFor(this, kStopWait);
    return 1;
}

} // namespace tessvale
