#include "platform/speech/HallucinationFilter.h"

#include "platform/text/Utf8Text.h"

#include <unicode/uchar.h>

#include <array>
#include <cstdint>
#include <vector>

namespace kivo::HallucinationFilter {

namespace {

// Compared after removing spaces and punctuation and lower-casing ASCII.
constexpr std::array<std::string_view, 22> knownPhrases{
    "請不吝點贊訂閱轉發打賞支持明鏡與點點欄目",
    "请不吝点赞订阅转发打赏支持明镜与点点栏目",
    "字幕由amaraorg社區提供",
    "字幕由amaraorg社区提供",
    "小編字幕由amaraorg社區提供",
    "謝謝觀看",
    "谢谢观看",
    "多謝收睇",
    "多謝觀看",
    "感謝收看",
    "感谢收看",
    "請訂閱我的頻道",
    "请订阅我的频道",
    "訂閱",
    "字幕",
    "音樂",
    "音乐",
    "thankyouforwatching",
    "thanksforwatching",
    "pleasesubscribe",
    "music",
    "you",
};

std::string compact(std::string_view text)
{
    std::string out;
    for (const Utf8Text::CodePoint& point : Utf8Text::codePoints(text)) {
        const UChar32 c = point.value;
        if (c < 0 || u_isUWhiteSpace(c) || u_ispunct(c) || u_charType(c) == U_MATH_SYMBOL ||
            u_charType(c) == U_OTHER_SYMBOL) {
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else {
            out.append(text.substr(point.begin, point.length));
        }
    }
    return out;
}

} // namespace

bool isKnownPhrase(std::string_view text)
{
    const std::string key = compact(text);
    if (key.empty()) {
        return false;
    }
    for (const auto phrase : knownPhrases) {
        if (key == phrase) {
            return true;
        }
    }
    return false;
}

bool isNoSpeech(double noSpeechProbability, double averageLogProbability)
{
    return noSpeechProbability > 0.6 && averageLogProbability < -1.0;
}

bool isInvention(std::string_view text, double noSpeechProbability, double averageLogProbability)
{
    if (isNoSpeech(noSpeechProbability, averageLogProbability)) {
        return true;
    }
    return isKnownPhrase(text) && (noSpeechProbability > 0.3 || averageLogProbability < -0.7);
}

std::string collapsedRepeats(std::string_view text)
{
    const std::vector<Utf8Text::CodePoint> characters = Utf8Text::codePoints(text);
    const std::size_t count = characters.size();
    const auto byteAt = [&](std::size_t at) { return at < count ? characters[at].begin : text.size(); };
    const auto same = [&](std::size_t a, std::size_t b, std::size_t period) {
        for (std::size_t i = 0; i < period; ++i) {
            if (characters[a + i].value != characters[b + i].value) {
                return false;
            }
        }
        return true;
    };
    // A unit of one character over and over ("哈哈哈哈") is reduplication, not a loop.
    const auto loopUnit = [&](std::size_t at, std::size_t period) {
        bool letter = false;
        bool mixed = false;
        for (std::size_t i = at; i < at + period; ++i) {
            if (u_isdigit(characters[i].value)) {
                return false;
            }
            letter = letter || u_isalpha(characters[i].value);
            mixed = mixed || characters[i].value != characters[at].value;
        }
        return letter && mixed;
    };

    constexpr std::size_t minimumCopies = 4;
    constexpr std::size_t minimumSpan = 16;
    std::string out;
    std::size_t at = 0;
    while (at < count) {
        std::size_t skip = 0;
        // The shortest unit first, so "abab..." is cut to "ab", not "abab".
        for (std::size_t period = 2; at + minimumCopies * period <= count && skip == 0; ++period) {
            if (!loopUnit(at, period)) {
                continue;
            }
            std::size_t copies = 1;
            while (at + (copies + 1) * period <= count && same(at, at + copies * period, period)) {
                ++copies;
            }
            if (copies >= minimumCopies && copies * period >= minimumSpan) {
                out.append(text.substr(byteAt(at), byteAt(at + period) - byteAt(at)));
                skip = copies * period;
            }
        }
        if (skip == 0) {
            out.append(text.substr(byteAt(at), byteAt(at + 1) - byteAt(at)));
            skip = 1;
        }
        at += skip;
    }
    return out;
}

} // namespace kivo::HallucinationFilter
