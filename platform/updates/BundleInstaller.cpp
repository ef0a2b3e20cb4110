#include "platform/updates/BundleInstaller.h"

#include "platform/bundle/AppBundle.h"
#include "platform/updates/UpdateError.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include <cstdio>

namespace kivo::BundleInstaller {
namespace {

[[noreturn]] void fail(const std::string& what)
{
    throw UpdateError(UpdateError::installFailed, "The update could not be installed: " + what);
}

} // namespace

std::filesystem::path makeStaging(const std::filesystem::path& bundle)
{
    std::string pattern = (bundle.parent_path() / ("." + bundle.filename().string() + "-update-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
        fail(std::string("no staging folder next to the app (") + std::strerror(errno) + ")");
    }
    return pattern;
}

std::filesystem::path stagedBundle(const std::filesystem::path& staging, const std::string& identifier)
{
    std::error_code error;
    std::filesystem::path root = staging;
    if (!std::filesystem::exists(staging / "Info.json", error)) {
        std::vector<std::filesystem::path> entries;
        for (const auto& entry : std::filesystem::directory_iterator(staging, error)) {
            entries.push_back(entry.path());
        }
        if (entries.size() != 1 || !std::filesystem::is_directory(std::filesystem::symlink_status(entries[0]))) {
            fail("the archive holds no app bundle");
        }
        root = entries[0];
    }
    const auto bundle = AppBundle::open(root);
    if (!bundle || bundle->identifier() != identifier || !bundle->hasExecutableFile()) {
        fail("the archive holds another app");
    }
    return root;
}

void swap(const std::filesystem::path& bundle, const std::filesystem::path& staged)
{
    const std::filesystem::path previous = makeStaging(bundle);
    const std::filesystem::path backup = previous / "previous";
    if (std::rename(bundle.c_str(), backup.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        std::filesystem::remove_all(previous);
        fail(reason);
    }
    if (std::rename(staged.c_str(), bundle.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        if (std::rename(backup.c_str(), bundle.c_str()) != 0) {
            // Never delete the only copy: say where it is.
            fail(reason + "; the previous version is kept at " + backup.string());
        }
        std::filesystem::remove_all(previous);
        fail(reason);
    }
    std::error_code ignored;
    std::filesystem::remove_all(previous, ignored);
}

} // namespace kivo::BundleInstaller
