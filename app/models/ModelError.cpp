#include "app/models/ModelError.h"

namespace kivo {

ModelError::ModelError(Case kind, const std::string& english, std::string chinese)
    : std::runtime_error(english), case_(kind), chinese_(std::move(chinese))
{
}

} // namespace kivo
