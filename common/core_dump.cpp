// ELF core file of a stopped process, in the layout the Linux kernel uses for its own
// core dumps (see core(5) and the ELF gABI), so that gdb reads it like one:
//
//   Elf64_Ehdr (ET_CORE)
//   Elf64_Phdr PT_NOTE, then one PT_LOAD per mapping (p_filesz may be less than p_memsz:
//              the rest is read by the debugger from the mapped file)
//   notes:     per thread NT_PRSTATUS + NT_PRFPREG, the failing thread first and followed
//              by NT_PRPSINFO, NT_SIGINFO, NT_AUXV and NT_FILE; every note is
//              { namesz, descsz, type, "CORE\0" padded to 4, desc padded to 4 }
//   memory:    the dumped bytes of each PT_LOAD, each block starting on a page boundary
#include "common/core_dump.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/procfs.h>
#include <sys/ptrace.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/crash_report.h"
#include "common/file_util.h"
#include "common/linux/core_registers.h"
#include "common/unique_fd.h"

namespace tessvale {
namespace {

// Anonymous mappings larger than this are left out unless a thread's stack is in them:
// a backtrace needs the stacks and the program's data, not a huge heap arena.
constexpr std::uint64_t kLargeMappingLimit = 512ULL << 20;
constexpr std::size_t kCopyChunk = 1 << 20;
constexpr Elf64_Word kNoteFile = 0x46494c45;    // NT_FILE, "FILE"
constexpr Elf64_Word kNoteSiginfo = 0x53494749; // NT_SIGINFO, "SIGI"

struct ThreadState
{
    pid_t tid = 0;
    int pendingSignal = 0; // a signal the stop took from the thread: given back at detach
    elf_gregset_t registers{};
    elf_fpregset_t fpRegisters{};
    bool hasFpRegisters = false;
};

struct Mapping
{
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t offset = 0;
    bool readable = false;
    bool writable = false;
    bool executable = false;
    std::string path;
    bool changedPages = false; // some pages were written and are no longer the file's
    std::uint64_t dumpedSize = 0;
};

std::vector<pid_t> ListThreads(pid_t pid)
{
    std::vector<pid_t> threads;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        return threads;
    }
    while (const dirent* entry = readdir(directory)) {
        char* end = nullptr;
        const long tid = std::strtol(entry->d_name, &end, 10);
        if (tid > 0 && *end == '\0') {
            threads.push_back(static_cast<pid_t>(tid));
        }
    }
    closedir(directory);
    std::sort(threads.begin(), threads.end());
    return threads;
}

// Lets a traced thread go on, with the signal its stop took from it (0 for none).
void Detach(pid_t tid, int signal)
{
    // NOLINTNEXTLINE(performance-no-int-to-ptr): ptrace(2) takes the signal number in its data pointer
    ptrace(PTRACE_DETACH, tid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
}

// Every thread of a process, stopped under ptrace for as long as this object lives.
class ProcessAttachment
{
public:
    explicit ProcessAttachment(pid_t pid) : m_pid(pid) {}
    ~ProcessAttachment()
    {
        for (const ThreadState& thread : m_threads) {
            Detach(thread.tid, thread.pendingSignal);
        }
    }
    ProcessAttachment(const ProcessAttachment&) = delete;
    ProcessAttachment& operator=(const ProcessAttachment&) = delete;

    // Stops every thread, also those started while attaching. 0 or an errno value.
    int AttachAll()
    {
        if (m_pid <= 0) {
            return ESRCH;
        }
        std::set<pid_t> seen;
        int firstError = 0;
        for (int round = 0; round < 1000; ++round) {
            const std::vector<pid_t> threads = ListThreads(m_pid);
            if (threads.empty() && round == 0) {
                return errno == ENOENT || errno == 0 ? ESRCH : errno;
            }
            bool added = false;
            for (pid_t tid : threads) {
                if (!seen.insert(tid).second) {
                    continue;
                }
                added = true;
                const int error = Attach(tid);
                if (error != 0 && firstError == 0) {
                    firstError = error;
                }
            }
            if (!added) {
                break;
            }
        }
        return m_threads.empty() ? (firstError != 0 ? firstError : ESRCH) : 0;
    }

    std::vector<ThreadState>& Threads() { return m_threads; }
    const std::vector<ThreadState>& Threads() const { return m_threads; }

private:
    int Attach(pid_t tid)
    {
        if (ptrace(PTRACE_SEIZE, tid, nullptr, nullptr) != 0) {
            return errno;
        }
        ThreadState thread;
        thread.tid = tid;
        if (ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr) != 0) {
            const int error = errno;
            Detach(tid, 0);
            return error;
        }
        int status = 0;
        pid_t waited = -1;
        do {
            waited = waitpid(tid, &status, __WALL);
        } while (waited < 0 && errno == EINTR);
        if (waited < 0) {
            return errno;
        }
        if (!WIFSTOPPED(status)) {
            return ESRCH; // the thread ended meanwhile
        }
        const bool interruptStop = (status >> 16) == PTRACE_EVENT_STOP;
        if (!interruptStop && WSTOPSIG(status) != SIGTRAP) {
            thread.pendingSignal = WSTOPSIG(status);
        }
        iovec vector{&thread.registers, sizeof thread.registers};
        if (ptrace(PTRACE_GETREGSET, tid, reinterpret_cast<void*>(NT_PRSTATUS), &vector) != 0) {
            const int error = errno;
            Detach(tid, thread.pendingSignal);
            return error;
        }
        vector = {&thread.fpRegisters, sizeof thread.fpRegisters};
        thread.hasFpRegisters = ptrace(PTRACE_GETREGSET, tid, reinterpret_cast<void*>(NT_PRFPREG), &vector) == 0;
        m_threads.push_back(thread);
        return 0;
    }

    pid_t m_pid;
    std::vector<ThreadState> m_threads;
};

std::vector<Mapping> ReadMappings(pid_t pid)
{
    std::vector<Mapping> mappings;
    // smaps rather than maps: its "Anonymous" count tells which file mappings were
    // written to, such as the relocation data made read-only after start-up.
    std::ifstream maps("/proc/" + std::to_string(pid) + "/smaps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long long anonymousKb = 0;
        if (std::sscanf(line.c_str(), "Anonymous: %llu kB", &anonymousKb) == 1) {
            if (!mappings.empty() && anonymousKb > 0) {
                mappings.back().changedPages = true;
            }
            continue;
        }
        Mapping mapping;
        char permissions[8] = {};
        unsigned long long start = 0;
        unsigned long long end = 0;
        unsigned long long offset = 0;
        int pathStart = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx %7s %llx %*s %*s %n", &start, &end, permissions, &offset, &pathStart) <
            4) {
            continue;
        }
        mapping.start = start;
        mapping.end = end;
        mapping.offset = offset;
        mapping.readable = permissions[0] == 'r';
        mapping.writable = permissions[1] == 'w';
        mapping.executable = permissions[2] == 'x';
        if (pathStart > 0 && static_cast<std::size_t>(pathStart) <= line.size()) {
            mapping.path = line.substr(static_cast<std::size_t>(pathStart));
        }
        mappings.push_back(mapping);
    }
    return mappings;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// How many bytes of a mapping go into the core, the way the kernel's default filter
// decides: all private and anonymous data, only the ELF header page of unchanged files.
std::uint64_t DumpedSize(const Mapping& mapping, long pageSize, const std::vector<std::uint64_t>& stackPointers)
{
    const std::uint64_t size = mapping.end - mapping.start;
    if (!mapping.readable || mapping.path == "[vvar]" || mapping.path == "[vvar_vclock]") {
        return 0;
    }
    if (mapping.path.rfind("/dev/", 0) == 0 && mapping.path.rfind("/dev/zero", 0) != 0) {
        return 0; // device memory: reading it may have effects
    }
    const bool unchangedFile = mapping.path.rfind('/', 0) == 0 && !mapping.writable && !mapping.changedPages &&
                               !EndsWith(mapping.path, " (deleted)");
    if (unchangedFile) {
        return mapping.offset == 0 ? std::min<std::uint64_t>(size, static_cast<std::uint64_t>(pageSize)) : 0;
    }
    if (size > kLargeMappingLimit) {
        const bool holdsStack = std::any_of(stackPointers.begin(), stackPointers.end(),
                                            [&](std::uint64_t sp) { return sp >= mapping.start && sp < mapping.end; });
        if (!holdsStack) {
            return 0;
        }
    }
    return size;
}

void AppendNote(std::vector<char>& notes, Elf64_Word type, const void* description, std::size_t size)
{
    static constexpr char kName[] = "CORE";
    const auto pad = [&notes] {
        while (notes.size() % 4 != 0) {
            notes.push_back('\0');
        }
    };
    Elf64_Nhdr header{};
    header.n_namesz = sizeof kName;
    header.n_descsz = static_cast<Elf64_Word>(size);
    header.n_type = type;
    const char* headerBytes = reinterpret_cast<const char*>(&header);
    notes.insert(notes.end(), headerBytes, headerBytes + sizeof header);
    notes.insert(notes.end(), kName, kName + sizeof kName);
    pad();
    const char* bytes = static_cast<const char*>(description);
    notes.insert(notes.end(), bytes, bytes + size);
    pad();
}

template <typename T> void AppendNote(std::vector<char>& notes, Elf64_Word type, const T& description)
{
    AppendNote(notes, type, &description, sizeof description);
}

struct ProcessIds
{
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
};

// The process's parent, process group and session, from /proc/PID/stat.
ProcessIds ReadProcessIds(pid_t pid)
{
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat").value_or("");
    const std::size_t close = stat.rfind(')');
    ProcessIds ids;
    if (close == std::string::npos) {
        return ids;
    }
    char state = 0;
    int parentId = 0;
    int groupId = 0;
    int sessionId = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d %d %d", &state, &parentId, &groupId, &sessionId) == 4) {
        ids.parent = parentId;
        ids.group = groupId;
        ids.session = sessionId;
    }
    return ids;
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies memory of the stopped process into the file; pages that cannot be read are
// written as zeros so that the layout stays as announced.
bool CopyMemory(int memoryFd, int fd, std::uint64_t address, std::uint64_t size, long pageSize)
{
    std::vector<char> buffer(kCopyChunk);
    while (size > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, buffer.size()));
        const ssize_t got = pread(memoryFd, buffer.data(), chunk, static_cast<off_t>(address));
        if (got != static_cast<ssize_t>(chunk)) {
            for (std::size_t done = 0; done < chunk; done += static_cast<std::size_t>(pageSize)) {
                const std::size_t part = std::min(chunk - done, static_cast<std::size_t>(pageSize));
                if (pread(memoryFd, buffer.data() + done, part, static_cast<off_t>(address + done)) !=
                    static_cast<ssize_t>(part)) {
                    std::memset(buffer.data() + done, 0, part);
                }
            }
        }
        if (!WriteAll(fd, buffer.data(), chunk)) {
            return false;
        }
        address += chunk;
        size -= chunk;
    }
    return true;
}

