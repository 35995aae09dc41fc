// Folders of the program: where it runs from and where it keeps per-user data.
#pragma once

#include <string>

namespace tessvale {

// Folder of the running executable (from /proc/self/exe), without a trailing '/'.
std::string ProgramFolder();

// Full path of the running executable.
std::string ProgramPath();

// Per-user data folder: $APPDATA/Tessvale when APPDATA is set, else
// $XDG_CONFIG_HOME/Tessvale, else ~/.config/Tessvale. Not created here.
std::string DataFolder();

// Path of the configuration document inside the data folder.
std::string ConfigFilePath();

// Creates the folder and any missing parents. True when the folder exists afterwards;
// an existing file of that name counts as existing, as it does on Windows.
bool CreateDirectoryPath(const std::string& path);

// A folder beside the program ("Language", "Update", "dump"), created when missing;
// when it can be neither found nor created there, the same name under the data folder
// (never the file-system root). Empty only when neither place can be made.
std::string ProgramSubfolder(const std::string& name);

} // namespace tessvale
