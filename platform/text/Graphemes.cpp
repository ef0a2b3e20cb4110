#include "platform/text/Graphemes.h"

#include "platform/text/TextError.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>

namespace kivo::Graphemes {

namespace {

std::unique_ptr<icu::BreakIterator> characterIterator(const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !iterator) {
        throw TextError(std::string("character break iterator unavailable: ") + u_errorName(status));
    }
    iterator->setText(text);
    return iterator;
}

} // namespace

std::vector<std::int64_t> boundaries(std::u16string_view text)
{
    const icu::UnicodeString input(false, text.data(), static_cast<int32_t>(text.size()));
    auto iterator = characterIterator(input);
    std::vector<std::int64_t> result;
    for (int32_t offset = iterator->first(); offset != icu::BreakIterator::DONE; offset = iterator->next()) {
        result.push_back(offset);
    }
    return result;
}

bool isBoundary(std::u16string_view text, std::int64_t offset)
{
    if (offset <= 0 || offset >= static_cast<std::int64_t>(text.size())) {
        return offset == 0 || offset == static_cast<std::int64_t>(text.size());
    }
    const icu::UnicodeString input(false, text.data(), static_cast<int32_t>(text.size()));
    auto iterator = characterIterator(input);
    return iterator->isBoundary(static_cast<int32_t>(offset));
}

} // namespace kivo::Graphemes
