#include "common/temporary_file.h"

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>

#include "common/checked_output.h"

namespace tessvale {

UniqueFd CreateTemporaryBeside(const std::string& target, std::string& path)
{
    path.clear();
    if (target.empty() || target.back() == '/') {
        return {};
    }
    std::string pattern = target + ".XXXXXX";
    UniqueFd file(::mkostemp(pattern.data(), O_CLOEXEC));
    if (file.Valid()) {
        path = std::move(pattern);
    }
    return file;
}

bool ReplaceWithTemporary(const std::string& temporary, const std::string& target, unsigned newMode)
{
    struct stat existing
    {};
    // The mode of a link's target is not the link's own business: only a plain file
    // passes its mode on.
    const mode_t mode = ::lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? (existing.st_mode & 07777)
                            : static_cast<mode_t>(newMode & 07777);
    if (::chmod(temporary.c_str(), mode) != 0 || std::rename(temporary.c_str(), target.c_str()) != 0) {
        IgnoreResult(std::remove(temporary.c_str()));
        return false;
    }
    return true;
}

} // namespace tessvale
