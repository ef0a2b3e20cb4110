#include "app/speech/PrepareSpeech.h"

#include "app/speech/CancellationError.h"
#include "app/speech/HongKongTranscript.h"
#include "app/speech/RecorderFailure.h"
#include "app/speech/SpeechConfiguration.h"
#include "platform/chinesescript/ChineseScriptConverter.h"
#include "platform/chinesescript/ChineseScriptError.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace kivo {

namespace {

void checkpoint(const std::stop_token& stop)
{
    if (stop.stop_requested()) {
        throw CancellationError();
    }
}

// zh_HK and zh-HK match, zh-Hant-HK does not.
bool isHongKong(std::string identifier)
{
    std::replace(identifier.begin(), identifier.end(), '_', '-');
    std::transform(identifier.begin(), identifier.end(), identifier.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return identifier == "zh-hk";
}

} // namespace

PreparedSpeech prepareSpeech(const SpeechSettings& settings, Recognizer& recognizer, std::stop_token stop)
{
    const std::string_view locale = SpeechConfiguration::locale;
    const bool dictation = settings.engine == SpeechEngine::dictation;

    std::vector<std::string> installed;
    if (dictation) {
        installed = recognizer.installedLocales(Transcriber::Kind::dictation);
    } else {
        if (!recognizer.isSpeechTranscriberAvailable()) {
            throw RecorderFailure::unavailable();
        }
        installed = recognizer.installedLocales(Transcriber::Kind::general);
    }

    PreparedSpeech::Transcriber transcriber;
    std::shared_ptr<Transcriber> module;
    if (dictation) {
        auto made = SpeechConfiguration::makeDictationTranscriber(locale);
        module = made;
        transcriber = std::move(made);
    } else {
        auto made = SpeechConfiguration::makeTranscriber(locale);
        module = made;
        transcriber = std::move(made);
    }
    const Recognizer::Modules modules{module};

    checkpoint(stop);
    if (std::none_of(installed.begin(), installed.end(), isHongKong)) {
        throw RecorderFailure::localeNotInstalled(std::string(settings.engine.rawValue()));
    }
    const auto format = recognizer.bestAvailableAudioFormat(modules);
    if (!format) {
        throw RecorderFailure::noAudioFormat();
    }
    checkpoint(stop);

    std::shared_ptr<SpeechAnalyzer> analyzer = recognizer.makeAnalyzer(modules);
    std::shared_ptr<Channel<AnalyzerInput>> continuation;
    try {
        const bool hints = dictation && !settings.contextualStrings.empty();
        if (hints || settings.longestWindow > 0.0) {
            AnalysisContext context;
            if (hints) {
                context.contextualStrings[AnalysisContext::generalTag] = settings.contextualStrings;
            }
            context.longestWindow = settings.longestWindow;
            analyzer->setContext(context);
            checkpoint(stop);
        }
        analyzer->prepareToAnalyze(*format);
        checkpoint(stop);
        continuation = std::make_shared<Channel<AnalyzerInput>>();
        analyzer->start(continuation);
        checkpoint(stop);
    } catch (...) {
        if (continuation) {
            continuation->finish();
        }
        // Already off the main thread (the recorder bounds preparation), so wait for it here.
        analyzer->cancelAndFinishNow();
        throw;
    }
    PreparedSpeech prepared{std::move(transcriber),
                            std::move(analyzer),
                            *format,
                            std::move(continuation),
                            HongKongTranscript::applies(recognizer.decodingLanguage(), settings.hongKongCharacters),
                            settings.contextualStrings};
    if (prepared.hongKongCharacters) {
        try {
            ChineseScriptConverter::shared(ChineseScriptConverter::Direction::toHongKong);
        } catch (const ChineseScriptError&) {
            prepared.hongKongCharacters = false; // without OpenCC's data the text stays as decoded
        }
    }
    return prepared;
}

} // namespace kivo
