#pragma once

#include <QString>

namespace kivo::Localization {

// Every user-visible text exists in Traditional Chinese and English; the interface language
// picks one at the moment it is shown.
inline QString tr(bool chinese, const char* chineseText, const char* englishText)
{
    return QString::fromUtf8(chinese ? chineseText : englishText);
}

inline QString tr(bool chinese, const QString& chineseText, const QString& englishText)
{
    return chinese ? chineseText : englishText;
}

} // namespace kivo::Localization
