// Language.xml is downloaded from the language server and read on every lookup: the
// list of display names, the code of a chosen name and back, the translation file each
// entry names, and the first start's choice of the user's language. A list entry must
// never name a file outside the language folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/localization.h"
#include "fuzz_support.h"

namespace {

using tessvale::fuzz::Require;

// How many listed languages are also looked up one by one.
constexpr std::size_t kLanguagesRead = 3;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The first start picks the locale's language when the list offers it.
    // NOLINTBEGIN(concurrency-mt-unsafe): libFuzzer calls this once, before any input and any thread
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", "de_DE.UTF-8", 1);
    // NOLINTEND(concurrency-mt-unsafe)
    tessvale::SetLanguageFolderOverride(tessvale::fuzz::ScratchFolder() + "/Language");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string folder = tessvale::LanguageFolder();
    static const std::string list = folder + "/Language.xml";
    static const std::string settings = folder + "/Language.ini";
    tessvale::fuzz::PutFile(list, data, size);
    ::unlink(settings.c_str());

    const std::string current = tessvale::GetLanguageCode();
    Require(current == "DEU" || current == tessvale::kEnglishCode, "the first start chose neither locale nor English");
    Require(tessvale::GetLanguageCode() == current, "the recorded choice does not read back");

    const std::vector<std::string> names = tessvale::ListLanguages();
    Require(!names.empty(), "an empty language list");
    for (std::size_t i = 0; i < names.size() && i < kLanguagesRead; ++i) {
        const std::string code = tessvale::LanguageCodeOf(names[i]);
        tessvale::LanguageNameOf(code);
        const std::string file = tessvale::LanguageFileName(code);
        Require(file.find('/') == std::string::npos, "a translation file outside the language folder");
        tessvale::TranslateText("Start", code);
    }
    return 0;
}
