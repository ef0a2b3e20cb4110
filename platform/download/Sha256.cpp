#include "platform/download/Sha256.h"

#include <sodium.h>

#include <array>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace kivo::Sha256 {
namespace {

std::string hex(const std::array<unsigned char, crypto_hash_sha256_BYTES>& digest)
{
    std::string text(digest.size() * 2 + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), digest.data(), digest.size());
    text.pop_back();
    return text;
}

void initialise()
{
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium could not be initialised");
    }
}

} // namespace

std::string ofFile(const std::filesystem::path& path, const std::stop_token& stop)
{
    initialise();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    std::vector<char> buffer(1 << 20);
    while (in) {
        if (stop.stop_requested()) {
            return {};
        }
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto count = in.gcount();
        if (count > 0) {
            crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char*>(buffer.data()),
                                      static_cast<unsigned long long>(count));
        }
    }
    if (in.bad()) {
        throw std::runtime_error("cannot read " + path.string());
    }
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256_final(&state, digest.data());
    return hex(digest);
}

std::string ofBytes(const std::string& bytes)
{
    initialise();
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return hex(digest);
}

} // namespace kivo::Sha256
