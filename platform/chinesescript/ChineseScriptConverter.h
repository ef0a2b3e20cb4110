#pragma once

#include <memory>
#include <string>
#include <vector>

namespace opencc {
class SimpleConverter;
}

namespace kivo {

// Chinese character conversion with OpenCC. Only runs of non-ASCII text are converted, so
// Latin words, digits and ASCII punctuation pass through byte for byte, and so do the
// protected literals (names, terms the user gave) wherever they occur. Towards Hong Kong
// characters, Cantonese words the Simplified tables mistake for other characters stay too.
class ChineseScriptConverter {
public:
    enum class Direction {
        toHongKong,           // Simplified or mixed text to Hong Kong Traditional (s2hk)
        hongKongToSimplified, // for comparing texts whatever their script (hk2s)
    };

    // Throws ChineseScriptError when OpenCC's configuration cannot be loaded.
    explicit ChineseScriptConverter(Direction direction);
    ~ChineseScriptConverter();
    ChineseScriptConverter(const ChineseScriptConverter&) = delete;
    ChineseScriptConverter& operator=(const ChineseScriptConverter&) = delete;

    // One converter per direction for the whole process: loading the dictionaries takes tens
    // of milliseconds, and converting is read-only, so threads share it.
    static const ChineseScriptConverter& shared(Direction direction);

    std::string convert(const std::string& text, const std::vector<std::string>& protectedLiterals = {}) const;

private:
    std::unique_ptr<opencc::SimpleConverter> converter_;
    std::vector<std::string> kept_; // always protected in this direction
};

} // namespace kivo
