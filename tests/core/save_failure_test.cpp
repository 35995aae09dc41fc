#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "fakes/temp_folder.h"
#include "store/config_store.h"
#include "store/save_failure.h"

namespace tessvale {
namespace {

TEST(SaveFailureText, NamesTheReasonAndTheFileWithoutControlCharacters)
{
    const FileError full{FileError::Kind::System, ENOSPC, "/home/u/Tessvale.xml"};
    EXPECT_EQ(SaveFailureText("The settings could not be saved.", full),
              "The settings could not be saved.\nNo space left on device: /home/u/Tessvale.xml");
    const FileError link{FileError::Kind::ForeignLink, 0, "/tmp/a\x1b[2Jb"};
    const std::string text = SaveFailureText("The result could not be saved.", link);
    EXPECT_NE(text.find("symbolic link that belongs to another user"), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

TEST(LoadFailureQuestion, AsksOnlyWhenTheFileIsThereButUnusable)
{
    test::TempFolder folder;
    ConfigStore store;
    store.Load(folder.File("missing.xml"));
    EXPECT_EQ(LoadFailureQuestion(store), "");
    ASSERT_TRUE(test::WriteFile(folder.File("broken.xml"), "<config><Result>"));
    store.Load(folder.File("broken.xml"));
    // Nothing of it is used, and the user is asked before a new file replaces it.
    EXPECT_EQ(LoadFailureQuestion(store).rfind("The configuration file could not be read.\nsyntax error at line 1", 0),
              0u)
        << LoadFailureQuestion(store);

    // A folder in the file's place cannot be read, whoever runs the program.
    const std::string taken = folder.File("Tessvale.xml");
    ASSERT_TRUE(std::filesystem::create_directory(taken));
    store.Load(taken);
    const std::string question = LoadFailureQuestion(store);
    EXPECT_EQ(question.rfind("The configuration file could not be read.\na folder, not a file: " + taken, 0), 0u)
        << question;
    EXPECT_NE(question.find("Start with the default settings?"), std::string::npos);

    std::string deep;
    for (int i = 0; i < 100; ++i) {
        deep.insert(0, "<d>").append("</d>");
    }
    ASSERT_TRUE(test::WriteFile(folder.File("deep.xml"), deep));
    store.Load(folder.File("deep.xml"));
    EXPECT_NE(LoadFailureQuestion(store).find("nested too deeply"), std::string::npos);
}

} // namespace
} // namespace tessvale
