// Base of a service whose work runs as jobs on the JobPool: the running flag and the
// stop logic.
#pragma once

#include <atomic>
#include <string>

namespace tessvale {

class JobPool;
struct JobSlot;

class CServiceBasic
{
public:
    explicit CServiceBasic(JobPool& pool);
    virtual ~CServiceBasic();
    CServiceBasic(const CServiceBasic&) = delete;
    CServiceBasic& operator=(const CServiceBasic&) = delete;

    // The job routine, run on a pool thread with the job's slot.
    virtual int Run(JobSlot& slot) = 0;

    // Sets the running flag and submits one job. Returns 1 when it was already
    // running, else whether the submission succeeded.
    int Start();

    // Clears the running flag, then waits up to 1.5 s for the service's jobs to end.
    // Called from one of those jobs it does not wait: that job's own slot stays busy
    // until it returns. Always returns 1.
    int Stop();

    bool IsRunning() const { return m_running.load() != 0; }

    // Folder of the program's own executable.
    const std::string& ProgramFolder() const { return m_programFolder; }

protected:
    // Clears the running flag without waiting. True when this call cleared the flag.
    bool RequestStop();

    JobPool& m_pool;

private:
    std::atomic<int> m_running{0};
    std::string m_programFolder;
};

} // namespace tessvale
