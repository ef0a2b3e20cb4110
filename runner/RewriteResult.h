#pragma once

#include "platform/languagemodel/GenerationSchema.h"

namespace kivo {

// The record the model generates: one string field, "text".
namespace RewriteResult {

inline GenerationSchema schema()
{
    return GenerationSchema{"RewriteResult", {"text"}};
}

} // namespace RewriteResult
} // namespace kivo
