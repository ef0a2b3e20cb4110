#pragma once

#include "app/models/MachineSpeed.h"
#include "app/models/ModelCatalogue.h"

#include <optional>
#include <string>

namespace kivo {

// The largest catalogue models this computer runs inside the budgets, from its measured speed.
struct ModelRecommendation {
    // Encoder seconds per second of audio that still follows live speech: small, at 0.20 on
    // 2 cores, finalizes a 60-second recording in about 2.5 s; turbo, at 1.3, falls behind.
    static constexpr double liveSpeechBudget = 0.30;
    // A long conversion's measured seconds that still leave room inside the 30 s a conversion
    // may take: a fifth is kept for a busier moment and for what the measurement leaves out
    // (the runner's start, constrained sampling). At 29 s a 3B-size model fails its longer texts.
    static constexpr double conversionBudget = 24.0;

    struct Choice {
        const ModelCatalogue::Entry* entry = nullptr;
        double figure = 0.0; // the measured figure of its shape
    };

    // Speech: only models that write Cantonese are recommended. None where nothing fits (or
    // nothing was measured).
    std::optional<Choice> speech;
    std::optional<Choice> language;

    static ModelRecommendation choose(const ModelCatalogue& catalogue, const MachineSpeed& speed);

    bool recommends(const ModelCatalogue::Entry& entry) const;
    // "Recommended for this computer (0.20 s per second of audio)", in the interface language.
    static std::string label(ModelRole role, double figure);
};

} // namespace kivo
