#pragma once

#include <QCoreApplication>

namespace kivo::test {

// Tests without widgets need only an event loop; one application object is made on first use.
inline void ensureCoreApplication()
{
    static int argc = 1;
    static char name[] = "kivo-tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        new QCoreApplication(argc, argv);
    }
}

} // namespace kivo::test
