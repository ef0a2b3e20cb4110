#pragma once

#include "platform/speech/DictationTranscriber.h"
#include "platform/speech/SpeechTranscriber.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// The fixed recogniser configuration for Hong Kong Cantonese and the rules for hints.
struct SpeechConfiguration {
    static constexpr std::string_view locale = "zh-HK";
    static constexpr std::size_t maximumContextualStrings = 50;
    static constexpr std::size_t maximumContextualLength = 80; // user-perceived characters

    struct ReportingOptions {
        bool volatileResults;
        bool alternativeTranscriptions;
    };
    // Provisional results and alternatives are always asked for.
    static constexpr ReportingOptions reportingOptions{true, true};

    class ConfigurationError : public std::runtime_error {
    public:
        enum class Case {
            emptyContextualString,
            contextualStringTooLong,
            tooManyContextualStrings
        };

        static ConfigurationError emptyContextualString(int position);
        static ConfigurationError contextualStringTooLong(int position);
        static ConfigurationError tooManyContextualStrings();

        Case kind() const { return case_; }
        int position() const { return position_; } // 1-based; 0 for tooManyContextualStrings
        std::string localizedDescription() const { return what(); }

    private:
        ConfigurationError(Case kind, int position, const std::string& message);
        Case case_;
        int position_;
    };

    static std::shared_ptr<SpeechTranscriber> makeTranscriber(std::string_view locale = SpeechConfiguration::locale);
    static std::shared_ptr<DictationTranscriber>
    makeDictationTranscriber(std::string_view locale = SpeechConfiguration::locale);

    // Throws ConfigurationError for the first rule broken; never changes the list.
    static void validate(const std::vector<std::string>& contextualStrings);

    // The candidates that add something beyond the primary text, untrimmed, in input order.
    static std::vector<std::string> distinctAlternatives(std::string_view primary,
                                                         const std::vector<std::string>& candidates);
};

} // namespace kivo
