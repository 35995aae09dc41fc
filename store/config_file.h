// Whole-file writes that a crash, a full disk or a planted link cannot turn into a
// damaged or misdirected file: a temporary file made with O_EXCL | O_NOFOLLOW (mode
// 0600) beside the target, renamed over it once complete.
#pragma once

#include <string>

namespace tessvale {

struct FileError
{
    enum class Kind
    {
        None,
        System,       // a system call failed; code holds its errno
        ForeignLink,  // the path is a symbolic link, and the link or its target is not the user's
        DanglingLink, // the path is a symbolic link that leads nowhere
    };
    Kind kind = Kind::None;
    int code = 0;
    std::string path; // the file or folder the failure concerns

    explicit operator bool() const { return kind != Kind::None; }
};

struct ReplaceOptions
{
    // A symbolic link at the path is followed (the target is replaced) when the link and
    // its target belong to the running user; otherwise the write fails. Without it, a
    // link at the path is itself replaced by the new file.
    bool followOwnLinks = false;
    // Before the new file replaces it, the old one is kept as "<target>.bad", the backups
    // before it moving on to ".bad.1" and ".bad.2" (mode 0600; older ones are dropped).
    bool backupOld = false;
    // The temporary file's name: the target followed by this and six random characters.
    std::string temporaryInfix = ".tmp-";
    // The new file's permission bits (the configuration holds credentials: owner only).
    unsigned mode = 0600;
};

// Writes the data as the whole new content of the file.
FileError ReplaceFileContent(const std::string& path, const std::string& data, const ReplaceOptions& options);

// Removes what interrupted writes of the file left behind: regular files of the user
// named "<file>.tmp-" plus six characters, in the file's folder.
void RemoveStaleTemporaryFiles(const std::string& path);

// The folder part of a path ("" for a bare name, "/" for a file in the root).
std::string FolderOf(const std::string& path);

// An English description of the failure: "<reason> (<path>)".
std::string DescribeFileError(const FileError& error);

} // namespace tessvale
