#include "platform/text/ScriptTransform.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>

namespace kivo::ScriptTransform {

namespace {

// Creating the transliterator parses its rules (milliseconds); cloning the prototype is cheap
// and keeps each call's instance private to its thread.
const icu::Transliterator* prototype()
{
    static const std::unique_ptr<icu::Transliterator> instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> created(
            icu::Transliterator::createInstance("Traditional-Simplified", UTRANS_FORWARD, status));
        if (U_FAILURE(status)) {
            created.reset();
        }
        return created;
    }();
    return instance.get();
}

} // namespace

std::optional<std::u16string> traditionalToSimplified(std::u16string_view text)
{
    const icu::Transliterator* base = prototype();
    if (base == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<icu::Transliterator> transliterator(base->clone());
    if (!transliterator) {
        return std::nullopt;
    }
    icu::UnicodeString buffer(text.data(), static_cast<int32_t>(text.size()));
    transliterator->transliterate(buffer);
    return std::u16string(buffer.getBuffer(), static_cast<std::size_t>(buffer.length()));
}

} // namespace kivo::ScriptTransform
