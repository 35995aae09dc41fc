// The one conversion between the core's texts (UTF-8 std::string) and the windows'
// QString, both ways.
#pragma once

#include <string>

#include <QString>

namespace tessvale {

inline QString ToQString(const std::string& text)
{
    return QString::fromStdString(text);
}

inline std::string ToStdString(const QString& text)
{
    return text.toStdString();
}

} // namespace tessvale
