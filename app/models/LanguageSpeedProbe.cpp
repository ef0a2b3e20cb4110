#include "app/models/LanguageSpeedProbe.h"

#include "app/models/DepthExtrapolation.h"
#include "platform/languagemodel/EvaluationSpeed.h"
#include "tools/gguf/QwenShapedModel.h"

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
    const auto timeAt = [&](int layers, const std::filesystem::path& file) {
        model.shape.layers = static_cast<std::uint32_t>(layers);
        model.write(file.string());
        const EvaluationSpeed speed = EvaluationSpeed::measure(file, promptTokens, answerTokens, stop);
        return speed.readingSeconds + speed.writingSeconds;
    };
    return DepthExtrapolation::fullDepthSeconds(static_cast<int>(model.shape.layers), scratch, "language-" + shape,
                                                ".gguf", timeAt, stop);
}

} // namespace kivo::LanguageSpeedProbe
