// QString forms of the string table's texts for the windows.
#pragma once

#include <string_view>

#include <QString>

#include "common/string_table.h"
#include "dialogs/qt_text.h"

namespace tessvale {

inline QString QUiString(int id)
{
    return ToQString(UiString(id));
}

inline QString QUiText(std::string_view english)
{
    return ToQString(UiText(english));
}

// "&About Tessvale..." style texts that carry one "%s" or "%d": the first is replaced.
inline QString FormatOne(const QString& format, const QString& value)
{
    QString text = format;
    const qsizetype at = text.indexOf(QLatin1Char('%'));
    if (at >= 0 && at + 1 < text.size()) {
        text.replace(at, 2, value);
    }
    return text;
}

} // namespace tessvale
