#include "app/models/ModelRecommendation.h"

#include <QCoreApplication>

#include <array>
#include <cstdio>

namespace kivo {
namespace {

// Shapes from the smallest up; a larger one that fits is the better model.
int rank(ModelRole role, const std::string& shape)
{
    static const std::array<const char*, 3> speechShapes{"base", "small", "large-v3-turbo"};
    static const std::array<const char*, 3> languageShapes{"0.5b", "1.5b", "3b"};
    const auto& shapes = role == ModelRole::speech ? speechShapes : languageShapes;
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        if (shape == shapes[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<ModelRecommendation::Choice> largestInside(const ModelCatalogue& catalogue, ModelRole role,
                                                         const std::map<std::string, double>& figures, double budget)
{
    std::optional<ModelRecommendation::Choice> best;
    int bestRank = -1;
    for (const auto* entry : catalogue.forRole(role)) {
        if (role == ModelRole::speech && !entry->cantonese && !entry->fineTunedCantonese) {
            continue;
        }
        const auto figure = figures.find(entry->shape);
        const int shapeRank = rank(role, entry->shape);
        // The first entry of a shape wins: the catalogue lists its preferred file first.
        if (figure == figures.end() || shapeRank < 0 || figure->second > budget || shapeRank <= bestRank) {
            continue;
        }
        best = ModelRecommendation::Choice{entry, figure->second};
        bestRank = shapeRank;
    }
    return best;
}

} // namespace

ModelRecommendation ModelRecommendation::choose(const ModelCatalogue& catalogue, const MachineSpeed& speed)
{
    ModelRecommendation recommendation;
    recommendation.speech = largestInside(catalogue, ModelRole::speech, speed.speechSecondsPerSecond, liveSpeechBudget);
    recommendation.language = largestInside(catalogue, ModelRole::language, speed.languageSeconds, conversionBudget);
    return recommendation;
}

bool ModelRecommendation::recommends(const ModelCatalogue::Entry& entry) const
{
    return (speech && speech->entry == &entry) || (language && language->entry == &entry);
}

std::string ModelRecommendation::label(ModelRole role, double figure)
{
    char number[32];
    std::snprintf(number, sizeof number, role == ModelRole::speech ? "%.2f" : "%.0f", figure);
    const QString text =
        role == ModelRole::speech
            ? QCoreApplication::translate("ModelRecommendation",
                                          "Recommended for this computer (%1 s per second of audio)")
            : QCoreApplication::translate("ModelRecommendation", "Recommended for this computer (about %1 s for a long "
                                                                 "conversion)");
    return text.arg(QString::fromLatin1(number)).toStdString();
}

} // namespace kivo
