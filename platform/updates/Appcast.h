#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivo {

// The update feed: an RSS document whose items carry a version and an enclosure with the
// archive's URL, length and Ed25519 signature (attributes of our own namespace).
namespace Appcast {

inline constexpr const char* xmlNamespace = "https://kivo.local/xml/update";

struct Item {
    std::string version;
    std::string url;
    std::uint64_t length = 0;
    std::string signature; // base64
};

// Items that name a version, a URL and a signature; malformed XML throws UpdateError.
std::vector<Item> parse(const std::string& document);
// The newest item above `currentVersion`, if any.
std::optional<Item> newest(const std::vector<Item>& items, const std::string& currentVersion);
// Dotted numeric comparison; missing parts count as 0, other text compares as text.
int compareVersions(const std::string& left, const std::string& right);
// One <item> element for a maintainer's feed.
std::string itemXml(const Item& item, const std::string& title);

} // namespace Appcast

} // namespace kivo
