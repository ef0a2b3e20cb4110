#include "app/conversion/WritingMode.h"

#include "app/conversion/ResourceFile.h"
#include "app/conversion/V8Preparation.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Graphemes.h"
#include "platform/text/Regex.h"
#include "platform/text/ScriptTransform.h"
#include "platform/text/TextError.h"
#include "platform/text/Utf16.h"

#include <unicode/utf16.h>

namespace kivo {

namespace {

const Regex& hanRegex()
{
    static const Regex regex{R"(\p{Han})"};
    return regex;
}

const Regex& doubleNegationRegex()
{
    static const Regex regex{R"((?:唔係|不是)[\s，,。]*?(?:唔係|不是))"};
    return regex;
}

const Regex& deferralRegex()
{
    static const Regex regex{
        R"((?:確認|确认|完成|回覆|回复|收到|試|试|做|交|看|睇|了)先(?=[，。！？、；,.!?;\s]|$))"};
    return regex;
}

const Regex& residueRegex()
{
    static const Regex regex{"我哋|佢哋|唔|冇|喺|嗰|咗|畀|聽日|聽朝|話你知|啱|都係|听日|听朝|话你知|"
                             "點樣|点样|傾下|倾下|即係|即系|咩|點解|点解|邊個|边个|少少|啲|咁|噉"};
    return regex;
}

std::u16string wordSkeleton(std::u16string_view text)
{
    std::u16string skeleton;
    skeleton.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t c = Utf16::codePointAt(text, i);
        const std::size_t width = U16_LENGTH(c);
        if (!CharacterClass::isPunctuation(c) && !CharacterClass::isWhitespaceOrNewline(c)) {
            skeleton.append(text.substr(i, width));
        }
        i += width;
    }
    return skeleton;
}

void replaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to)
{
    if (from.empty()) {
        return;
    }
    std::u16string result;
    result.reserve(text.size());
    std::size_t cursor = 0;
    for (auto found = text.find(from); found != std::u16string::npos; found = text.find(from, cursor)) {
        result.append(text, cursor, found - cursor);
        result += to;
        cursor = found + from.size();
    }
    result.append(text, cursor, std::u16string::npos);
    text = std::move(result);
}

// Cantonese tidying may only touch punctuation and spacing.
std::string tidyCantonese(const std::string& restored, const std::string& source)
{
    std::u16string result = Utf16::fromUtf8(restored);
    const std::u16string original = Utf16::fromUtf8(source);
    if (wordSkeleton(result) != wordSkeleton(original)) {
        throw WritingMode::InputError(WritingMode::InputError::Code::cleanupChangedWords);
    }
    if (original.find(u'?') == std::u16string::npos && original.find(u'？') == std::u16string::npos) {
        for (char16_t& c : result) {
            if (c == u'？' || c == u'?') {
                c = u'。';
            }
        }
    }
    const std::u16string_view trimmed = CharacterClass::trimWhitespaceAndNewlines(result);
    if (!trimmed.empty()) {
        // The last user-perceived character decides; its first scalar carries its class.
        const auto bounds = Graphemes::boundaries(trimmed);
        const auto lastStart = static_cast<std::size_t>(bounds[bounds.size() - 2]);
        if (CharacterClass::isLetterOrNumber(Utf16::codePointAt(trimmed, lastStart))) {
            return Utf16::toUtf8(trimmed) + "。";
        }
    }
    return Utf16::toUtf8(result);
}

} // namespace

WritingMode::InputError::InputError(Code code)
    : ConversionError("Kivo.WritingMode.InputError",
                      code == Code::invalidSelection  ? "invalidSelection"
                      : code == Code::emptyOrTooLong ? "emptyOrTooLong"
                                                     : "cleanupChangedWords",
                      static_cast<int>(code),
                      code == Code::invalidSelection  ? "選取範圍已失效，請重新選取。"
                      : code == Code::emptyOrTooLong ? "請輸入文字；短句試用上限為 24,000 UTF-8 bytes。"
                                                     : "粵語整理改動了原文字詞，結果已攔下。可重新處理，或改用書面轉換。"),
      code_(code)
{
}

std::optional<WritingMode> WritingMode::fromRawValue(std::string_view raw)
{
    for (const Value value : allCases) {
        if (WritingMode(value).rawValue() == raw) {
            return WritingMode(value);
        }
    }
    return std::nullopt;
}

std::string_view WritingMode::rawValue() const
{
    switch (value_) {
    case cantonese: return "cantonese";
    case written: return "written";
    case simplified: return "simplified";
    case english: return "english";
    }
    return {};
}

std::string_view WritingMode::title() const
{
    switch (value_) {
    case cantonese: return "粵語整理";
    case written: return "書面轉換";
    case simplified: return "簡體書面轉換";
    case english: return "英文翻譯";
    }
    return {};
}

