#include "app/conversion/WrittenChinesePreparation.h"

#include "app/conversion/LiteralMasking.h"
#include "app/conversion/ResourceFile.h"
#include "app/conversion/WrittenExamples.h"
#include "platform/text/CharacterClass.h"
#include "platform/text/Graphemes.h"
#include "platform/text/Regex.h"
#include "platform/text/Utf16.h"

#include <algorithm>

namespace kivo::WrittenChinesePreparation {

namespace {

constexpr std::u16string_view sentenceEnds = u"。！？；\n";

struct WorkingRule {
    std::u16string from;
    std::u16string to;
    std::string fromUtf8;
    std::string toUtf8;
    std::size_t characters = 0;
    bool bare = false;
};

std::vector<WorkingRule> workingRules(const std::vector<Rule>& given, bool includeBareWriteRule)
{
    std::vector<WorkingRule> working;
    auto add = [&working](const Rule& rule, bool bare) {
        WorkingRule w;
        w.from = Utf16::fromUtf8(rule.from);
        w.to = Utf16::fromUtf8(rule.to);
        w.fromUtf8 = rule.from;
        w.toUtf8 = rule.to;
        w.characters = Graphemes::boundaries(w.from).size() - 1;
        w.bare = bare;
        working.push_back(std::move(w));
    };
    for (const Rule& rule : given) {
        add(rule, false);
    }
    if (includeBareWriteRule) {
        add(bareWriteRule(), true);
    }
    std::stable_sort(working.begin(), working.end(),
                     [](const WorkingRule& a, const WorkingRule& b) { return a.characters > b.characters; });
    // An empty phrase would match everywhere without advancing.
    std::erase_if(working, [](const WorkingRule& rule) { return rule.characters == 0; });
    return working;
}

bool atSentenceStart(std::u16string_view text, std::size_t cursor)
{
    std::size_t end = cursor;
    while (end > 0 && (text[end - 1] == u' ' || text[end - 1] == u'\t')) {
        --end;
    }
    return end == 0 || sentenceEnds.find(text[end - 1]) != std::u16string_view::npos;
}

void checkSource(const std::string& text)
{
    if (text.size() > SourceLimit::bytes) {
        throw PreparationError();
    }
    if (CharacterClass::isBlank(text)) {
        throw PreparationError();
    }
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator)
{
    std::string result;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            result += separator;
        }
        result += parts[i];
    }
    return result;
}

} // namespace

PreparationError::PreparationError(Code code)
    : ConversionError("Kivo.WrittenChinesePreparation.PreparationError", "emptyOrOversizedSource",
                      static_cast<int>(code))
{
}

const std::vector<Rule>& rules()
{
    static const std::vector<Rule> defaults = {
        {"聽日上午", "明日上午"},     {"聽日下午", "明日下午"},     {"聽日上晝", "明日上午"},
        {"聽日下晝", "明日下午"},     {"可能遲少少", "可能晚一點"}, {"會遲少少", "會晚一點"},
        {"麻煩你寫低", "麻煩你寫下"}, {"幫我寫低", "幫我寫下"},     {"請寫低", "請寫下"},
    };
    return defaults;
}

const Rule& bareWriteRule()
{
    static const Rule rule{"寫低", "寫下"};
    return rule;
}

std::vector<TextRange> protectedRegions(std::u16string_view text)
{
    // Same matches as a plain left-to-right search with the pattern, in linear time: every
    // alternative begins with one of a few characters, so only those positions are tried, and
    // an unterminated straight-quoted run (one that stops at a backslash before a line break or
    // the end) is remembered, since every quote inside it fails at the same place. A plain
    // search would rescan that run from each of those quotes.
    static const Regex pattern{protectedRegionPattern};
    static const Regex quotedRun{"\\\"(?:\\\\.|[^\\\"\\\\])*+"};
    constexpr std::u16string_view starts = u"`「『《〈“\"'h";

    std::vector<TextRange> regions;
    auto matcher = pattern.matcher(text);
    std::optional<Regex::Matcher> runMatcher;
    const auto size = static_cast<std::int64_t>(text.size());
    std::int64_t failingRunEnd = 0;
    std::int64_t position = 0;
    while (position < size) {
        const char16_t c = text[static_cast<std::size_t>(position)];
        if (starts.find(c) == std::u16string_view::npos || (c == u'"' && position < failingRunEnd)) {
            ++position;
            continue;
        }
        if (const auto match = matcher.matchAt(position)) {
            regions.push_back(*match);
            position = match->end();
            continue;
        }
        if (c == u'"') {
            if (!runMatcher) {
                runMatcher = quotedRun.matcher(text);
            }
            // The run pattern matches at least the quote itself.
            failingRunEnd = runMatcher->matchAt(position).value().end();
        }
        ++position;
    }
    return regions;
}