// The failing process while its core is written: every thread stopped, the failing
// thread first, its memory open, and the report the failing side left, when there is one.
class StoppedProcess
{
public:
    explicit StoppedProcess(pid_t pid) : m_pid(pid), m_attachment(pid) {}

    // Stops the threads, opens the memory and takes the failure's report and registers.
    // 0 or the errno value of the step that failed.
    int Attach(pid_t crashedThread, std::uintptr_t reportAddress)
    {
        if (const int error = m_attachment.AttachAll(); error != 0) {
            return error;
        }
        m_memory.emplace(open((ProcFolder() + "/mem").c_str(), O_RDONLY | O_CLOEXEC));
        if (m_memory->Get() < 0) {
            return errno;
        }
        // The failing thread leads: the debugger shows the first thread of a core.
        std::vector<ThreadState>& threads = m_attachment.Threads();
        const auto failing =
            std::find_if(threads.begin(), threads.end(), [&](const ThreadState& t) { return t.tid == crashedThread; });
        if (failing != threads.end()) {
            std::rotate(threads.begin(), failing, failing + 1);
        }
        if (reportAddress != 0) {
            m_haveReport = pread(Memory(), &m_report, sizeof m_report, static_cast<off_t>(reportAddress)) ==
                               static_cast<ssize_t>(sizeof m_report) &&
                           m_report.magic == kCrashReportMagic;
        }
        if (m_haveReport && failing != threads.end()) {
            ApplyFailureContext(threads.front().registers, m_report.context);
        }
        return 0;
    }

