#include "common/crash_handler.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <strings.h>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "common/core_dump.h"
#include "common/crash_report.h"
#include "common/paths.h"
#include "common/text_util.h"

extern char** environ;

namespace tessvale {
namespace {

// The signals that end the program with a dump. SIGINT and SIGTERM are ordinary ways to
// end a process here and keep their default action.
constexpr int kFatalSignals[] = {SIGABRT, SIGFPE, SIGILL, SIGSEGV, SIGBUS};
constexpr std::size_t kAlternateStackSize = std::size_t{64} * 1024;
constexpr std::size_t kPathCapacity = 4096;
constexpr std::size_t kDumpPathCapacity = 512; // characters of a dump file's path, terminator included

// Everything the signal path needs is prepared at installation, because that path may
// neither allocate nor take a lock that the failing thread might hold.
char g_programPath[kPathCapacity];
char g_programFolder[kPathCapacity];
char g_dumpSwitch[] = "-dump";
char g_pidSwitch[] = "-p";
char g_addressSwitch[] = "-e";
char g_threadSwitch[] = "-t";
char g_pidText[24];
char g_addressText[24];
char g_threadText[24];
char* g_writerArguments[] = {g_programPath, g_dumpSwitch,   g_pidSwitch,  g_pidText, g_addressSwitch,
                             g_addressText, g_threadSwitch, g_threadText, nullptr};

std::atomic<bool> g_installed{false};
std::atomic<pid_t> g_failingThread{0}; // the one thread allowed to start the writer
bool g_writerStarted = false;          // touched only by the failing thread
CrashReport g_report;                  // filled only by the failing thread

pid_t CurrentThreadId()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// Decimal and hexadecimal forms without the formatting functions of the C library,
// which are not safe in a signal handler.
void FormatDecimal(char* buffer, std::size_t capacity, long value)
{
    char digits[24];
    std::size_t count = 0;
    const bool negative = value < 0;
    unsigned long magnitude = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 && count < sizeof digits);
    std::size_t at = 0;
    if (negative && at + 1 < capacity) {
        buffer[at++] = '-';
    }
    while (count > 0 && at + 1 < capacity) {
        buffer[at++] = digits[--count];
    }
    buffer[at] = '\0';
}

void FormatAddress(char* buffer, std::size_t capacity, std::uintptr_t value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    char digits[2 * sizeof value];
    std::size_t count = 0;
    do {
        digits[count++] = kHex[value & 0xF];
        value >>= 4;
    } while (value != 0 && count < sizeof digits);
    std::size_t at = 0;
    buffer[at++] = '0';
    buffer[at++] = 'x';
    while (count > 0 && at + 1 < capacity) {
        buffer[at++] = digits[--count];
    }
    buffer[at] = '\0';
}

// Only the first failing thread goes on; every other one waits here until the process
// ends. A failure inside the handler of the failing thread ends the process at once.
void EnterFailure()
{
    const pid_t self = CurrentThreadId();
    pid_t owner = 0;
    if (g_failingThread.compare_exchange_strong(owner, self)) {
        return;
    }
    if (owner == self) {
        if (g_writerStarted) {
            _exit(1);
        }
        return;
    }
    for (;;) {
        pause();
    }
}

// The child between clone and exec: async-signal-safe calls only.
[[noreturn]] void RunWriterChild(int gateRead)
{
    char go = 0;
    while (read(gateRead, &go, 1) < 0 && errno == EINTR) {
    }
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    const int nullDevice = open("/dev/null", O_RDWR);
    if (nullDevice >= 0) {
        dup2(nullDevice, STDIN_FILENO);
        dup2(nullDevice, STDOUT_FILENO);
        dup2(nullDevice, STDERR_FILENO);
    }
    if (chdir(g_programFolder) != 0) {
        // The writer does not depend on its working folder.
    }
    execve(g_programPath, g_writerArguments, environ);
    _exit(127);
}

[[noreturn]] void Fail(int signal, const siginfo_t* info, const void* context)
{
    EnterFailure();
    std::memset(&g_report, 0, sizeof g_report);
    g_report.signal = signal;
    if (info != nullptr) {
        std::memcpy(&g_report.info, info, sizeof g_report.info);
    }
    if (context != nullptr) {
        std::memcpy(&g_report.context, context, sizeof g_report.context);
    } else {
        getcontext(&g_report.context);
    }
    g_report.magic = kCrashReportMagic;
    SpawnDumpWriter(&g_report);
}

void OnFatalSignal(int signal, siginfo_t* info, void* context)
{
    Fail(signal, info, context);
}

// Failures that come without a signal are reported as the abort they would otherwise end in.
void OnTerminate()
{
    Fail(SIGABRT, nullptr, nullptr);
}

void OnAllocationFailure()
{
    Fail(SIGABRT, nullptr, nullptr);
}

// An alternate signal stack for one thread, released when the thread ends.
class AlternateStack
{
public:
    AlternateStack()
    {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
            return; // the thread has one already
        }
        const auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* memory = mmap(nullptr, kAlternateStackSize + pageSize, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED) {
            return;
        }
        mprotect(memory, pageSize, PROT_NONE); // a guard page below the stack
        stack_t stack{};
        stack.ss_sp = static_cast<char*>(memory) + pageSize;
        stack.ss_size = kAlternateStackSize;
        if (sigaltstack(&stack, nullptr) != 0) {
            munmap(memory, kAlternateStackSize + pageSize);
            return;
        }
        m_memory = memory;
        m_size = kAlternateStackSize + pageSize;
    }
    ~AlternateStack()
    {
        if (m_memory != nullptr) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
            munmap(m_memory, m_size);
        }
    }
    AlternateStack(const AlternateStack&) = delete;
    AlternateStack& operator=(const AlternateStack&) = delete;

