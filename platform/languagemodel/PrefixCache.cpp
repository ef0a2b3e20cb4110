#include "platform/languagemodel/PrefixCache.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivo {
namespace {

constexpr std::array<char, 8> magic = {'K', 'I', 'V', 'O', 'P', 'F', 'X', '1'};
constexpr const char* entrySuffix = ".state";

// A fast 64-bit digest (word-wise multiply and rotate): detects damage, not an adversary; the
// folder belongs to the user alone.
std::uint64_t digest(const std::uint8_t* data, std::size_t size, std::uint64_t seed = 0x9E3779B97F4A7C15ull)
{
    std::uint64_t hash = seed ^ (size * 0xFF51AFD7ED558CCDull);
    std::size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + at, 8);
        hash = (hash ^ (word * 0xC4CEB9FE1A85EC53ull)) * 0x9E3779B97F4A7C15ull;
        hash = (hash << 31) | (hash >> 33);
    }
    for (; at < size; ++at) {
        hash = (hash ^ data[at]) * 0x100000001B3ull;
    }
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 33;
    return hash;
}

std::uint64_t digest(const std::string& text)
{
    return digest(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void appendNumber(std::vector<std::uint8_t>& bytes, std::uint64_t value)
{
    for (int shift = 0; shift < 64; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::optional<std::uint64_t> readNumber(const std::vector<std::uint8_t>& bytes, std::size_t& at)
{
    if (bytes.size() - at < 8) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    }
    at += 8;
    return value;
}

bool writeAll(int descriptor, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Only a folder we own and no one else can enter: entries are trusted once their digest fits.
bool isPrivateFolder(const std::filesystem::path& folder)
{
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & 077) == 0;
}

void removeOldest(const std::filesystem::path& folder, std::uintmax_t incoming, std::uintmax_t cap)
{
    struct Entry {
        std::filesystem::path path;
        std::filesystem::file_time_type time;
        std::uintmax_t size;
    };
    std::vector<Entry> entries;
    std::uintmax_t total = incoming;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        if (item.path().string().find(".partial-") != std::string::npos) {
            // Left by a writer that was stopped; a live one finishes within seconds.
            const auto age = std::filesystem::file_time_type::clock::now() - item.last_write_time(error);
            if (!error && age > std::chrono::minutes(1)) {
                std::filesystem::remove(item.path(), error);
            }
            continue;
        }
        if (item.path().extension() != entrySuffix || !item.is_regular_file(error)) {
            continue;
        }
        const auto size = item.file_size(error);
        const auto time = item.last_write_time(error);
        if (!error) {
            entries.push_back({item.path(), time, size});
            total += size;
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });
    for (const Entry& entry : entries) {
        if (total <= cap) {
            break;
        }
        std::filesystem::remove(entry.path, error);
        total -= entry.size;
    }
}

} // namespace

std::optional<PrefixCache> PrefixCache::forRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/') {
        return std::nullopt;
    }
    struct statfs fileSystem {};
    if (::statfs(runtime, &fileSystem) != 0 || fileSystem.f_type != TMPFS_MAGIC) {
        return std::nullopt;
    }
    const std::filesystem::path folder = std::filesystem::path(runtime) / "kivo-prefix";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return std::nullopt;
    }
    if (!isPrivateFolder(folder)) {
        return std::nullopt;
    }
    return PrefixCache(folder);
}

std::string PrefixCache::key(const std::string& modelIdentity, const std::string& prefixText, int contextSize)
{
    return std::string("runtime ") + KIVO_LLAMA_RUNTIME_ID + "\nmodel " + modelIdentity + "\ncontext " +
           std::to_string(contextSize) + "\nprefix " + prefixText;
}

std::filesystem::path PrefixCache::entryPath(const std::string& key) const
{
    std::array<char, 17> name{};
    std::snprintf(name.data(), name.size(), "%016llx", static_cast<unsigned long long>(digest(key)));
    return folder_ / (std::string(name.data()) + entrySuffix);
}

std::optional<std::vector<std::uint8_t>> PrefixCache::load(const std::string& key) const
{
    const std::filesystem::path path = entryPath(key);
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct stat info {};
    std::vector<std::uint8_t> bytes;
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        static_cast<std::uintmax_t>(info.st_size) <= entryCap_ + key.size() + 64) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(descriptor, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        bytes.resize(done);
    }
    ::close(descriptor);

    // magic, key length, key, state length, state, digest of everything before it
    if (bytes.size() < magic.size() + 24 || !std::equal(magic.begin(), magic.end(), bytes.begin())) {
        return std::nullopt;
    }
    std::size_t at = magic.size();
    const auto keyLength = readNumber(bytes, at);
    if (!keyLength || *keyLength != key.size() || bytes.size() - at < key.size() ||
        std::memcmp(bytes.data() + at, key.data(), key.size()) != 0) {
        return std::nullopt;
    }
    at += key.size();
    const auto stateLength = readNumber(bytes, at);
    if (!stateLength || bytes.size() - at != *stateLength + 8) {
        return std::nullopt;
    }
    const std::size_t stateStart = at;
    at += *stateLength;
    const auto stored = readNumber(bytes, at);
    if (!stored || *stored != digest(bytes.data(), stateStart + *stateLength)) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(stateStart),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(stateStart + *stateLength));
}

bool PrefixCache::store(const std::string& key, const std::vector<std::uint8_t>& state) const
{
    if (state.empty() || state.size() > entryCap_) {
        return false;
    }
    std::vector<std::uint8_t> bytes(magic.begin(), magic.end());
    bytes.reserve(magic.size() + 24 + key.size() + state.size());
    appendNumber(bytes, key.size());
    bytes.insert(bytes.end(), key.begin(), key.end());
    appendNumber(bytes, state.size());
    bytes.insert(bytes.end(), state.begin(), state.end());
    appendNumber(bytes, digest(bytes.data(), bytes.size()));

    removeOldest(folder_, bytes.size(), folderCap_);
    const std::filesystem::path path = entryPath(key);
    const std::filesystem::path temporary = path.string() + ".partial-" + std::to_string(::getpid());
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) {
        return false;
    }
    const bool written = writeAll(descriptor, bytes.data(), bytes.size());
    const bool closed = ::close(descriptor) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace kivo
