#include "platform/speech/HallucinationFilter.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <array>
#include <cstdint>

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
    std::int32_t index = 0;
    const auto length = static_cast<std::int32_t>(text.size());
    while (index < length) {
        const std::int32_t begin = index;
        UChar32 c = 0;
        U8_NEXT(text.data(), index, length, c);
        if (c < 0 || u_isUWhiteSpace(c) || u_ispunct(c) || u_charType(c) == U_MATH_SYMBOL ||
            u_charType(c) == U_OTHER_SYMBOL) {
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else {
            out.append(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(index - begin)));
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

std::string collapsedRepeats(std::string_view text)
{
    // Try every period from long to short; a unit of at least 2 bytes repeated three or more
    // times in a row is a decoding loop.
    std::string out(text);
    for (std::size_t period = out.size() / 3; period >= 2; --period) {
        for (std::size_t at = 0; at + 3 * period <= out.size(); ++at) {
            std::size_t copies = 1;
            while (at + (copies + 1) * period <= out.size() &&
                   out.compare(at + copies * period, period, out, at, period) == 0) {
                ++copies;
            }
            if (copies >= 3) {
                // Do not cut a multi-byte character in half.
                if (U8_IS_TRAIL(static_cast<unsigned char>(out[at])) ||
                    (at + period < out.size() && U8_IS_TRAIL(static_cast<unsigned char>(out[at + period])))) {
                    continue;
                }
                out.erase(at + period, (copies - 1) * period);
            }
        }
    }
    return out;
}

} // namespace kivo::HallucinationFilter
