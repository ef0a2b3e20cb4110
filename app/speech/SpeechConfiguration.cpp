#include "app/speech/SpeechConfiguration.h"

#include "platform/text/Graphemes.h"
#include "platform/text/Utf16.h"

#include <algorithm>

namespace kivo {

namespace {

// White space and line breaks at both ends.
std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view asciiSpace = " \t\n\r\f\v";
    const auto isSpaceAt = [&](std::size_t at, std::size_t& length) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (asciiSpace.find(static_cast<char>(c)) != std::string_view::npos) {
            length = 1;
            return true;
        }
        // U+0085, U+00A0, U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000
        static constexpr std::string_view wide[] = {
            "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
            "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000"};
        for (const auto space : wide) {
            if (text.substr(at).starts_with(space)) {
                length = space.size();
                return true;
            }
        }
        return false;
    };
    std::size_t begin = 0;
    std::size_t length = 0;
    while (begin < text.size() && isSpaceAt(begin, length)) {
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back to the start of the last character.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        if (!isSpaceAt(start, length) || start + length != end) {
            break;
        }
        end = start;
    }
    return text.substr(begin, end - begin);
}

} // namespace

SpeechConfiguration::ConfigurationError::ConfigurationError(Case kind, int position, const std::string& message)
    : std::runtime_error(message), case_(kind), position_(position)
{
}

SpeechConfiguration::ConfigurationError SpeechConfiguration::ConfigurationError::emptyContextualString(int position)
{
    return {Case::emptyContextualString, position, "Contextual phrase " + std::to_string(position) + " is empty."};
}

SpeechConfiguration::ConfigurationError SpeechConfiguration::ConfigurationError::contextualStringTooLong(int position)
{
    return {Case::contextualStringTooLong, position,
            "Contextual phrase " + std::to_string(position) + " exceeds 80 characters."};
}

SpeechConfiguration::ConfigurationError SpeechConfiguration::ConfigurationError::tooManyContextualStrings()
{
    return {Case::tooManyContextualStrings, 0, "Use at most 50 contextual phrases."};
}

std::shared_ptr<SpeechTranscriber> SpeechConfiguration::makeTranscriber(std::string_view locale)
{
    return std::make_shared<SpeechTranscriber>(std::string(locale), reportingOptions.volatileResults,
                                               reportingOptions.alternativeTranscriptions,
                                               /*transcriptionConfidence=*/true);
}

std::shared_ptr<DictationTranscriber> SpeechConfiguration::makeDictationTranscriber(std::string_view locale)
{
    return std::make_shared<DictationTranscriber>(std::string(locale), /*shortForm=*/true, /*punctuation=*/true,
                                                  reportingOptions.volatileResults,
                                                  reportingOptions.alternativeTranscriptions,
                                                  /*transcriptionConfidence=*/true);
}

void SpeechConfiguration::validate(const std::vector<std::string>& contextualStrings)
{
    if (contextualStrings.size() > maximumContextualStrings) {
        throw ConfigurationError::tooManyContextualStrings();
    }
    int position = 0;
    for (const auto& text : contextualStrings) {
        ++position;
        if (trimmed(text).empty()) {
            throw ConfigurationError::emptyContextualString(position);
        }
        // Boundaries include both ends, so characters are one fewer.
        const auto characters = Graphemes::boundaries(Utf16::fromUtf8(text)).size() - 1;
        if (characters > maximumContextualLength) {
            throw ConfigurationError::contextualStringTooLong(position);
        }
    }
}

std::vector<std::string> SpeechConfiguration::distinctAlternatives(std::string_view primary,
                                                                   const std::vector<std::string>& candidates)
{
    const std::string_view primaryKey = trimmed(primary);
    std::vector<std::string> kept;
    std::vector<std::string_view> keptKeys;
    for (const auto& candidate : candidates) {
        const std::string_view key = trimmed(candidate);
        if (key.empty() || key == primaryKey || std::find(keptKeys.begin(), keptKeys.end(), key) != keptKeys.end()) {
            continue;
        }
        kept.push_back(candidate);
        keptKeys.push_back(key);
    }
    return kept;
}

} // namespace kivo
