#include "common/paths.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TESSVALE_SHARED_FROM_BIN
#define TESSVALE_SHARED_FROM_BIN "../share/tessvale"
#endif

namespace tessvale {

namespace {

std::mutex g_programFolderMutex;
std::string g_programFolderOverride;

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

bool IsFolder(const std::string& path)
{
    struct stat info
    {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFile(const std::string& path)
{
    struct stat info
    {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
            return {buffer.data(), static_cast<std::size_t>(length)};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ProgramFolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    // The window program, installed in libexec/tessvale/, answers for the program that
    // starts it, bin/tessvale: the files beside the program are beside that one.
    constexpr std::string_view kWindowFolder = "/libexec/tessvale";
    if (std::string_view(path).substr(slash + 1) == "tessvale-window" && folder.size() > kWindowFolder.size() &&
        std::string_view(folder).substr(folder.size() - kWindowFolder.size()) == kWindowFolder) {
        folder = folder.substr(0, folder.size() - kWindowFolder.size()) + "/bin";
    }
    return folder;
}

std::string ProgramFolder()
{
    {
        const std::lock_guard lock(g_programFolderMutex);
        if (!g_programFolderOverride.empty()) {
            return g_programFolderOverride;
        }
    }
    return ProgramFolderOf(ProgramPath());
}

std::string CompanionProgramPath(const std::string& name)
{
    const std::filesystem::path folder = ProgramFolder();
    if (folder.empty() || name.empty() || name.find('/') != std::string::npos) {
        return {};
    }
    for (const auto& candidate : {folder / "../libexec/tessvale" / name, folder / name}) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            std::error_code error;
            const auto canonical = std::filesystem::canonical(candidate, error);
            return error ? candidate.string() : canonical.string();
        }
    }
    return {};
}

void SetProgramFolderOverride(const std::string& folder)
{
    const std::lock_guard lock(g_programFolderMutex);
    g_programFolderOverride = folder;
}

std::string SharedDataFolderOf(const std::string& programFolder)
{
    if (programFolder.empty() || programFolder.front() != '/') {
        return {};
    }
    std::string shared = (std::filesystem::path(programFolder) / TESSVALE_SHARED_FROM_BIN).lexically_normal().string();
    while (shared.size() > 1 && shared.back() == '/') {
        shared.pop_back();
    }
    return IsFolder(shared) ? shared : std::string();
}

std::string SharedDataFolder()
{
    return SharedDataFolderOf(ProgramFolder());
}

bool InstalledLayout()
{
    return !SharedDataFolder().empty();
}

std::string ShippedFilePathIn(const std::string& programFolder, const std::string& dataFolder, const std::string& name)
{
    if (!dataFolder.empty() && IsFile(dataFolder + "/" + name)) {
        return dataFolder + "/" + name;
    }
    std::string beside = programFolder.empty() ? std::string() : programFolder + "/" + name;
    if (!beside.empty() && IsFile(beside)) {
        return beside;
    }
    const std::string shared = SharedDataFolderOf(programFolder);
    if (!shared.empty()) {
        return shared + "/" + name;
    }
    return beside;
}

std::string ShippedFilePath(const std::string& name)
{
    return ShippedFilePathIn(ProgramFolder(), DataFolder(), name);
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
    return ProgramSubfolderIn(ProgramFolder(), DataFolder(), name);
}

std::string ProgramSubfolderIn(const std::string& programFolder, const std::string& dataFolder, const std::string& name)
{
    // An installed program's folder belongs to the package manager: what it would put
    // beside itself goes to the user's data folder.
    if (!programFolder.empty() && programFolder != "/" && SharedDataFolderOf(programFolder).empty()) {
        std::string beside = programFolder + "/" + name;
        if (CreateDirectoryPath(beside) && IsWritableFolder(beside)) {
            return beside;
        }
    }
    if (dataFolder.empty()) {
        return {};
    }
    std::string fallback = dataFolder + "/" + name;
    if (CreateDirectoryPath(fallback) && IsWritableFolder(fallback)) {
        return fallback;
    }
    return {};
}

} // namespace tessvale
