#pragma once

#include "app/shell/InterfaceLanguage.h"
#include "tests/support/CoreApplication.h"

#include <gtest/gtest.h>

namespace kivo::test {

// A test's interface language, switched the way the panel switches it and restored at the end
// of the scope. Catalogues need an application object; a test without one gets it here.
class InterfaceLanguageScope {
public:
    explicit InterfaceLanguageScope(bool chinese) : previous_(InterfaceLanguage::current())
    {
        ensureCoreApplication();
        EXPECT_TRUE(InterfaceLanguage::use(chinese ? InterfaceLanguage::traditionalChinese : QString()));
    }
    ~InterfaceLanguageScope() { InterfaceLanguage::use(previous_); }
    InterfaceLanguageScope(const InterfaceLanguageScope&) = delete;
    InterfaceLanguageScope& operator=(const InterfaceLanguageScope&) = delete;

private:
    QString previous_;
};

// What `make()` returns with the interface language set to Chinese or English.
template <typename Make>
auto inLanguage(bool chinese, Make make)
{
    const InterfaceLanguageScope language(chinese);
    return make();
}

} // namespace kivo::test
