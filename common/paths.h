// Folders of the program: where it runs from and where it keeps per-user data.
#pragma once

#include <string>

namespace tessvale {

// Folder of the running executable (from /proc/self/exe), without a trailing '/'.
std::string ProgramFolder();
// The folder ProgramFolder() gives for a program at `path`: its own, but for the window
// program installed in libexec/tessvale/, which answers for bin/tessvale that starts it.
std::string ProgramFolderOf(const std::string& path);
// A program of this installation beside this one: ../libexec/tessvale/NAME of the
// program folder (an installed or unpacked package), else NAME in the program folder (a
// build tree). Empty when there is none.
std::string CompanionProgramPath(const std::string& name);

// Makes ProgramFolder() answer `folder` (tests of the installed layout); an empty
// folder restores the executable's own.
void SetProgramFolderOverride(const std::string& folder);

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

// The read-only files an installed program ships (the language list and translations,
// the chart stencil): share/tessvale reached from the executable's bin folder, so an
// unpacked package finds its own. Empty when that folder does not exist, as in a build
// tree, where those files lie beside the program.
std::string SharedDataFolder();
std::string SharedDataFolderOf(const std::string& programFolder);

// True when the program runs from an installed layout (SharedDataFolder() exists).
// Such a program never writes into its own bin folder, not even as root.
bool InstalledLayout();

// A shipped file by its name ("NET_1.vssx"): the data folder's copy when there is one,
// else the one beside the program, else the installed one. When none exists, the path
// where the program expects it: the installed one, or beside the program in a build tree.
std::string ShippedFilePath(const std::string& name);
std::string ShippedFilePathIn(const std::string& programFolder, const std::string& dataFolder, const std::string& name);

// A folder beside the program ("Language", "Update", "dump"), created when missing;
// when it can be neither found nor created there, or the program is installed, the
// same name under the data folder (never the file-system root). Empty only when
// neither place can be made.
std::string ProgramSubfolder(const std::string& name);
std::string ProgramSubfolderIn(const std::string& programFolder, const std::string& dataFolder,
                               const std::string& name);

} // namespace tessvale
