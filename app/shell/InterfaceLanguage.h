#pragma once

#include <QString>

namespace kivo {

// The interface language of the whole application. English is the language of the sources;
// any other is a catalogue compiled into the app as ":/i18n/kivo_<name>.qm".
class InterfaceLanguage {
public:
    // The catalogue of the Traditional Chinese interface.
    static inline const QString traditionalChinese = QStringLiteral("zh_Hant");

    // Installs the catalogue of `name` on the application, replacing the one in use; an empty
    // name returns to English. False, and English, when there is no such catalogue.
    static bool use(const QString& name);
    // The catalogue in use; empty for English.
    static QString current();
};

} // namespace kivo
