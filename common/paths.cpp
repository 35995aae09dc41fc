#include "common/paths.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessvale {

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFolder()
{
    std::string home = Environment("HOME");
    if (!home.empty()) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
        home = found->pw_dir;
    }
    return home;
}

bool IsWritableFolder(const std::string& path)
{
    struct stat info
    {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && access(path.c_str(), W_OK | X_OK) == 0;
}

} // namespace

std::string ProgramPath()
{
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ProgramFolder()
{
    const std::string path = ProgramPath();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string DataFolder()
{
    // An empty or relative setting would put the credentials file at the root or below
    // the current folder, so such values count as unset.
    std::string base = Environment("APPDATA");
    if (base.empty()) {
        base = Environment("XDG_CONFIG_HOME");
        if (base.empty() || base.front() != '/') {
            const std::string home = HomeFolder();
            if (home.empty()) {
                return {};
            }
            base = home + "/.config";
        }
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base == "/" ? std::string("/Tessvale") : base + "/Tessvale";
}

std::string ConfigFilePath()
{
    const std::string folder = DataFolder();
    return folder.empty() ? std::string() : folder + "/Tessvale.xml";
}

bool CreateDirectoryPath(const std::string& path)
{
    std::string copy = path;
    if (copy.size() > 1 && copy.back() == '/') {
        copy.pop_back();
    }
    if (copy.empty()) {
        return false;
    }
    struct stat info
    {};
    if (stat(copy.c_str(), &info) == 0) {
        return true;
    }
    const auto slash = copy.rfind('/');
    if (slash == std::string::npos) {
        return false;
    }
    if (slash > 0 && !CreateDirectoryPath(copy.substr(0, slash))) {
        return false;
    }
    if (mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    // Someone else may have made it in the meantime.
    return errno == EEXIST && stat(copy.c_str(), &info) == 0;
}

std::string ProgramSubfolder(const std::string& name)
{
    const std::string programFolder = ProgramFolder();
    if (!programFolder.empty() && programFolder != "/") {
        const std::string beside = programFolder + "/" + name;
        if (CreateDirectoryPath(beside) && IsWritableFolder(beside)) {
            return beside;
        }
    }
    const std::string dataFolder = DataFolder();
    if (dataFolder.empty()) {
        return {};
    }
    const std::string fallback = dataFolder + "/" + name;
    if (CreateDirectoryPath(fallback) && IsWritableFolder(fallback)) {
        return fallback;
    }
    return {};
}

} // namespace tessvale
