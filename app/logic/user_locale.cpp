#include "app/logic/user_locale.h"

#include <clocale>
#include <string_view>

#include <langinfo.h>

#include "common/checked_output.h"

namespace tessvale {
namespace {

bool Utf8CharacterSet()
{
    const std::string_view codeset = nl_langinfo(CODESET);
    return codeset == "UTF-8" || codeset == "utf8";
}

} // namespace

bool UseUserLocale()
{
    // NOLINTNEXTLINE(concurrency-mt-unsafe): start-up, before any thread exists
    // Whatever the environment names, the character set that results is what counts.
    IgnoreResult(std::setlocale(LC_ALL, ""));
    if (Utf8CharacterSet()) {
        return true;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): start-up, before any thread exists
    return std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr && Utf8CharacterSet();
}

} // namespace tessvale