    pid_t Pid() const { return m_pid; }
    std::string ProcFolder() const { return "/proc/" + std::to_string(m_pid); }
    const std::vector<ThreadState>& Threads() const { return m_attachment.Threads(); }
    int Memory() const { return m_memory->Get(); }
    // The failing side's report; nullptr when it left none.
    const CrashReport* Report() const { return m_haveReport ? &m_report : nullptr; }

private:
    pid_t m_pid;
    ProcessAttachment m_attachment;
    std::optional<UniqueFd> m_memory; // closed before the threads are let go
    CrashReport m_report{};
    bool m_haveReport = false;
};

// The mappings that go into the core, each with its dumped size.
std::vector<Mapping> ChooseMappings(pid_t pid, const std::vector<ThreadState>& threads, long pageSize)
{
    std::vector<std::uint64_t> stackPointers;
    stackPointers.reserve(threads.size());
    for (const ThreadState& thread : threads) {
        stackPointers.push_back(StackPointer(thread.registers));
    }
    std::vector<Mapping> mappings;
    for (Mapping& mapping : ReadMappings(pid)) {
        if (mapping.path == "[vsyscall]" || mapping.start >= (1ULL << 63) || !mapping.readable) {
            continue;
        }
        mapping.dumpedSize = DumpedSize(mapping, pageSize, stackPointers);
        mappings.push_back(mapping);
    }
    return mappings;
}

