#include "app/models/LanguageSpeedProbe.h"

#include "platform/languagemodel/EvaluationSpeed.h"
#include "tools/gguf/QwenShapedModel.h"

#include <algorithm>

namespace kivo::LanguageSpeedProbe {
namespace {

// A 300-character transcript in a written mode, the instructions kept from a preparation run:
// its request and its answer in tokens.
constexpr int promptTokens = 370;
constexpr int answerTokens = 320;

} // namespace

std::vector<std::string> shapes()
{
    return {"0.5b", "1.5b", "3b"};
}

double conversionSeconds(const std::string& shape, const std::filesystem::path& scratch, std::stop_token stop)
{
    QwenShapedModel model;
    model.shape = QwenShapedModel::shapeNamed(shape);
    const std::uint32_t fullDepth = model.shape.layers;
    std::filesystem::create_directories(scratch);
    double seconds[2] = {0.0, 0.0};
    const std::uint32_t layers[2] = {1, 3};
    for (int i = 0; i < 2; ++i) {
        if (stop.stop_requested()) {
            return 0.0;
        }
        model.shape.layers = layers[i];
        const auto file = scratch / ("language-" + shape + "-" + std::to_string(layers[i]) + ".gguf");
        try {
            model.write(file.string());
            const EvaluationSpeed speed = EvaluationSpeed::measure(file, promptTokens, answerTokens, stop);
            seconds[i] = speed.readingSeconds + speed.writingSeconds;
        } catch (...) {
            std::filesystem::remove(file);
            throw;
        }
        std::filesystem::remove(file);
    }
    if (stop.stop_requested()) {
        return 0.0;
    }
    const double perLayer = std::max(0.0, (seconds[1] - seconds[0]) / 2.0);
    const double fixed = std::max(0.0, seconds[0] - perLayer);
    return fixed + perLayer * fullDepth;
}

} // namespace kivo::LanguageSpeedProbe
