// Stand-in for the program's folder functions while the tests of the language files
// run: every folder is below TESSVALE_TEST_PROGRAM_FOLDER or the system's temporary folder.
#include <cstdlib>
#include <filesystem>

#include <system_error>

#include "common/paths.h"

namespace tessvale {

std::string ProgramFolder()
{
    const char* folder = std::getenv("TESSVALE_TEST_PROGRAM_FOLDER");
    return folder != nullptr ? folder : std::filesystem::temp_directory_path().string();
}

std::string ProgramPath()
{
    return ProgramFolder() + "/tessvale";
}

std::string DataFolder()
{
    const char* folder = std::getenv("TESSVALE_TEST_DATA_FOLDER");
    return folder != nullptr ? folder : ProgramFolder() + "/data";
}

std::string ConfigFilePath()
{
    return DataFolder() + "/Tessvale.xml";
}

bool CreateDirectoryPath(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return std::filesystem::exists(path, error);
}

std::string ProgramSubfolder(const std::string& name)
{
    if (CreateDirectoryPath(ProgramFolder() + "/" + name)) {
        return ProgramFolder() + "/" + name;
    }
    if (CreateDirectoryPath(DataFolder() + "/" + name)) {
        return DataFolder() + "/" + name;
    }
    return {};
}

} // namespace tessvale
