// Reading the local Samba configuration (smb.conf): the workgroup of this machine and
// the shares it offers.
//
// Layout: "[section]" lines, "key = value" lines, comments from '#' or ';' at the start
// of a line, a trailing '\' continues a line. Keys are compared without case, blanks and
// underscores ("work group" is "workgroup").
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessvale {

struct SambaSection
{
    std::string name;
    std::vector<std::pair<std::string, std::string>> parameters; // normalised key, value

    // The value of the key, or fallback when the section does not set it.
    std::string Value(std::string_view key, std::string_view fallback = {}) const;
};

// Sections in file order; parameters before the first section belong to "global".
std::vector<SambaSection> ParseSambaConfig(std::string_view text);

// The "workgroup" of the [global] section; "WORKGROUP" when the file or key is missing.
std::string ReadSambaWorkgroup(const std::string& smbConfPath);

// Names of the shares the configuration defines: every section except [global] and the
// templates [homes] and [printers], and none marked "available = no".
std::vector<std::string> SambaConfigShares(const std::vector<SambaSection>& sections);

// Names of the user shares stored in the folder (one file per share, its "sharename="
// line holding the name as given), sorted.
std::vector<std::string> SambaUserShares(const std::string& folder);

// The user share folder the configuration names, else Samba's default.
std::string SambaUserShareFolder(const std::vector<SambaSection>& sections);

} // namespace tessvale
