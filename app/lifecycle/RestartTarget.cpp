#include "app/lifecycle/RestartTarget.h"

#include "platform/bundle/AppBundle.h"

#include <system_error>

namespace kivo::RestartTarget {
namespace {

std::filesystem::path resolved(const std::filesystem::path& path)
{
    std::error_code error;
    auto result = std::filesystem::weakly_canonical(path, error);
    return error ? path : result;
}

} // namespace

std::filesystem::path resolve(const std::filesystem::path& current,
                              const std::optional<std::filesystem::path>& launcher, const std::string& bundleIdentifier)
{
    if (launcher) {
        const auto candidate = resolved(*launcher);
        const auto bundle = AppBundle::open(candidate);
        if (bundle && bundle->identifier() == bundleIdentifier && bundle->hasExecutableFile()) {
            return candidate;
        }
    }
    return resolved(current);
}

} // namespace kivo::RestartTarget
