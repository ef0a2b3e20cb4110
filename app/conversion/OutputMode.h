#pragma once

#include "app/conversion/ConversionError.h"
#include "app/conversion/LiteralMasking.h"
#include "app/conversion/PreparedRequest.h"
#include "platform/text/TextRange.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// The text the user asks for: one row of the mode table says how it is titled and stored, which
// instructions the model gets, how the source is prepared, how the answer is finished and when
// the result must be reviewed. The order of the rows is the pop-up's order.
class OutputMode {
public:
    enum class Pipeline {
        literalMasking,            // the source as spoken, Latin literals masked
        writtenChinesePreparation, // phrases normalised, literals and quotations masked, examples
    };
    enum class Finish {
        none,
        simplifiedScript,
        cantoneseTidy
    };
    enum class Review {
        never,
        hanScript,         // any Chinese character left in a translation
        colloquialResidue, // spoken forms, deferrals or double negations left in written Chinese
    };

    struct Row {
        std::string_view id;       // stored as the target language
        std::string_view modeName; // the mode's older stored name
        // The pop-up's item and the note under it, in English: the interface shows them through
        // the catalogue, in the context "OutputMode".
        std::string_view languageTitle;
        std::string_view title; // Chinese only: a translated status may name the mode by it (%m)
        std::string_view detail;
        std::string_view instructions; // resource file read for every request
        std::string_view locale;
        Pipeline pipeline;
        Finish finish;
        Review review;
    };

    class InputError : public ConversionError {
    public:
        enum class Code {
            invalidSelection = 0,
            emptyOrTooLong = 1,
            cleanupChangedWords = 2
        };
        explicit InputError(Code code);
        Code reason() const { return code_; }

    private:
        Code code_;
    };

    static constexpr std::string_view cantoneseTaskPrefix = "只輸出處理後的正文。";
    static constexpr std::string_view writtenTaskPrefix =
        "將以下口述文字整理成自然流暢的繁體書面語，保留原意與必要細節，補好斷句及標點。";

    static std::span<const OutputMode> all();
    // Traditional written Chinese: what a new user and an unknown stored value get.
    static OutputMode standard();
    // The mode at a pop-up index; an index outside the table gives the standard mode.
    static OutputMode at(int index);
    static std::optional<OutputMode> fromId(std::string_view id);
    static std::optional<OutputMode> fromModeName(std::string_view name);
    // The mode a stored preferences record names: unknown ids fall back to the standard mode;
    // records from before the id was stored only knew "cantonese" by its mode name.
    static OutputMode restored(std::optional<std::string_view> id, std::optional<std::string_view> legacyModeName);

    const Row& row() const { return *row_; }
    int index() const;
    std::string_view id() const { return row_->id; }
    std::string_view modeName() const { return row_->modeName; }
    std::string_view title() const { return row_->title; }

    // The part of `text` inside the UTF-16 `range`; a range of length 0 or less selects all.
    // Throws InputError::invalidSelection for a range outside the text or splitting a character.
    static std::string selectedSource(const std::string& text, TextRange range);

    // The request sent to the rewrite runner. Reads the instruction and example files from
    // `resources` on every call.
    PreparedRequest request(const std::string& source, const std::filesystem::path& resources) const;

    // The model's answer with this mode's fixes applied and the literals put back.
    std::string restore(const std::string& modelText, const std::string& source,
                        const std::vector<LiteralMasking::Span>& spans) const;

    // Whether the user must compare the result with the source before it may be used.
    bool needsReview(const std::string& result, const std::optional<std::string>& source) const;

    bool operator==(const OutputMode& other) const { return row_ == other.row_; }

private:
    explicit constexpr OutputMode(const Row* row) : row_(row) {}
    bool needsReviewUnchecked(const std::string& result, const std::optional<std::string>& source) const;

    const Row* row_;
};

} // namespace kivo
