#include "store/save_failure.h"

#include <system_error>

#include "common/string_table.h"
#include "common/text_util.h"

namespace tessvale {

namespace {

std::string Reason(const FileError& error)
{
    switch (error.kind) {
    case FileError::Kind::None:
        break;
    case FileError::Kind::System:
        // The system's own text for the error, in the locale's language.
        return std::error_code(error.code, std::generic_category()).message();
    case FileError::Kind::ForeignLink:
        return UiText("The file is a symbolic link that belongs to another user or leads to a file of another user");
    case FileError::Kind::DanglingLink:
        return UiText("The file is a symbolic link whose target does not exist");
    }
    return UiText("Unknown error");
}

} // namespace

std::string SaveFailureText(std::string_view headline, const FileError& error)
{
    std::string text = UiText(headline);
    text += "\n";
    text += Reason(error);
    if (!error.path.empty()) {
        text += ": " + BlankControlCharacters(error.path);
    }
    return text;
}

std::string LoadFailureQuestion(const ConfigStore& store)
{
    if (!store.LastLoadUnusable()) {
        return {};
    }
    std::string reason;
    switch (store.LastLoadState()) {
    case ConfigStore::LoadState::Unreadable:
        // The system's own text, in the locale's language.
        reason = std::error_code(store.LastLoadError(), std::generic_category()).message();
        break;
    case ConfigStore::LoadState::TooDeep:
        reason = UiText("Its elements are nested too deeply");
        break;
    default:
        reason = store.LastLoadProblem();
        break;
    }
    const std::string path = BlankControlCharacters(store.Path());
    return UiText("The configuration file could not be read.") + "\n" + reason + ": " + path + "\n\n" +
           UiText("Start with the default settings? The file is kept as a backup (.bad) when the configuration is "
                  "next saved.");
}

} // namespace tessvale