std::string_view WritingMode::detail() const
{
    switch (value_) {
    case cantonese: return "保留粵語原句，只整理標點與空格。";
    case written: return "粵語轉成自然的繁體書面語，保留原意。";
    case simplified: return "粵語先轉書面語，再轉成簡體字；保留原意。";
    case english: return "整理粵語語意並翻譯成自然英文，不摘要或擴寫。";
    }
    return {};
}

std::string_view WritingMode::englishDetail() const
{
    switch (value_) {
    case cantonese: return "Keep Cantonese words; tidy punctuation and spacing.";
    case written: return "Convert Cantonese into natural Traditional written Chinese.";
    case simplified: return "Convert Cantonese into written Chinese, then Simplified characters.";
    case english: return "Translate Cantonese into natural English without summarizing or adding content.";
    }
    return {};
}

std::string WritingMode::selectedSource(const std::string& text, TextRange range)
{
    if (range.length <= 0) {
        return text;
    }
    if (range.location == TextRange::notFound || range.location < 0) {
        throw InputError(InputError::Code::invalidSelection);
    }
    const std::u16string utf16 = Utf16::fromUtf8(text);
    const auto size = static_cast<std::int64_t>(utf16.size());
    if (range.location > size || size - range.location < range.length) {
        throw InputError(InputError::Code::invalidSelection);
    }
    if (!Graphemes::isBoundary(utf16, range.location) || !Graphemes::isBoundary(utf16, range.end())) {
        throw InputError(InputError::Code::invalidSelection);
    }
    return Utf16::toUtf8(std::u16string_view(utf16).substr(
        static_cast<std::size_t>(range.location), static_cast<std::size_t>(range.length)));
}

RequestDictionary WritingMode::request(const std::string& source,
                                       const std::filesystem::path& resources) const
{
    if (source.size() > sourceByteLimit ||
        CharacterClass::isBlank(source)) {
        throw InputError(InputError::Code::emptyOrTooLong);
    }
    switch (value_) {
    case written:
    case simplified: {
        auto request = V8Preparation::request(source, resources, "floating-written-base.txt", true);
        request["instructions"] += "\n" + ResourceFile::readText(resources, "floating-written.txt");
        request["taskPrefix"] = writtenTaskPrefix;
        return request;
    }
    case cantonese:
    case english: {
        const auto masked = V7Literals::mask(source, false);
        std::string instructions =
            ResourceFile::readText(resources, "floating-" + std::string(rawValue()) + ".txt");
        if (!masked.spans.empty()) {
            instructions += V7Literals::protectedLiteralNote;
        }
        return {
            {"source", masked.text},
            {"sourceLocale", "zh-HK"},
            {"locale", value_ == english ? "en-US" : "zh-HK"},
            {"instructions", instructions},
            {"taskPrefix", std::string(cantoneseTaskPrefix)},
            {"literalMapJSON", V7Literals::encodeSpans(masked.spans)},
        };
    }
    }
    throw InputError(InputError::Code::emptyOrTooLong);
}

std::string WritingMode::restore(const std::string& modelText, const std::string& source,
                                 const std::vector<V7Literals::Span>& spans) const
{
    std::string text = modelText;
    if (value_ == simplified) {
        const auto transformed = ScriptTransform::traditionalToSimplified(Utf16::fromUtf8(text));
        if (!transformed) {
            throw V7Literals::ProtectionError(V7Literals::ProtectionError::Code::literalMismatch);
        }
        text = Utf16::toUtf8(*transformed);
    }
    std::string restored = V7Literals::restore(text, spans);
    if (value_ == cantonese) {
        return tidyCantonese(restored, source);
    }
    return restored;
}

bool WritingMode::needsReview(const std::string& result, const std::optional<std::string>& source) const
{
    try {
        return needsReviewUnchecked(result, source);
    } catch (const TextError&) {
        // A result we cannot inspect is never passed on unreviewed.
        return true;
    }
}

bool WritingMode::needsReviewUnchecked(const std::string& result,
                                       const std::optional<std::string>& source) const
{
    switch (value_) {
    case cantonese:
        return false;
    case english:
        return hanRegex().search(Utf16::fromUtf8(result));
    case written:
    case simplified:
        break;
    }
    std::u16string working = Utf16::fromUtf8(result);
    if (source) {
        const std::u16string original = Utf16::fromUtf8(*source);
        for (const TextRange& quotation : V7Literals::findQuotations(original)) {
            replaceAll(working, std::u16string_view(original).substr(
                                    static_cast<std::size_t>(quotation.location),
                                    static_cast<std::size_t>(quotation.length)),
                       u"");
        }
        if (doubleNegationRegex().search(original)) {
            return true;
        }
    }
    if (deferralRegex().search(working)) {
        return true;
    }
    return residueRegex().search(working);
}

} // namespace kivo
