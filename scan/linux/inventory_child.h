// A piece of the remote inventory run in a child process of its own, for the client
// libraries that keep process-wide state without locks (libsmbclient, net-snmp).
//
// Every host gets its own child, so workers never wait for each other, and a host that
// stalls costs only its own child, which is killed at its deadline. The child is the
// program itself started afresh (spawned and executed, never a bare fork of a process
// whose other threads may hold locks), asked for one job by name; it reads its request
// from its standard input and writes its answer to its standard output. Its standard
// error is /dev/null: the libraries never print on the user's terminal.
//
// Requests and answers are messages of length-prefixed parts; the parent reads the
// answer bounded in size and time.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

// The option that makes the program a child serving one job; internal, never listed.
inline constexpr std::string_view kInventoryChildOption = "--inventory-child";
// The largest request a child reads.
inline constexpr std::size_t kMaxChildRequest = std::size_t{64} * 1024;

// Starts the program itself as a child serving job, hands it request and returns what the
// child wrote, or nullopt when the child could not start, failed, wrote more than
// maxBytes, or had not finished by the deadline (it is then killed). The deadline is moved
// on by the time the program took to start (bounded): that time is the machine's, not the
// host's. The child holds no
// descriptor of the parent but its two pipes, ends with the parent, and its faults end
// only the child. Always reaps the child before it returns.
std::optional<std::vector<std::uint8_t>> RunInChild(const char* job, const std::vector<std::uint8_t>& request,
                                                    std::chrono::steady_clock::time_point deadline,
                                                    std::size_t maxBytes);

// Writes the whole buffer (retrying short and interrupted writes).
bool WriteAll(int fd, const void* data, std::size_t size);

// The parts of a message: 32-bit numbers (host order: parent and child are the same
// program) and texts as a number of bytes followed by the bytes. Written to a descriptor
// (the child's answer) ...
class ChildMessageWriter
{
public:
    explicit ChildMessageWriter(int fd) : m_fd(fd) {}
    bool Number(std::uint32_t value) { return WriteAll(m_fd, &value, sizeof value); }
    bool Text(std::string_view text)
    {
        return Number(static_cast<std::uint32_t>(text.size())) && WriteAll(m_fd, text.data(), text.size());
    }

private:
    int m_fd;
};

// ... or gathered in memory (the parent's request).
class ChildMessageBuilder
{
public:
    ChildMessageBuilder& Number(std::uint32_t value);
    ChildMessageBuilder& Text(std::string_view text);
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Reads the parts back; every read fails once the message is short or a text is longer
// than its limit.
class ChildMessageReader
{
public:
    explicit ChildMessageReader(const std::vector<std::uint8_t>& message) : m_message(message) {}
    std::optional<std::uint32_t> Number();
    std::optional<std::string> Text(std::size_t maxSize);
    bool AtEnd() const { return m_at == m_message.size(); }

private:
    const std::vector<std::uint8_t>& m_message;
    std::size_t m_at = 0;
};

// One job a child can serve: reads its whole request (BadRequest, before writing
// anything, when it is not of the job's form), does the work and writes its answer to out.
enum class ChildJobResult
{
    Done,
    Failed,
    BadRequest
};
struct ChildJob
{
    std::string_view name;
    ChildJobResult (*run)(ChildMessageReader& request, int out);
};

// The child's side: when argv asks for a job ({program, kInventoryChildOption, job,
// parent's pid}), serves it from the jobs given and returns the exit code (0 done,
// 1 failed, 2 unknown job, bad request or a parent already gone); otherwise nullopt.
std::optional<int> ServeChildJob(int argc, char** argv, std::span<const ChildJob> jobs);

} // namespace tessvale
