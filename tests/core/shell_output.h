// What a shell command prints, for tests that compare with an independent reading.
#pragma once

#include <array>
#include <cstdio>
#include <string>

namespace tessvale::test {

// The command's standard output with its final line ends removed; empty when it
// cannot be started.
inline std::string ShellOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return output;
    }
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe)) {
        output += buffer.data();
    }
    ::pclose(pipe);
    while (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

} // namespace tessvale::test
