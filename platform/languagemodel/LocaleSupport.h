#pragma once

#include <string_view>

namespace kivo {

// Which locales the language model writes. The model is a multilingual chat model that knows
// Chinese in both scripts, Cantonese and English, so the rule goes by the language alone:
// a BCP 47 or POSIX-style identifier ("zh-HK", "zh_TW", "zh-Hant-HK", "yue", "en-US", "en")
// is supported when its language subtag is zh, yue or en, in any letter case, whatever script
// and region follow. Anything else, including an empty or malformed identifier, is not.
namespace LocaleSupport {

bool supports(std::string_view identifier);

} // namespace LocaleSupport
} // namespace kivo
