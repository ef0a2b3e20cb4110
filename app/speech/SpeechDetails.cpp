#include "app/speech/SpeechDetails.h"

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

std::string infoLine(SpeechEngine selected, const std::optional<SpeechDiagnostics>& last, bool chinese)
{
    const std::string base = std::string(selected.title(chinese)) + " · zh-HK · " + (chinese ? "本機" : "On-device");
    if (last) {
        const std::string title(last->engine.title(chinese));
        return base + (chinese ? " ｜上次 " + title + " 錄音＋收尾：" : " | Last " + title + ", recording + finish: ") +
               formatted("%.1f s", last->elapsedSeconds);
    }
    return base + std::string(chinese ? selected.detail() : selected.englishDetail());
}

std::string text(const std::optional<SpeechDiagnostics>& diagnostics, const std::string& lastPartial, bool chinese)
{
    if (!diagnostics) {
        return std::string(chinese ? "未完成的暫定文字（不作最終結果）：" : "Incomplete provisional text (not final): ") +
               "\n" + lastPartial;
    }
    std::string out = diagnostics->description + "\n\n" + (chinese ? "最終原文" : "Final transcript") + "\n" +
                      diagnostics->finalText;
    int number = 0;
    for (const auto& segment : diagnostics->finalSegments) {
        out += "\n\n[" + std::to_string(++number) + "] " +
               formatted("%.2f\u2013%.2f s", segment.startSeconds, segment.endSeconds) + "\n" + segment.text;
        if (segment.fromProvisional) {
            out += std::string("\n") + (chinese ? "收尾時間不足，保留暫定文字" : "Provisional text kept: finishing ran out of time");
        }
        if (!segment.confidenceSamples.empty()) {
            out += std::string("\n") + (chinese ? "SDK 信心值（不是正確率）：" : "SDK confidence (not accuracy): ");
            for (std::size_t i = 0; i < segment.confidenceSamples.size(); ++i) {
                out += (i ? ", " : "") + formatted("%.2f", segment.confidenceSamples[i]);
            }
        }
        if (!segment.alternatives.empty()) {
            out += std::string("\n") +
                   (chinese ? "候選片段（不會自動替換）：" : "Segment alternatives (never auto-applied): ") + "\n";
            for (std::size_t i = 0; i < segment.alternatives.size(); ++i) {
                out += (i ? "\n" : "") + segment.alternatives[i];
            }
        }
    }
    if (!diagnostics->untranscribed.empty()) {
        out += "\n\n" + std::string(chinese ? "收尾時間不足，以下錄音未能辨識：" : "Not transcribed, finishing ran out of time: ");
        for (std::size_t i = 0; i < diagnostics->untranscribed.size(); ++i) {
            const auto& [start, end] = diagnostics->untranscribed[i];
            out += (i ? (chinese ? "、" : ", ") : "") + formatted("%.2f\u2013%.2f s", start, end);
        }
    }
    if (diagnostics->contextualStringsApplied) {
        // The recogniser has room for only so many hints; say which ones it used.
        const std::string used = std::to_string(diagnostics->contextualStringsUsed.size());
        const std::string all = std::to_string(diagnostics->contextualStringCount);
        out += "\n\n" + (chinese ? "已用提示（" + used + "／" + all + "）：" : "Hints used (" + used + " of " + all + "): ");
        for (std::size_t i = 0; i < diagnostics->contextualStringsUsed.size(); ++i) {
            out += (i ? (chinese ? "、" : ", ") : "") + diagnostics->contextualStringsUsed[i];
        }
    }
    return out;
}

} // namespace kivo::SpeechDetails
