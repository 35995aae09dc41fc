// Writes a whole buffer to a descriptor, through short writes and interruptions.
#pragma once

#include <cerrno>
#include <cstddef>

#include <unistd.h>

namespace tessvale {

// True when every byte was written; false at the first error (errno tells which).
inline bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, bytes + done, size - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace tessvale
