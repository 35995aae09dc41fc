#include "common/file_util.h"

#include <fstream>
#include <sstream>

namespace tessvale {

bool ReadWholeFile(const std::string& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream buffer;
    buffer << file.rdbuf();
    if (file.bad()) {
        return false;
    }
    text = buffer.str();
    return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    std::string text;
    if (!ReadWholeFile(path, text)) {
        return std::nullopt;
    }
    return text;
}

} // namespace tessvale
