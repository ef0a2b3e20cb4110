#include "platform/chinesescript/ChineseScriptConverter.h"

#include "platform/chinesescript/ChineseScriptError.h"

#include <opencc/opencc.h>

#include <algorithm>

namespace kivo {
namespace {

const char* configuration(ChineseScriptConverter::Direction direction)
{
    return direction == ChineseScriptConverter::Direction::toHongKong ? "s2hk.json" : "hk2s.json";
}

// The longest protected literal that starts at `at`, or 0.
std::size_t protectedAt(const std::string& text, std::size_t at, const std::vector<std::string>& literals)
{
    std::size_t longest = 0;
    for (const auto& literal : literals) {
        if (!literal.empty() && literal.size() > longest && text.compare(at, literal.size(), literal) == 0) {
            longest = literal.size();
        }
    }
    return longest;
}

// Bytes of the UTF-8 sequence starting at `at` (1 for ASCII and for stray bytes).
std::size_t sequenceLength(const std::string& text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return std::min(length, text.size() - at);
}

} // namespace

ChineseScriptConverter::ChineseScriptConverter(Direction direction)
{
    try {
        converter_ = std::make_unique<opencc::SimpleConverter>(configuration(direction));
        if (direction == Direction::toHongKong) {
            // 晒 ("all", "completely") would become 曬 (to dry in the sun), and 搵 ("to look
            // for") the mainland form 揾.
            kept_ = {"晒", "搵"};
        }
    } catch (const std::exception& failure) {
        throw ChineseScriptError(std::string("OpenCC cannot load ") + configuration(direction) + ": " + failure.what());
    }
}

ChineseScriptConverter::~ChineseScriptConverter() = default;

const ChineseScriptConverter& ChineseScriptConverter::shared(Direction direction)
{
    if (direction == Direction::toHongKong) {
        static const ChineseScriptConverter toHongKong(Direction::toHongKong);
        return toHongKong;
    }
    static const ChineseScriptConverter toSimplified(Direction::hongKongToSimplified);
    return toSimplified;
}

std::string ChineseScriptConverter::convert(const std::string& text,
                                            const std::vector<std::string>& protectedLiterals) const
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t at = 0;
    std::size_t runStart = std::string::npos; // the pending run of non-ASCII text
    const auto flush = [&] {
        if (runStart != std::string::npos) {
            const std::string run = text.substr(runStart, at - runStart);
            try {
                out += converter_->Convert(run);
            } catch (const std::exception&) {
                out += run; // malformed UTF-8: better unconverted than lost
            }
            runStart = std::string::npos;
        }
    };
    while (at < text.size()) {
        std::size_t kept = protectedAt(text, at, protectedLiterals);
        if (kept == 0) {
            kept = protectedAt(text, at, kept_);
        }
        if (kept != 0) {
            flush();
            out.append(text, at, kept);
            at += kept;
        } else if (static_cast<unsigned char>(text[at]) < 0x80) {
            flush();
            out += text[at];
            ++at;
        } else {
            if (runStart == std::string::npos) {
                runStart = at;
            }
            at += sequenceLength(text, at);
        }
    }
    flush();
    return out;
}

} // namespace kivo
