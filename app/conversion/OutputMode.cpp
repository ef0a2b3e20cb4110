#include "app/conversion/OutputMode.h"

#include "app/conversion/ResourceFile.h"
#include "app/conversion/SourceLimit.h"
#include "app/conversion/WrittenChinesePreparation.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Graphemes.h"
#include "platform/text/Regex.h"
#include "platform/text/ScriptTransform.h"
#include "platform/text/TextError.h"
#include "platform/text/Utf16.h"

#include <QtGlobal>

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
    static const Regex regex{R"((?:確認|确认|完成|回覆|回复|收到|試|试|做|交|看|睇|了)先(?=[，。！？、；,.!?;\s]|$))"};
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
        throw OutputMode::InputError(OutputMode::InputError::Code::cleanupChangedWords);
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

// One row per mode, in the pop-up's order. A new mode is a row here and its instructions file
// in resources/.
constexpr OutputMode::Row rows[] = {
    {"yue-Hant", "cantonese", QT_TRANSLATE_NOOP("OutputMode", "Cantonese"), "粵語整理",
     QT_TRANSLATE_NOOP("OutputMode", "Keep Cantonese words; tidy punctuation and spacing."), "floating-cantonese.txt",
     "zh-HK", OutputMode::Pipeline::literalMasking, OutputMode::Finish::cantoneseTidy, OutputMode::Review::never},
    {"zh-Hant", "written", QT_TRANSLATE_NOOP("OutputMode", "Traditional Chinese"), "書面轉換",
     QT_TRANSLATE_NOOP("OutputMode", "Convert Cantonese into natural Traditional written Chinese."),
     "floating-written.txt", "zh-TW", OutputMode::Pipeline::writtenChinesePreparation, OutputMode::Finish::none,
     OutputMode::Review::colloquialResidue},
    {"zh-Hans", "simplified", QT_TRANSLATE_NOOP("OutputMode", "Simplified Chinese"), "簡體書面轉換",
     QT_TRANSLATE_NOOP("OutputMode", "Convert Cantonese into written Chinese, then Simplified characters."),
     "floating-written.txt", "zh-TW", OutputMode::Pipeline::writtenChinesePreparation,
     OutputMode::Finish::simplifiedScript, OutputMode::Review::colloquialResidue},
    {"en", "english", QT_TRANSLATE_NOOP("OutputMode", "English"), "英文翻譯",
     QT_TRANSLATE_NOOP("OutputMode", "Translate Cantonese into natural English without summarizing or adding content."),
     "floating-english.txt", "en-US", OutputMode::Pipeline::literalMasking, OutputMode::Finish::none,
     OutputMode::Review::hanScript},
};
constexpr std::size_t standardRow = 1;

const std::vector<OutputMode>& modes()
{
    static const std::vector<OutputMode> all = [] {
        std::vector<OutputMode> list;
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            list.push_back(OutputMode::at(static_cast<int>(i)));
        }
        return list;
    }();
    return all;
}

} // namespace

OutputMode::InputError::InputError(Code code)
    : ConversionError("Kivo.OutputMode.InputError",
                      code == Code::invalidSelection ? "invalidSelection"
                      : code == Code::emptyOrTooLong ? "emptyOrTooLong"
                                                     : "cleanupChangedWords",
                      static_cast<int>(code),
                      code == Code::invalidSelection ? "選取範圍已失效，請重新選取。"
                      : code == Code::emptyOrTooLong
                          ? "請輸入文字；短句試用上限為 24,000 UTF-8 bytes。"
                          : "粵語整理改動了原文字詞，結果已攔下。可重新處理，或改用書面轉換。"),
      code_(code)
{
}

std::span<const OutputMode> OutputMode::all()
{
    return modes();
}

OutputMode OutputMode::standard()
{
    return OutputMode(&rows[standardRow]);
}

OutputMode OutputMode::at(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= std::size(rows)) {
        return standard();
    }
    return OutputMode(&rows[index]);
}

int OutputMode::index() const
{
    return static_cast<int>(row_ - rows);
}

std::optional<OutputMode> OutputMode::fromId(std::string_view id)
{
    for (const OutputMode mode : all()) {
        if (mode.id() == id) {
            return mode;
        }
    }
    return std::nullopt;
}

