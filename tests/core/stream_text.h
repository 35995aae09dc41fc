// What a test's temporary stream holds, read back from its start.
#pragma once

#include <cstdio>
#include <string>

namespace tessvale::test {

// The whole content of the stream; it is left at its end.
inline std::string StreamText(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t length = 0;
    while ((length = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, length);
    }
    return text;
}

} // namespace tessvale::test