elf_prstatus ThreadStatus(const ThreadState& thread, const ProcessIds& ids, const CrashReport* report)
{
    elf_prstatus status{};
    status.pr_pid = thread.tid;
    status.pr_ppid = ids.parent;
    status.pr_pgrp = ids.group;
    status.pr_sid = ids.session;
    // Every thread carries the signal, as in the kernel's cores: gdb takes the last one.
    if (report != nullptr) {
        status.pr_cursig = static_cast<short>(report->signal);
        status.pr_info.si_signo = report->signal;
        status.pr_info.si_code = report->info.si_code;
        status.pr_info.si_errno = report->info.si_errno;
    }
    std::memcpy(&status.pr_reg, &thread.registers, sizeof status.pr_reg);
    status.pr_fpvalid = thread.hasFpRegisters ? 1 : 0;
    return status;
}

elf_prpsinfo ProcessInfo(const StoppedProcess& process, const ProcessIds& ids)
{
    elf_prpsinfo info{};
    info.pr_sname = 'R';
    info.pr_pid = process.Pid();
    info.pr_ppid = ids.parent;
    info.pr_pgrp = ids.group;
    info.pr_sid = ids.session;
    info.pr_uid = getuid();
    info.pr_gid = getgid();
    std::string name = ReadWholeFile(process.ProcFolder() + "/comm").value_or("");
    if (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    std::memcpy(info.pr_fname, name.c_str(), std::min(name.size(), sizeof info.pr_fname));
    std::string arguments = ReadWholeFile(process.ProcFolder() + "/cmdline").value_or("");
    std::replace(arguments.begin(), arguments.end(), '\0', ' ');
    while (!arguments.empty() && arguments.back() == ' ') {
        arguments.pop_back();
    }
    std::strncpy(info.pr_psargs, arguments.c_str(), sizeof info.pr_psargs - 1);
    return info;
}

// NT_FILE: the count of file mappings and the page size, then start, end and page offset
// of each, then their paths, each ended by a zero byte.
std::vector<char> FileNote(const std::vector<Mapping>& mappings, long pageSize)
{
    std::vector<std::uint64_t> files;
    std::string names;
    for (const Mapping& mapping : mappings) {
        if (mapping.path.rfind('/', 0) == 0) {
            files.push_back(mapping.start);
            files.push_back(mapping.end);
            files.push_back(mapping.offset / static_cast<std::uint64_t>(pageSize));
            names += mapping.path;
            names += '\0';
        }
    }
    std::vector<char> fileNote;
    const std::uint64_t head[2] = {files.size() / 3, static_cast<std::uint64_t>(pageSize)};
    const char* headBytes = reinterpret_cast<const char*>(head);
    fileNote.insert(fileNote.end(), headBytes, headBytes + sizeof head);
    const char* fileBytes = reinterpret_cast<const char*>(files.data());
    fileNote.insert(fileNote.end(), fileBytes, fileBytes + files.size() * sizeof(std::uint64_t));
    fileNote.insert(fileNote.end(), names.begin(), names.end());
    return fileNote;
}

// The notes of the whole process, which follow the first thread's NT_PRSTATUS.
void AppendProcessNotes(std::vector<char>& notes, const StoppedProcess& process, const ProcessIds& ids,
                        const std::vector<Mapping>& mappings, long pageSize)
{
    AppendNote(notes, NT_PRPSINFO, ProcessInfo(process, ids));
    if (const CrashReport* report = process.Report()) {
        siginfo_t signalInfo = report->info;
        signalInfo.si_signo = report->signal;
        AppendNote(notes, kNoteSiginfo, signalInfo);
    }
    const std::string auxv = ReadWholeFile(process.ProcFolder() + "/auxv").value_or("");
    if (!auxv.empty()) {
        AppendNote(notes, NT_AUXV, auxv.data(), auxv.size());
    }
    const std::vector<char> fileNote = FileNote(mappings, pageSize);
    AppendNote(notes, kNoteFile, fileNote.data(), fileNote.size());
}

std::vector<char> BuildNotes(const StoppedProcess& process, const std::vector<Mapping>& mappings, long pageSize)
{
    const ProcessIds ids = ReadProcessIds(process.Pid());
    const std::vector<ThreadState>& threads = process.Threads();
    std::vector<char> notes;
    for (std::size_t i = 0; i < threads.size(); ++i) {
        const ThreadState& thread = threads[i];
        AppendNote(notes, NT_PRSTATUS, ThreadStatus(thread, ids, process.Report()));
        if (i == 0) {
            AppendProcessNotes(notes, process, ids, mappings, pageSize);
        }
        if (thread.hasFpRegisters) {
            AppendNote(notes, NT_PRFPREG, thread.fpRegisters);
        }
    }
    return notes;
}

Elf64_Ehdr CoreHeader(std::size_t headerCount)
{
    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = ELFCLASS64;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_ident[EI_VERSION] = EV_CURRENT;
    header.e_ident[EI_OSABI] = ELFOSABI_NONE;
    header.e_type = ET_CORE;
    header.e_machine = CoreMachine();
    header.e_version = EV_CURRENT;
    header.e_phoff = sizeof(Elf64_Ehdr);
    header.e_ehsize = sizeof(Elf64_Ehdr);
    header.e_phentsize = sizeof(Elf64_Phdr);
    header.e_phnum = static_cast<Elf64_Half>(std::min<std::size_t>(headerCount, PN_XNUM - 1));
    return header;
}

// PT_NOTE, then one PT_LOAD per mapping with its bytes from dataOffset on, one after another.
std::vector<Elf64_Phdr> ProgramHeaders(std::uint64_t notesOffset, std::size_t notesSize, std::uint64_t dataOffset,
                                       const std::vector<Mapping>& mappings, std::uint64_t page)
{
    std::vector<Elf64_Phdr> programHeaders;
    Elf64_Phdr noteHeader{};
    noteHeader.p_type = PT_NOTE;
    noteHeader.p_offset = notesOffset;
    noteHeader.p_filesz = notesSize;
    programHeaders.push_back(noteHeader);
    for (const Mapping& mapping : mappings) {
        Elf64_Phdr load{};
        load.p_type = PT_LOAD;
        load.p_offset = dataOffset;
        load.p_vaddr = mapping.start;
        load.p_filesz = mapping.dumpedSize;
        load.p_memsz = mapping.end - mapping.start;
        load.p_flags = (mapping.readable ? PF_R : 0) | (mapping.writable ? PF_W : 0) | (mapping.executable ? PF_X : 0);
        load.p_align = page;
        programHeaders.push_back(load);
        dataOffset += mapping.dumpedSize;
    }
    return programHeaders;
}

// Writes headers, notes and the memory of each mapping. 0 or an errno value.
int WriteCore(int fd, int memoryFd, const std::vector<char>& notes, const std::vector<Mapping>& mappings, long pageSize)
{
    const std::size_t headerCount = mappings.size() + 1;
    if (headerCount >= PN_XNUM) {
        return E2BIG;
    }
    const std::uint64_t notesOffset = sizeof(Elf64_Ehdr) + headerCount * sizeof(Elf64_Phdr);
    const auto page = static_cast<std::uint64_t>(pageSize);
    const std::uint64_t dataOffset = (notesOffset + notes.size() + page - 1) / page * page;
    const Elf64_Ehdr header = CoreHeader(headerCount);
    const std::vector<Elf64_Phdr> programHeaders =
        ProgramHeaders(notesOffset, notes.size(), dataOffset, mappings, page);

    if (!WriteAll(fd, &header, sizeof header) ||
        !WriteAll(fd, programHeaders.data(), programHeaders.size() * sizeof(Elf64_Phdr)) ||
        !WriteAll(fd, notes.data(), notes.size())) {
        return errno;
    }
    const std::uint64_t written = notesOffset + notes.size();
    const std::vector<char> padding(static_cast<std::size_t>(dataOffset - written), '\0');
    if (!WriteAll(fd, padding.data(), padding.size())) {
        return errno;
    }
    for (const Mapping& mapping : mappings) {
        if (mapping.dumpedSize > 0 && !CopyMemory(memoryFd, fd, mapping.start, mapping.dumpedSize, pageSize)) {
            return errno;
        }
    }
    return 0;
}

} // namespace

int WriteProcessCore(pid_t pid, pid_t crashedThread, std::uintptr_t reportAddress, int fd)
{
    StoppedProcess process(pid);
    if (const int error = process.Attach(crashedThread, reportAddress); error != 0) {
        return error;
    }
    const long pageSize = sysconf(_SC_PAGESIZE);
    const std::vector<Mapping> mappings = ChooseMappings(pid, process.Threads(), pageSize);
    if (mappings.empty()) {
        return ESRCH;
    }
    const std::vector<char> notes = BuildNotes(process, mappings, pageSize);
    return WriteCore(fd, process.Memory(), notes, mappings, pageSize);
}

} // namespace tessvale
