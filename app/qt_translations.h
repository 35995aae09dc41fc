// Qt's own texts (the standard buttons of message boxes, the context menus of entries,
// the file dialogs) in the program's chosen language, from the translations Qt ships.
#pragma once

#include <string>

namespace tessvale {

// Installs Qt's translation for the language `code` ("DEU") into the running
// application, in place of the one installed before; English (or a language Qt has no
// translation for) removes it. False when a translation was wanted but none was found.
bool InstallQtTranslations(const std::string& code);

// The same for the language the program currently uses.
bool InstallQtTranslationsForCurrentLanguage();

} // namespace tessvale
