// Owner of one file descriptor: closed when the owner goes. Movable, so that a function
// can hand an open descriptor to its caller.
#pragma once

#include <utility>

#include <unistd.h>

namespace tessvale {

class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }

    // Closes now and reports whether the close succeeded (a late write error shows here);
    // false when nothing was open.
    bool Close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd = -1;
};

} // namespace tessvale
