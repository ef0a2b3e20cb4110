#pragma once

#include "platform/speech/AnalyzerInputConverter.h"
#include "platform/speech/AudioFormat.h"
#include "platform/speech/SpeechAnalyzer.h"
#include "platform/speech/Transcriber.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// The on-device speech service: everything the speech subsystem asks of it besides the
// transcribers themselves.
class Recognizer {
public:
    using Modules = std::vector<std::shared_ptr<Transcriber>>;

    virtual ~Recognizer() = default;

    virtual bool isSpeechTranscriberAvailable() = 0;
    // Locales whose language assets are installed, for one transcriber kind.
    virtual std::vector<std::string> installedLocales(Transcriber::Kind kind) = 0;
    virtual std::optional<AudioFormat> bestAvailableAudioFormat(const Modules& modules) = 0;
    virtual std::shared_ptr<SpeechAnalyzer> makeAnalyzer(Modules modules) = 0;
    virtual std::unique_ptr<AnalyzerInputConverter> makeConverter(const AudioFormat& format) = 0;
    // The language the installed model decodes as ("yue" or "zh"); empty when not known.
    virtual std::string decodingLanguage() { return {}; }
};

} // namespace kivo
