#include "app/speech/HongKongTranscript.h"

#include "platform/chinesescript/ChineseScriptConverter.h"

namespace kivo::HongKongTranscript {
namespace {

bool isContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

std::size_t characters(const std::string& text)
{
    std::size_t count = 0;
    for (const char byte : text) {
        count += isContinuation(byte) ? 0 : 1;
    }
    return count;
}

// The byte offset after `count` characters from `at`.
std::size_t advance(const std::string& text, std::size_t at, std::size_t count)
{
    while (at < text.size() && count > 0) {
        ++at;
        while (at < text.size() && isContinuation(text[at])) {
            ++at;
        }
        --count;
    }
    return at;
}

} // namespace

bool applies(const std::string& decodingLanguage, bool hongKongCharacters)
{
    return hongKongCharacters && decodingLanguage == "zh";
}

void apply(TranscriptionResult& result, const std::vector<std::string>& protectedLiterals)
{
    const auto& converter = ChineseScriptConverter::shared(ChineseScriptConverter::Direction::toHongKong);
    const std::string whole = result.text();
    const std::string converted = converter.convert(whole, protectedLiterals);
    if (characters(converted) == characters(whole)) {
        std::size_t at = 0;
        for (auto& run : result.runs) {
            const std::size_t end = advance(converted, at, characters(run.text));
            run.text = converted.substr(at, end - at);
            at = end;
        }
    } else {
        for (auto& run : result.runs) {
            run.text = converter.convert(run.text, protectedLiterals);
        }
    }
    for (auto& alternative : result.alternatives) {
        alternative = converter.convert(alternative, protectedLiterals);
    }
}

} // namespace kivo::HongKongTranscript
