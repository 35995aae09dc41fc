#include "scan/linux/inventory_child.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <linux/close_range.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/fd_wait.h"
#include "common/unique_fd.h"

namespace tessvale {
namespace {

// The child: runs the work with its pipe as the only descriptor beyond the standard
// ones. Never returns.
[[noreturn]] void RunChild(int out, pid_t parent, const std::function<bool(int)>& work)
{
    // The child holds nothing of the other workers: a copy of another child's pipe would
    // keep that pipe from closing, and copies of their sockets would keep those open.
    constexpr int kOut = STDERR_FILENO + 1;
    if (out != kOut && ::dup2(out, kOut) != kOut) {
        ::_exit(2);
    }
    ::close_range(kOut + 1, ~0U, 0);
    // A fault in the child ends the child; the program's crash report is the parent's.
    for (const int fatal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE}) {
        std::signal(fatal, SIG_DFL);
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(2);
    }
    ::_exit(work(kOut) ? 0 : 1);
}

// One child process: killed and reaped when its owner goes, unless reaped before.
class ChildProcess
{
public:
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}
    ~ChildProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Reap();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits for the child's end (the caller has seen its pipe close). True when it
    // exited with code 0.
    bool Reap()
    {
        int status = 0;
        pid_t ended = -1;
        while ((ended = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t m_pid;
};

} // namespace

std::optional<std::vector<std::uint8_t>> RunInChild(const std::function<bool(int out)>& work,
                                                    std::chrono::steady_clock::time_point deadline,
                                                    std::size_t maxBytes)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        readEnd.Close();
        RunChild(writeEnd.Get(), parent, work);
    }
    writeEnd.Close();
    if (pid < 0) {
        return std::nullopt;
    }
    ChildProcess child(pid);
    std::vector<std::uint8_t> message;
    for (;;) {
        if (!WaitForDescriptor(readEnd.Get(), POLLIN, deadline)) {
            return std::nullopt; // the child ends with its owner
        }
        std::uint8_t buffer[4096];
        const ssize_t size = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (size < 0 && errno == EINTR) {
            continue;
        }
        if (size < 0 || message.size() + static_cast<std::size_t>(size) > maxBytes) {
            return std::nullopt;
        }
        if (size == 0) {
            break;
        }
        message.insert(message.end(), buffer, buffer + size);
    }
    if (!child.Reap()) {
        return std::nullopt;
    }
    return message;
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::optional<std::uint32_t> ChildMessageReader::Number()
{
    std::uint32_t value = 0;
    if (m_message.size() - m_at < sizeof value) {
        return std::nullopt;
    }
    std::memcpy(&value, m_message.data() + m_at, sizeof value);
    m_at += sizeof value;
    return value;
}

std::optional<std::string> ChildMessageReader::Text(std::size_t maxSize)
{
    const std::optional<std::uint32_t> size = Number();
    if (!size || *size > maxSize || m_message.size() - m_at < *size) {
        m_at = m_message.size();
        return std::nullopt;
    }
    std::string text(reinterpret_cast<const char*>(m_message.data() + m_at), *size);
    m_at += *size;
    return text;
}

} // namespace tessvale
