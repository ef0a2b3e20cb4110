#include "app/speech/SpeechDetails.h"

#include <QCoreApplication>

#include <cstdio>

namespace kivo::SpeechDetails {
namespace {

std::string formatted(const char* format, double a, double b = 0.0)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

} // namespace

std::string infoLine(SpeechEngine selected, const std::optional<SpeechDiagnostics>& last)
{
    const std::string base =
        selected.title() + " · zh-HK · " + QCoreApplication::translate("SpeechDetails", "On-device").toStdString();
    if (last) {
        return base +
               QCoreApplication::translate("SpeechDetails", " | Last %1, recording + finish: ")
                   .arg(QString::fromStdString(last->engine.title()))
                   .toStdString() +
               formatted("%.1f s", last->elapsedSeconds);
    }
    return base + selected.detail();
}

std::string text(const std::optional<SpeechDiagnostics>& diagnostics, const std::string& lastPartial)
{
    const std::string separator = QCoreApplication::translate("SpeechDetails", ", ", "list separator").toStdString();
    if (!diagnostics) {
        return QCoreApplication::translate("SpeechDetails", "Incomplete provisional text (not final): ").toStdString() +
               "\n" + lastPartial;
    }
    std::string out = diagnostics->description + "\n\n" +
                      QCoreApplication::translate("SpeechDetails", "Final transcript").toStdString() + "\n" +
                      diagnostics->finalText;
    int number = 0;
    for (const auto& segment : diagnostics->finalSegments) {
        out += "\n\n[" + std::to_string(++number) + "] " +
               formatted("%.2f\u2013%.2f s", segment.startSeconds, segment.endSeconds) + "\n" + segment.text;
        if (segment.fromProvisional) {
            out += std::string("\n") +
                   QCoreApplication::translate("SpeechDetails", "Provisional text kept: finishing ran out of time")
                       .toStdString();
        }
        if (!segment.confidenceSamples.empty()) {
            out += std::string("\n") +
                   QCoreApplication::translate("SpeechDetails", "SDK confidence (not accuracy): ").toStdString();
            for (std::size_t i = 0; i < segment.confidenceSamples.size(); ++i) {
                out += (i ? ", " : "") + formatted("%.2f", segment.confidenceSamples[i]);
            }
        }
        if (!segment.alternatives.empty()) {
            out += std::string("\n") +
                   QCoreApplication::translate("SpeechDetails", "Segment alternatives (never auto-applied): ")
                       .toStdString() +
                   "\n";
            for (std::size_t i = 0; i < segment.alternatives.size(); ++i) {
                out += (i ? "\n" : "") + segment.alternatives[i];
            }
        }
    }
    if (!diagnostics->untranscribed.empty()) {
        out +=
            "\n\n" +
            QCoreApplication::translate("SpeechDetails", "Not transcribed, finishing ran out of time: ").toStdString();
        for (std::size_t i = 0; i < diagnostics->untranscribed.size(); ++i) {
            const auto& [start, end] = diagnostics->untranscribed[i];
            out += (i ? separator : "") + formatted("%.2f\u2013%.2f s", start, end);
        }
    }
    if (diagnostics->contextualStringsApplied) {
        // The recogniser has room for only so many hints; say which ones it used.
        out += "\n\n" + QCoreApplication::translate("SpeechDetails", "Hints used (%1 of %2): ")
                            .arg(QString::number(diagnostics->contextualStringsUsed.size()),
                                 QString::number(diagnostics->contextualStringCount))
                            .toStdString();
        for (std::size_t i = 0; i < diagnostics->contextualStringsUsed.size(); ++i) {
            out += (i ? separator : "") + diagnostics->contextualStringsUsed[i];
        }
    }
    return out;
}

} // namespace kivo::SpeechDetails