private:
    void* m_memory = nullptr;
    std::size_t m_size = 0;
};

bool PrepareWriterCommand()
{
    const ssize_t length = readlink("/proc/self/exe", g_programPath, sizeof g_programPath - 1);
    if (length <= 0) {
        return false;
    }
    g_programPath[length] = '\0';
    std::memcpy(g_programFolder, g_programPath, static_cast<std::size_t>(length) + 1);
    char* slash = std::strrchr(g_programFolder, '/');
    if (slash != nullptr) {
        *(slash == g_programFolder ? slash + 1 : slash) = '\0';
    }
    return true;
}

void InstallHandlers()
{
    std::set_new_handler(OnAllocationFailure);
    struct sigaction action
    {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    for (int signal : kFatalSignals) {
        sigaction(signal, &action, nullptr);
        if (signal == SIGABRT) {
            std::set_terminate(OnTerminate);
        }
    }
}

// "%04d-%02d-%02d-%02d-%02d-%02d-%02d-%02d.dmp" in the dump folder: local time to the
// millisecond and a random number below 100. Empty when the folder's path is too long for
// it: a cut path would name another file, or a file in another folder.
std::string DumpFilePath(const std::string& folder)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char path[kDumpPathCapacity];
    const int length =
        std::snprintf(path, sizeof path, "%s/%04d-%02d-%02d-%02d-%02d-%02d-%02d-%02d.dmp", folder.c_str(),
                      local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                      static_cast<int>(now.tv_nsec / 1000000), std::rand() % 100);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) {
        return {};
    }
    return path;
}

// The dumps kept in the folder: each is several megabytes, and a program that fails
// again and again must not fill the disk.
constexpr std::size_t kKeptDumps = 5;

// Removes the oldest dumps so that `keep` remain. Their names begin with the time they
// were written, so the name order is their age.
void RemoveOldDumps(const std::string& folder, std::size_t keep)
{
    std::vector<std::string> dumps;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dmp") == 0 && it->is_regular_file(error)) {
            dumps.push_back(it->path().string());
        }
    }
    if (dumps.size() <= keep) {
        return;
    }
    std::sort(dumps.begin(), dumps.end());
    for (std::size_t i = 0; i + keep < dumps.size(); ++i) {
        std::filesystem::remove(dumps[i], error);
    }
}

} // namespace