Normalized normalize(const std::string& text)
{
    return normalize(text, rules(), true);
}

Normalized normalize(const std::string& text, const std::vector<Rule>& givenRules, bool includeBareWriteRule)
{
    checkSource(text);
    const std::u16string utf16 = Utf16::fromUtf8(text);
    const auto regions = protectedRegions(utf16);
    const auto working = workingRules(givenRules, includeBareWriteRule);
    const auto bounds = Graphemes::boundaries(utf16);

    Normalized result;
    std::u16string output;
    output.reserve(utf16.size());
    std::size_t region = 0; // first protected region that ends after the cursor
    std::size_t index = 0;  // cursor, as an index into the character boundaries
    while (index + 1 < bounds.size()) {
        const auto cursor = static_cast<std::size_t>(bounds[index]);
        while (region < regions.size() && regions[region].end() <= static_cast<std::int64_t>(cursor)) {
            ++region;
        }
        const WorkingRule* applied = nullptr;
        for (const WorkingRule& rule : working) {
            if (utf16.compare(cursor, rule.from.size(), rule.from) != 0) {
                continue;
            }
            // The occurrence must end on a character boundary to match character by character.
            const std::size_t last = index + rule.characters;
            const auto end = static_cast<std::int64_t>(cursor + rule.from.size());
            if (last >= bounds.size() || bounds[last] != end) {
                continue;
            }
            const TextRange occurrence{static_cast<std::int64_t>(cursor), end - static_cast<std::int64_t>(cursor)};
            if (region < regions.size() && regions[region].intersects(occurrence)) {
                continue;
            }
            if (rule.bare && !atSentenceStart(utf16, cursor)) {
                continue;
            }
            applied = &rule;
            break;
        }
        if (applied != nullptr) {
            result.changes.push_back({applied->fromUtf8, applied->toUtf8, static_cast<std::int64_t>(cursor)});
            output += applied->to;
            index += applied->characters;
        } else {
            const auto next = static_cast<std::size_t>(bounds[index + 1]);
            output.append(utf16, cursor, next - cursor);
            ++index;
        }
    }
    result.text = Utf16::toUtf8(output);
    return result;
}

PreparedRequest request(const std::string& source, const std::filesystem::path& resources,
                        const std::string& instructionsFile, bool protectQuotations)
{
    const Normalized normalized = normalize(source);
    const LiteralMasking::Masked masked = LiteralMasking::mask(normalized.text, protectQuotations);
    const bool withSpans = !masked.spans.empty();

    std::string instructions = ResourceFile::readText(resources, instructionsFile);
    if (withSpans) {
        instructions += LiteralMasking::protectedLiteralNote;
    }

    const std::string examplesFile = "v8-examples.json";
    const auto examples =
        WrittenExamples::decodeExamples(ResourceFile::readText(resources, examplesFile), resources / examplesFile);
    std::vector<std::string> renderings;
    renderings.reserve(examples.size());
    for (const auto& example : examples) {
        const std::string exampleSource = normalize(example.source).text;
        if (withSpans) {
            const auto maskedSource = LiteralMasking::mask(exampleSource, protectQuotations);
            const auto maskedText = LiteralMasking::mask(example.text, protectQuotations);
            const bool sameValues = std::equal(
                maskedSource.spans.begin(), maskedSource.spans.end(), maskedText.spans.begin(), maskedText.spans.end(),
                [](const LiteralMasking::Span& a, const LiteralMasking::Span& b) { return a.value == b.value; });
            if (!sameValues) {
                throw LiteralMasking::ProtectionError(LiteralMasking::ProtectionError::Code::literalMismatch);
            }
            renderings.push_back("粵語：" + maskedSource.text + "\n書面語：" + maskedText.text);
        } else {
            renderings.push_back("粵語：" + exampleSource + "\n書面語：" + example.text);
        }
    }
    instructions += "\n\n" + joined(renderings, "\n\n");

    PreparedRequest prepared;
    prepared.request = {masked.text, "zh-HK", "zh-TW", instructions,
                        withSpans ? "將以下來源轉成貼近原句的日常繁體書面語；保留每個不可改動片段。"
                                  : "將以下來源轉成貼近原句的日常繁體書面語。"};
    prepared.spans = masked.spans;
    prepared.normalizedSource = normalized.text;
    prepared.phraseChanges = normalized.changes;
    return prepared;
}

} // namespace kivo::WrittenChinesePreparation
