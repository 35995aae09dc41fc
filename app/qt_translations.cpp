#include "app/qt_translations.h"

#include <memory>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "common/localization.h"
#include "dialogs/qt_text.h"

namespace tessvale {
namespace {

// The one installed translator of Qt's texts, owned here for the life of the program.
std::unique_ptr<QTranslator>& InstalledTranslator()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

} // namespace

bool InstallQtTranslations(const std::string& code)
{
    auto& installed = InstalledTranslator();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    const std::string locale = LocaleOfLanguageCode(code);
    if (locale.empty() || locale == "en" || locale.starts_with("en_")) {
        return true; // Qt's texts are English already
    }
    auto translator = std::make_unique<QTranslator>();
    // "qt" is the catalogue that pulls in qtbase and the other modules' files.
    if (!translator->load(QLocale(ToQString(locale)), QStringLiteral("qt"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    return true;
}

bool InstallQtTranslationsForCurrentLanguage()
{
    return InstallQtTranslations(GetLanguageCode());
}

} // namespace tessvale
