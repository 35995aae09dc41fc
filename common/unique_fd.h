// Owner of one file descriptor: closed when the owner goes.
#pragma once

#include <unistd.h>

namespace tessvale {

class UniqueFd
{
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }

    // Closes now and reports whether the close succeeded (a late write error shows here).
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int m_fd;
};

} // namespace tessvale
