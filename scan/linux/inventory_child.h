// A piece of the remote inventory run in a child process of its own, for the client
// libraries that keep process-wide state without locks (libsmbclient, net-snmp).
//
// Every host gets its own child, so workers never wait for each other, and a host that
// stalls costs only its own child, which is killed at its deadline. The parent itself
// never enters the library: the child starts from a copy of the library untouched.
//
// The child writes its answer as a message of length-prefixed parts to the pipe it is
// given; the parent reads it bounded in size and time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessvale {

// Runs work in a child process; work writes its answer to the descriptor it gets and
// returns true when the work succeeded. The child holds no other descriptor of the
// parent, ends with the parent, and its faults end only the child. Returns what the
// child wrote, or nullopt when the child failed, wrote more than maxBytes, or had not
// finished by the deadline (it is then killed). Always reaps the child before it
// returns.
std::optional<std::vector<std::uint8_t>> RunInChild(const std::function<bool(int out)>& work,
                                                    std::chrono::steady_clock::time_point deadline,
                                                    std::size_t maxBytes);

// Writes the whole buffer (retrying short and interrupted writes).
bool WriteAll(int fd, const void* data, std::size_t size);

// The parts a child sends: 32-bit numbers (host order: parent and child are the same
// program) and texts as a number of bytes followed by the bytes.
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

} // namespace tessvale
