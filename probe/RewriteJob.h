#pragma once

#include "platform/text/TextRange.h"

#include <nlohmann/json.hpp>

#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kivo::RewriteJob {

inline constexpr std::string_view version = "v6.1";

class Operation {
public:
    enum Value : unsigned char {
        dictation,
        rewriteSelection
    };
    constexpr Operation(Value value = dictation) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }             // NOLINT(google-explicit-constructor)
    static constexpr std::array<Value, 2> allCases{dictation, rewriteSelection};
    static std::optional<Operation> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

private:
    Value value_;
};

class Context {
public:
    enum Value : unsigned char {
        general,
        email,
        chat,
        document,
        developer
    };
    constexpr Context(Value value = general) : value_(value) {} // NOLINT(google-explicit-constructor)
    constexpr operator Value() const { return value_; }         // NOLINT(google-explicit-constructor)
    static constexpr std::array<Value, 5> allCases{general, email, chat, document, developer};
    static std::optional<Context> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

private:
    Value value_;
};

struct Correction {
    std::string from;
    std::string to;
    friend bool operator==(const Correction&, const Correction&) = default;
};

struct Input {
    std::string source;
    std::string locale = "zh-HK";
    Operation operation = Operation::dictation;
    Context context = Context::general;
    std::string instruction;
    std::vector<Correction> corrections;
    std::vector<std::string> protectedTerms;
};

struct Prepared {
    Input original;
    std::string normalizedSource;
    std::vector<Correction> appliedCorrections;
    std::string instructions;
    std::string payload;
    std::vector<std::string> protectedAnchors;
};

struct Validation {
    std::vector<std::string> warnings;
    bool humanReviewRequired = true;
    bool automaticInsertionAllowed = false;
};

// The pipeline's own failures. what() is the qualified type and case joined by dots.
class PipelineError : public std::runtime_error {
public:
    enum class Code {
        emptySource,
        unsupportedLocale,
        missingSelectionInstruction,
        unexpectedInstruction,
        invalidCorrection,
        conflictingCorrection,
        oversizedInput,
    };
    static constexpr std::string_view typeName = "pipeline_probe.TextPipeline.PipelineError";
    explicit PipelineError(Code code);
    Code code() const { return code_; }
    static std::string_view caseName(Code code);

private:
    Code code_;
};

// Input JSON that does not decode: what() names the problem and where it is.
class DecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "v6-base.txt" missing, unreadable or not UTF-8.
class ResourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::size_t sourceByteLimit = 24000;
inline constexpr std::size_t instructionByteLimit = 2000;
inline constexpr std::size_t itemCountLimit = 64;
inline constexpr std::size_t itemByteLimit = 200;

inline constexpr std::string_view anchorPattern =
    "https?://[^\\s<>\\\"\uFF0C\u3002\uFF01\uFF1F\u3001]+|`[^`\\n]+`|[A-Za-z0-9]+(?:[._/@-][A-Za-z0-9]+)+";
inline constexpr std::string_view numberPattern = "[0-9]+(?:\\.[0-9]+)?%?";
inline constexpr std::string_view residuePattern = "我哋|佢哋|唔|冇|喺|嗰|咗|畀|聽日|聽朝";

// Decoding requires all seven keys; extra keys are ignored.
Input decodeInput(std::string_view json);
nlohmann::json encode(const Input& input);
nlohmann::json encode(const Prepared& prepared);
nlohmann::json encode(const Validation& validation);

Prepared prepare(const Input& input, const std::filesystem::path& resources);
Validation validate(const std::string& text, const Prepared& prepared);

// The texts of all matches in order; empty when the pattern does not compile.
std::vector<std::string> matches(std::string_view pattern, const std::string& text);

// Anchor-pattern matches as UTF-16 ranges, left to right without overlap.
std::vector<TextRange> anchorRanges(std::u16string_view text);

} // namespace kivo::RewriteJob
