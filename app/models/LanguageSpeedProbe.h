#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace kivo {

// Measures the language model runtime on this computer for a model shape, with generated
// models of the shape's width (random weights, 4-bit as the recommended files) and one and
// three layers: the cost per layer and the fixed cost (the vocabulary's output) give the full
// depth without writing the whole model.
namespace LanguageSpeedProbe {

// "0.5b", "1.5b", "3b".
std::vector<std::string> shapes();
// Seconds for a long conversion: a 300-character transcript (over a minute of speech) in a
// written mode, about 370 tokens read (the instructions are prepared ahead) and 320 written.
// The generated files go into `scratch` and are removed. Throws LanguageModelError or
// std::runtime_error; returns 0 when stopped.
double conversionSeconds(const std::string& shape, const std::filesystem::path& scratch, std::stop_token stop);

} // namespace LanguageSpeedProbe
} // namespace kivo
