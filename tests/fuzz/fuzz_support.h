// Helpers shared by the fuzz targets: a private scratch folder for the targets that
// read files, and a way to report a broken promise of the code under test as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <system_error>
#include <unistd.h>

#include "common/checked_output.h"

namespace tessvale::fuzz {

// Stops the run the way a crash does, so libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what)
{
    IgnoreResult(std::fprintf(stderr, "fuzz check failed: %s\n", what));
    std::abort();
}

inline void Require(bool condition, const char* what)
{
    if (!condition) {
        Fail(what);
    }
}

// A folder of this process in memory-backed storage when there is some (the targets
// write a file per input), removed at exit.
inline const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        std::error_code error;
        const bool shm = std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0;
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = shm ? "/dev/shm" : (tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
        pattern += "/tessvale-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot make the scratch folder");
        }
        return pattern;
    }();
    static const bool cleanup = [] {
        // Without the handler the folder stays behind; the run goes on all the same.
        return std::atexit([] {
                   std::error_code ignored;
                   std::filesystem::remove_all(folder, ignored);
               }) == 0;
    }();
    static_cast<void>(cleanup);
    return folder;
}

// Replaces the file with exactly these bytes.
inline void PutFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        Fail("cannot write the input file");
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written <= 0) {
            Fail("cannot write the input file");
        }
        done += static_cast<std::size_t>(written);
    }
    ::close(fd);
}

} // namespace tessvale::fuzz
