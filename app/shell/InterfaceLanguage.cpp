#include "app/shell/InterfaceLanguage.h"

#include <QCoreApplication>
#include <QTranslator>

#include <memory>

namespace kivo {
namespace {

std::unique_ptr<QTranslator>& installed()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

QString& installedName()
{
    static QString name;
    return name;
}

} // namespace

bool InterfaceLanguage::use(const QString& name)
{
    if (name == current()) {
        return true;
    }
    if (auto& translator = installed()) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
        installedName().clear();
    }
    if (name.isEmpty()) {
        return true;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/kivo_") + name + QStringLiteral(".qm"))) {
        qWarning("No interface catalogue for %s; the interface stays in English.", qPrintable(name));
        return false;
    }
    // Installing sends every widget a LanguageChange event; the panel re-applies its texts itself.
    QCoreApplication::installTranslator(translator.get());
    installed() = std::move(translator);
    installedName() = name;
    return true;
}

QString InterfaceLanguage::current()
{
    return installedName();
}

} // namespace kivo
