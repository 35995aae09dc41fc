#include "store/config_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "common/unique_fd.h"
#include "common/write_all.h"

namespace tessvale {

namespace {

constexpr std::size_t kRandomPart = 6; // what mkstemp puts in place of "XXXXXX"

FileError SystemError(int code, std::string path)
{
    return {FileError::Kind::System, code, std::move(path)};
}

// The file a write of `path` replaces: the path itself, or the target of a link that
// belongs, like its target, to the running user.
FileError ResolveTarget(const std::string& path, bool followOwnLinks, std::string& target)
{
    target = path;
    struct stat link
    {};
    if (!followOwnLinks || lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
        return {};
    }
    const uid_t user = geteuid();
    if (link.st_uid != user) {
        return {FileError::Kind::ForeignLink, 0, path};
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) {
        return {FileError::Kind::DanglingLink, errno, path};
    }
    struct stat info
    {};
    if (lstat(resolved.get(), &info) != 0) {
        return SystemError(errno, resolved.get());
    }
    if (info.st_uid != user) {
        return {FileError::Kind::ForeignLink, 0, path};
    }
    target = resolved.get();
    return {};
}

// Writes the data into a new temporary file beside the target; `temporary` names it
// on success and is empty otherwise.
FileError WriteTemporary(const std::string& target, const std::string& data, const ReplaceOptions& options,
                         std::string& temporary)
{
    temporary = target + options.temporaryInfix + std::string(kRandomPart, 'X');
    // mkostemp opens with O_CREAT | O_EXCL and mode 0600: a planted file or link of the
    // same name makes it pick another name instead of writing through it.
    UniqueFd fd(mkostemp(temporary.data(), O_CLOEXEC | O_NOFOLLOW));
    if (!fd.Valid()) {
        const int code = errno;
        temporary.clear();
        const std::string folder = FolderOf(target);
        return SystemError(code, folder.empty() ? std::string(".") : folder);
    }
    int code = 0;
    if (fchmod(fd.Get(), static_cast<mode_t>(options.mode & 07777)) != 0 ||
        !WriteAll(fd.Get(), data.data(), data.size()) || fsync(fd.Get()) != 0) {
        code = errno;
    }
    if (!fd.Close() && code == 0) {
        code = errno;
    }
    if (code != 0) {
        ::unlink(temporary.c_str());
        temporary.clear();
        return SystemError(code, target);
    }
    return {};
}

// Moves `from` to `to`; a missing `from` is no failure.
FileError MoveIfPresent(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0 && errno != ENOENT) {
        return SystemError(errno, to);
    }
    return {};
}

// Keeps the file about to be replaced as "<target>.bad" (mode 0600), moving the older
// backups on. The target itself stays in place until the new file replaces it.
FileError KeepBackup(const std::string& target)
{
    struct stat info
    {};
    if (lstat(target.c_str(), &info) != 0) {
        return errno == ENOENT ? FileError{} : SystemError(errno, target);
    }
    if (!S_ISREG(info.st_mode)) {
        return {}; // a folder in its place: replacing it fails and reports that
    }
    const std::string bad = target + ".bad";
    if (FileError error = MoveIfPresent(bad + ".1", bad + ".2")) {
        return error;
    }
    if (FileError error = MoveIfPresent(bad, bad + ".1")) {
        return error;
    }
    // It may hold credentials: only the user may read the backup. A file of another
    // user keeps its mode when that cannot be changed.
    (void)chmod(target.c_str(), S_IRUSR | S_IWUSR);
    if (::link(target.c_str(), bad.c_str()) == 0) {
        return {};
    }
    // Without hard links the file moves; the rename of the new file follows at once.
    if (std::rename(target.c_str(), bad.c_str()) != 0) {
        return SystemError(errno, bad);
    }
    return {};
}

} // namespace

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

FileError ReplaceFileContent(const std::string& path, const std::string& data, const ReplaceOptions& options)
{
    std::string target;
    if (FileError error = ResolveTarget(path, options.followOwnLinks, target)) {
        return error;
    }
    struct stat info
    {};
    if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return SystemError(EISDIR, target); // checked first: no temporary file for nothing
    }
    std::string temporary;
    if (FileError error = WriteTemporary(target, data, options, temporary)) {
        return error;
    }
    FileError error;
    if (options.backupOld) {
        error = KeepBackup(target);
    }
    if (!error && std::rename(temporary.c_str(), target.c_str()) != 0) {
        error = SystemError(errno, target);
    }
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    // Makes the rename itself durable; a failure here leaves a correct file.
    const std::string folder = FolderOf(target);
    const UniqueFd folderFd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.Valid()) {
        fsync(folderFd.Get());
    }
    return {};
}

void RemoveStaleTemporaryFiles(const std::string& path)
{
    const std::string folder = FolderOf(path);
    const std::string prefix = path.substr(path.rfind('/') + 1) + ".tmp-"; // npos + 1 is 0
    std::error_code error;
    std::filesystem::directory_iterator it(folder.empty() ? std::string(".") : folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kRandomPart || name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        const std::string full = it->path().string();
        struct stat info
        {};
        // Only the user's own regular files: a link or another user's file stays.
        if (lstat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid()) {
            ::unlink(full.c_str());
        }
    }
}

std::string DescribeFileError(const FileError& error)
{
    switch (error.kind) {
    case FileError::Kind::None:
        return {};
    case FileError::Kind::System:
        return std::error_code(error.code, std::generic_category()).message() + " (" + error.path + ")";
    case FileError::Kind::ForeignLink:
        return "the file is a symbolic link that does not belong to you, or leads to a file of another user (" +
               error.path + ")";
    case FileError::Kind::DanglingLink:
        return "the file is a symbolic link whose target does not exist (" + error.path + ")";
    }
    return {};
}

} // namespace tessvale
