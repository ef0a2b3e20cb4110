#pragma once

#include "app/shell/models/MachineSpeed.h"
#include "app/shell/models/ModelCatalogue.h"

#include <optional>
#include <string>

namespace kivo {

// The largest catalogue models this computer runs inside the budgets, from its measured speed.
struct ModelRecommendation {
    // Encoder seconds per second of audio that still follows live speech: small, at 0.20 on
    // 2 cores, finalizes a 60-second recording in about 2.5 s; turbo, at 1.3, falls behind.
    static constexpr double liveSpeechBudget = 0.30;
    // What a conversion may take before the panel gives up on it.
    static constexpr double conversionBudget = 30.0;

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
