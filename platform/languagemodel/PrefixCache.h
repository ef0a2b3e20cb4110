#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// The model's state after the constant start of a conversation (the instructions), kept between
// runner processes so that each conversion reads only its own text. Entries live in the
// per-user runtime folder and only when that is memory-backed (tmpfs), so nothing reaches a
// disk. An entry is keyed by everything that determines the state: the model file's identity,
// the exact prefix and the runtime's build. Entries are written atomically with mode 0600,
// checked when read, and ignored when they do not match (internal to this layer).
class PrefixCache {
public:
    static constexpr std::uintmax_t maximumEntryBytes = std::uintmax_t{96} << 20;
    static constexpr std::uintmax_t maximumFolderBytes = std::uintmax_t{256} << 20;

    // The cache for XDG_RUNTIME_DIR, or nothing when it is unset, not absolute or not a tmpfs.
    static std::optional<PrefixCache> forRuntimeFolder();
    // A cache in the given folder, whatever its file system (for tests).
    explicit PrefixCache(std::filesystem::path folder, std::uintmax_t entryCap = maximumEntryBytes,
                         std::uintmax_t folderCap = maximumFolderBytes)
        : folder_(std::move(folder)), entryCap_(entryCap), folderCap_(folderCap)
    {
    }

    // The key text of a prefix: model identity, runtime build and the prefix's tokens.
    static std::string key(const std::string& modelIdentity, const std::string& prefixText, int contextSize);

    // The state stored under the key, or nothing when absent, stale or damaged.
    std::optional<std::vector<std::uint8_t>> load(const std::string& key) const;
    // Stores the state under the key; returns false and keeps nothing when it cannot (too
    // large, no room). Makes room by removing the oldest entries beyond the folder's cap.
    bool store(const std::string& key, const std::vector<std::uint8_t>& state) const;

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path entryPath(const std::string& key) const;

private:
    std::filesystem::path folder_;
    std::uintmax_t entryCap_;
    std::uintmax_t folderCap_;
};

} // namespace kivo
