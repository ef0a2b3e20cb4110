#pragma once

#include <filesystem>
#include <string>

namespace kivo::ArchiveTools {

// Unpacks an archive held in memory under `destination`. Entries may not leave it (no
// absolute paths, no "..", no writing through links) and may only be files, folders and
// links. Throws UpdateError(archiveInvalid).
void unpack(const std::string& archive, const std::filesystem::path& destination);

// A gzip-compressed tar of `directory`'s contents (paths relative to it), for publishing.
std::string pack(const std::filesystem::path& directory);

} // namespace kivo::ArchiveTools
