// kivo-insert-once TEXT: one automatic insertion from a fresh process, exactly as Kivo makes
// it, with the accessibility library not started before. Prints one JSON line
// {"outcome", "ms", "diagnostics"} and then keeps running, so that the clipboard it may hold
// (the user's contents, given back) stays readable, until its standard input closes.
#include "app/delivery/FocusedInputWriter.h"
#include "platform/accessibility/AccessibilityInputAccess.h"
#include "platform/process/HelpOption.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <unistd.h>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    if (kivo::HelpOption::answer(
            argc, argv, "usage: kivo-insert-once TEXT\nInserts TEXT into the focused input once, as Kivo does.")) {
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: kivo-insert-once TEXT\n");
        return 2;
    }
    QGuiApplication application(argc, argv);
    const std::u16string text = QString::fromLocal8Bit(argv[1]).toStdU16String();
    auto access = std::make_unique<kivo::AccessibilityInputAccess>();
    QElapsedTimer clock;
    clock.start();
    auto insertion = kivo::FocusedInputWriter::insert(text, *access, [&](kivo::InputDelivery outcome) {
        QJsonArray lines;
        for (const std::string& line : access->diagnostics()) {
            lines.append(QString::fromStdString(line));
        }
        const QJsonObject reply{{QStringLiteral("outcome"), QString::fromUtf8(kivo::rawValue(outcome))},
                                {QStringLiteral("ms"), static_cast<double>(clock.nsecsElapsed()) / 1e6},
                                {QStringLiteral("diagnostics"), lines}};
        std::fputs((QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n').constData(), stdout);
        std::fflush(stdout);
    });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&] {
        char buffer[256];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    return QGuiApplication::exec();
}
