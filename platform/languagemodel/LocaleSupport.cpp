#include "platform/languagemodel/LocaleSupport.h"

#include <array>
#include <string>

namespace kivo::LocaleSupport {
namespace {

constexpr std::array<std::string_view, 3> languages = {"zh", "yue", "en"};

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiAlnum(char c)
{
    return isAsciiLetter(c) || (c >= '0' && c <= '9');
}

} // namespace

bool supports(std::string_view identifier)
{
    // Every subtag must be 1–8 ASCII letters or digits; the first is the language.
    std::string language;
    std::size_t start = 0;
    bool first = true;
    while (start <= identifier.size()) {
        std::size_t end = identifier.find_first_of("-_", start);
        if (end == std::string_view::npos) {
            end = identifier.size();
        }
        const std::string_view subtag = identifier.substr(start, end - start);
        if (subtag.empty() || subtag.size() > 8) {
            return false;
        }
        for (char c : subtag) {
            if (first ? !isAsciiLetter(c) : !isAsciiAlnum(c)) {
                return false;
            }
        }
        if (first) {
            for (char c : subtag) {
                language += static_cast<char>(c | 0x20);
            }
            first = false;
        }
        start = end + 1;
    }
    for (std::string_view supported : languages) {
        if (language == supported) {
            return true;
        }
    }
    return false;
}

} // namespace kivo::LocaleSupport