std::optional<OutputMode> OutputMode::fromModeName(std::string_view name)
{
    for (const OutputMode mode : all()) {
        if (mode.modeName() == name) {
            return mode;
        }
    }
    return std::nullopt;
}

OutputMode OutputMode::restored(std::optional<std::string_view> id, std::optional<std::string_view> legacyModeName)
{
    if (id) {
        return fromId(*id).value_or(standard());
    }
    return legacyModeName && *legacyModeName == "cantonese" ? *fromModeName("cantonese") : standard();
}

std::string OutputMode::selectedSource(const std::string& text, TextRange range)
{
    if (range.length <= 0) {
        return text;
    }
    if (range.location == TextRange::notFound || range.location < 0) {
        throw InputError(InputError::Code::invalidSelection);
    }
    const std::u16string utf16 = Utf16::fromUtf8(text);
    const auto size = static_cast<std::int64_t>(utf16.size());
    // A start past the end leaves a negative room, which no positive length fits.
    if (size - range.location < range.length) {
        throw InputError(InputError::Code::invalidSelection);
    }
    if (!Graphemes::isBoundary(utf16, range.location) || !Graphemes::isBoundary(utf16, range.end())) {
        throw InputError(InputError::Code::invalidSelection);
    }
    return Utf16::toUtf8(std::u16string_view(utf16).substr(static_cast<std::size_t>(range.location),
                                                           static_cast<std::size_t>(range.length)));
}

PreparedRequest OutputMode::request(const std::string& source, const std::filesystem::path& resources) const
{
    if (source.size() > SourceLimit::bytes || CharacterClass::isBlank(source)) {
        throw InputError(InputError::Code::emptyOrTooLong);
    }
    const std::string instructionsFile(row_->instructions);
    if (row_->pipeline == Pipeline::writtenChinesePreparation) {
        auto prepared = WrittenChinesePreparation::request(source, resources, "floating-written-base.txt", true);
        prepared.request.instructions += "\n" + ResourceFile::readText(resources, instructionsFile);
        prepared.request.locale = row_->locale;
        prepared.request.taskPrefix = writtenTaskPrefix;
        return prepared;
    }
    const auto masked = LiteralMasking::mask(source, false);
    PreparedRequest prepared;
    prepared.request = {masked.text, "zh-HK", std::string(row_->locale),
                        ResourceFile::readText(resources, instructionsFile), std::string(cantoneseTaskPrefix)};
    if (!masked.spans.empty()) {
        prepared.request.instructions += LiteralMasking::protectedLiteralNote;
    }
    prepared.spans = masked.spans;
    prepared.normalizedSource = source;
    return prepared;
}

std::string OutputMode::restore(const std::string& modelText, const std::string& source,
                                const std::vector<LiteralMasking::Span>& spans) const
{
    std::string text = modelText;
    if (row_->finish == Finish::simplifiedScript) {
        const auto transformed = ScriptTransform::traditionalToSimplified(Utf16::fromUtf8(text));
        if (!transformed) {
            throw LiteralMasking::ProtectionError(LiteralMasking::ProtectionError::Code::literalMismatch);
        }
        text = Utf16::toUtf8(*transformed);
    }
    std::string restored = LiteralMasking::restore(text, spans);
    if (row_->finish == Finish::cantoneseTidy) {
        return tidyCantonese(restored, source);
    }
    return restored;
}

bool OutputMode::needsReview(const std::string& result, const std::optional<std::string>& source) const
{
    try {
        return needsReviewUnchecked(result, source);
    } catch (const TextError&) {
        // A result we cannot inspect is never passed on unreviewed.
        return true;
    }
}

bool OutputMode::needsReviewUnchecked(const std::string& result, const std::optional<std::string>& source) const
{
    switch (row_->review) {
    case Review::never: return false;
    case Review::hanScript: return hanRegex().search(Utf16::fromUtf8(result));
    case Review::colloquialResidue: break;
    }
    std::u16string working = Utf16::fromUtf8(result);
    if (source) {
        const std::u16string original = Utf16::fromUtf8(*source);
        for (const TextRange& quotation : LiteralMasking::findQuotations(original)) {
            replaceAll(working,
                       std::u16string_view(original).substr(static_cast<std::size_t>(quotation.location),
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
