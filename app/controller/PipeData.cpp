#include "app/controller/PipeData.h"

namespace kivo {

void PipeData::store(std::string data)
{
    const std::lock_guard guard(lock_);
    data_ = std::move(data);
}

std::string PipeData::value() const
{
    const std::lock_guard guard(lock_);
    return data_;
}

} // namespace kivo