CCrashHandler::~CCrashHandler() = default;

bool InstallCrashHandler(int argc, char** argv)
{
    if (argc >= 2 && strncasecmp(argv[1], "-dump", 5) == 0) {
        WriteCrashDump(CommandLineText(argc, argv));
        return false;
    }
    static const std::unique_ptr<CCrashHandler> handler = [] {
        auto instance = std::make_unique<CCrashHandler>();
        if (PrepareWriterCommand()) {
            g_installed = true;
        }
        InstallHandlers();
        return instance;
    }();
    InstallThreadCrashHandler();
    return true;
}

void InstallThreadCrashHandler()
{
    if (!g_installed) {
        return;
    }
    thread_local AlternateStack stack;
}

void SpawnDumpWriter(const void* exceptionInformation)
{
    EnterFailure();
    if (g_writerStarted) {
        _exit(1);
    }
    g_writerStarted = true;
    if (g_installed) {
        FormatDecimal(g_pidText, sizeof g_pidText, getpid());
        FormatAddress(g_addressText, sizeof g_addressText, reinterpret_cast<std::uintptr_t>(exceptionInformation));
        FormatDecimal(g_threadText, sizeof g_threadText, CurrentThreadId());
        // The writer waits at this gate until it may trace this process (Yama's
        // ptrace_scope 1 allows only a declared tracer to attach to its parent).
        int gate[2];
        if (pipe2(gate, O_CLOEXEC) == 0) {
            // A plain clone rather than fork(): fork runs the atfork handlers and takes the
            // allocator's locks, which the failing thread may be holding.
            const long child = syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, 0);
            if (child == 0) {
                close(gate[1]);
                RunWriterChild(gate[0]);
            }
            close(gate[0]);
            if (child > 0) {
                prctl(PR_SET_PTRACER, static_cast<unsigned long>(child), 0, 0, 0);
                const char go = 1;
                while (write(gate[1], &go, 1) < 0 && errno == EINTR) {
                }
                close(gate[1]);
                int status = 0;
                while (waitpid(static_cast<pid_t>(child), &status, 0) < 0 && errno == EINTR) {
                }
            } else {
                close(gate[1]);
            }
        }
    }
    _exit(1);
}

bool WriteCrashDump(const std::string& arguments)
{
    long pid = 0;
    void* address = nullptr;
    long thread = 0;
    // The handler always names all three; a command without them has no process to dump.
    if (arguments.size() < 5 ||
        std::sscanf(arguments.c_str() + 5, " -p %ld -e %p -t %ld", &pid, &address, &thread) != 3) {
        return false;
    }
    const std::string folder = ProgramSubfolder("dump");
    if (folder.empty()) {
        return false;
    }
    // Without a seed every writer would draw the same number, and two dumps written in
    // the same millisecond would always replace one another.
    std::srand(static_cast<unsigned>(getpid()) ^ static_cast<unsigned>(std::time(nullptr)));
    const std::string path = DumpFilePath(folder);
    if (path.empty()) {
        return false;
    }
    // The core holds the process's memory, credentials included: owner only.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const int error = WriteProcessCore(static_cast<pid_t>(pid), static_cast<pid_t>(thread),
                                       reinterpret_cast<std::uintptr_t>(address), fd);
    if (error != 0) {
        // The file carries the reason instead of a core. The GNU strerror_r returns the
        // text, in buffer or in static storage.
        char buffer[256];
        const char* text = strerror_r(error, buffer, sizeof buffer);
        if (ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0) {
            const ssize_t written = write(fd, text, std::strlen(text));
            (void)written;
        }
    }
    close(fd);
    RemoveOldDumps(folder, kKeptDumps);
    return error == 0;
}

} // namespace tessvale
