#include "scan/linux/inventory_child.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/fd_wait.h"
#include "common/paths.h"
#include "common/unique_fd.h"

namespace tessvale {
namespace {

// The program the child runs: the installation's inventory program where there is one
// (it alone loads the SMB and SNMP libraries), else this one, by the kernel's link to the
// running image (the tests, which serve the jobs themselves).
constexpr const char* kSelf = "/proc/self/exe";
constexpr const char* kInventoryProgram = "tessvale-inventory";
// How long a child waits for its request (the parent has written it before the start).
constexpr std::chrono::seconds kRequestWait{10};
// The byte a child sends first, once it runs: the program's start (loading its libraries,
// on a busy machine with many children starting at once) is not the host's time, so the
// deadline for the work counts from there. A start that takes longer than this bound
// gives nothing.
constexpr std::uint8_t kStartMark = 0x5A;
constexpr std::chrono::seconds kStartBound{30};

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

// The spawn's file actions and attributes, released when they go.
class SpawnSettings
{
public:
    SpawnSettings()
    {
        ::posix_spawn_file_actions_init(&m_actions);
        ::posix_spawnattr_init(&m_attributes);
    }
    ~SpawnSettings()
    {
        ::posix_spawn_file_actions_destroy(&m_actions);
        ::posix_spawnattr_destroy(&m_attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    // The child's standard input and output are the given pipe ends, its standard error
    // /dev/null; it holds nothing else of the parent (other workers' pipes and sockets).
    // It starts with no signal blocked and every signal at its default, whatever the
    // parent blocked or ignored.
    bool Prepare(int in, int out)
    {
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        return ::posix_spawn_file_actions_adddup2(&m_actions, in, STDIN_FILENO) == 0 &&
               ::posix_spawn_file_actions_adddup2(&m_actions, out, STDOUT_FILENO) == 0 &&
               ::posix_spawn_file_actions_addopen(&m_actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
               ::posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1) == 0 &&
               ::posix_spawnattr_setsigmask(&m_attributes, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&m_attributes, &all) == 0 &&
               ::posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }
    const posix_spawn_file_actions_t* Actions() const { return &m_actions; }
    const posix_spawnattr_t* Attributes() const { return &m_attributes; }

private:
    posix_spawn_file_actions_t m_actions{};
    posix_spawnattr_t m_attributes{};
};

// The child's program, also for its command line (what ps shows).
const std::string& ChildProgram()
{
    static const std::string path = [] {
        std::string companion = CompanionProgramPath(kInventoryProgram);
        if (!companion.empty()) {
            return companion;
        }
        std::string link(4096, '\0');
        const ssize_t size = ::readlink(kSelf, link.data(), link.size() - 1);
        link.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
        return link.empty() ? std::string(kSelf) : link;
    }();
    return path;
}

// Starts the program as a child serving job; -1 when it could not start.
pid_t SpawnChild(const char* job, int in, int out)
{
    SpawnSettings settings;
    if (!settings.Prepare(in, out)) {
        return -1;
    }
    std::string program = ChildProgram();
    std::string option(kInventoryChildOption);
    std::string jobName(job);
    std::string parent = std::to_string(::getpid());
    char* const arguments[] = {program.data(), option.data(), jobName.data(), parent.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), settings.Actions(), settings.Attributes(), arguments, environ) != 0) {
        return -1;
    }
    return pid;
}

// A descriptor moved above the standard ones, so that the child's standard descriptors
// never overwrite one another's source.
UniqueFd AboveStandard(int fd)
{
    UniqueFd owned(fd);
    if (fd > STDERR_FILENO) {
        return owned;
    }
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}

bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd = AboveStandard(ends[0]);
    writeEnd = AboveStandard(ends[1]);
    return readEnd.Valid() && writeEnd.Valid();
}

// Puts the whole request into the pipe before the child starts: it fits the pipe, so
// nothing waits for the child, and a child that ends early cannot make the write fail
// with SIGPIPE.
bool FillPipe(int writeEnd, const std::vector<std::uint8_t>& request)
{
    const int capacity = ::fcntl(writeEnd, F_GETPIPE_SZ);
    if (capacity < 0 || (static_cast<std::size_t>(capacity) < request.size() &&
                         ::fcntl(writeEnd, F_SETPIPE_SZ, static_cast<int>(request.size())) < 0)) {
        return false;
    }
    const int flags = ::fcntl(writeEnd, F_GETFL);
    return flags >= 0 && ::fcntl(writeEnd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           WriteAll(writeEnd, request.data(), request.size());
}

// Reads fd to its end, bounded in size and time; nullopt past either bound or on error.
std::optional<std::vector<std::uint8_t>> ReadToEnd(int fd, std::chrono::steady_clock::time_point deadline,
                                                   std::size_t maxBytes)
{
    std::vector<std::uint8_t> message;
    for (;;) {
        if (!WaitForDescriptor(fd, POLLIN, deadline)) {
            return std::nullopt;
        }
        std::uint8_t buffer[4096];
        const ssize_t size = ::read(fd, buffer, sizeof buffer);
        if (size < 0 && errno == EINTR) {
            continue;
        }
        if (size < 0 || message.size() + static_cast<std::size_t>(size) > maxBytes) {
            return std::nullopt;
        }
        if (size == 0) {
            return message;
        }
        message.insert(message.end(), buffer, buffer + size);
    }
}

// Waits for the child's start mark; the time the start took, or nullopt when the child
// did not start within kStartBound.
std::optional<std::chrono::steady_clock::duration> AwaitStart(int fd)
{
    const auto spawned = std::chrono::steady_clock::now();
    for (;;) {
        if (!WaitForDescriptor(fd, POLLIN, spawned + kStartBound)) {
            return std::nullopt;
        }
        std::uint8_t mark = 0;
        const ssize_t size = ::read(fd, &mark, sizeof mark);
        if (size < 0 && errno == EINTR) {
            continue;
        }
        if (size != 1 || mark != kStartMark) {
            return std::nullopt;
        }
        return std::chrono::steady_clock::now() - spawned;
    }
}

std::optional<pid_t> ParsePid(std::string_view text)
{
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), pid);
    if (error != std::errc() || end != text.data() + text.size() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

} // namespace

std::optional<std::vector<std::uint8_t>> RunInChild(const char* job, const std::vector<std::uint8_t>& request,
                                                    std::chrono::steady_clock::time_point deadline,
                                                    std::size_t maxBytes)
{
    if (request.size() > kMaxChildRequest) {
        return std::nullopt;
    }
    UniqueFd requestRead;
    UniqueFd requestWrite;
    UniqueFd replyRead;
    UniqueFd replyWrite;
    if (!MakePipe(requestRead, requestWrite) || !MakePipe(replyRead, replyWrite) ||
        !FillPipe(requestWrite.Get(), request) || !requestWrite.Close()) {
        return std::nullopt;
    }
    const pid_t pid = SpawnChild(job, requestRead.Get(), replyWrite.Get());
    requestRead.Close();
    replyWrite.Close();
    if (pid < 0) {
        return std::nullopt;
    }
    ChildProcess child(pid);
    const std::optional<std::chrono::steady_clock::duration> start = AwaitStart(replyRead.Get());
    if (!start) {
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> message = ReadToEnd(replyRead.Get(), deadline + *start, maxBytes);
    if (!message || !child.Reap()) {
        return std::nullopt; // the child ends with its owner
    }
    return message;
}

std::optional<int> ServeChildJob(int argc, char** argv, std::span<const ChildJob> jobs)
{
    if (argc < 2 || argv[1] != kInventoryChildOption) {
        return std::nullopt;
    }
    constexpr int kRefused = 2;
    // The child ends with the parent; a parent gone before this line is caught below.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const std::optional<pid_t> parent = argc == 4 ? ParsePid(argv[3]) : std::nullopt;
    if (!parent || ::getppid() != *parent) {
        // Someone typed it: a child's standard error is /dev/null.
        constexpr std::string_view kInternal = "--inventory-child is for the program's own use\n";
        WriteAll(STDERR_FILENO, kInternal.data(), kInternal.size());
        return kRefused;
    }
    if (!WriteAll(STDOUT_FILENO, &kStartMark, sizeof kStartMark)) {
        return kRefused;
    }
    const std::string_view name = argv[2];
    const auto job = std::find_if(jobs.begin(), jobs.end(), [name](const ChildJob& each) { return each.name == name; });
    if (job == jobs.end()) {
        return kRefused;
    }
    const std::optional<std::vector<std::uint8_t>> request =
        ReadToEnd(STDIN_FILENO, std::chrono::steady_clock::now() + kRequestWait, kMaxChildRequest);
    if (!request) {
        return kRefused;
    }
    ChildMessageReader reader(*request);
    switch (job->run(reader, STDOUT_FILENO)) {
    case ChildJobResult::Done:
        return 0;
    case ChildJobResult::Failed:
        return 1;
    case ChildJobResult::BadRequest:
        break;
    }
    return kRefused;
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

ChildMessageBuilder& ChildMessageBuilder::Number(std::uint32_t value)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    m_bytes.insert(m_bytes.end(), bytes, bytes + sizeof value);
    return *this;
}

ChildMessageBuilder& ChildMessageBuilder::Text(std::string_view text)
{
    Number(static_cast<std::uint32_t>(text.size()));
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
    return *this;
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
