#include "platform/updates/UpdateSignature.h"

#include "platform/updates/UpdateError.h"

#include <sodium.h>

#include <optional>
#include <stdexcept>
#include <vector>

namespace kivo::UpdateSignature {
namespace {

void initialise()
{
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium could not be initialised");
    }
}

std::string encode(const unsigned char* bytes, size_t length)
{
    std::string text(sodium_base64_encoded_len(length, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, length, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.find('\0'));
    return text;
}

// Exactly `length` bytes, or none: a longer text does not fit the buffer, which libsodium
// refuses, and a shorter one decodes fewer bytes.
std::optional<std::vector<unsigned char>> decode(const std::string& text, size_t length)
{
    std::vector<unsigned char> bytes(length);
    size_t decoded = 0;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), " \n\r\t", &decoded, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        decoded != length) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

KeyPair generateKeyPair()
{
    initialise();
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(publicKey, secretKey);
    KeyPair pair{encode(publicKey, sizeof publicKey), encode(secretKey, sizeof secretKey)};
    sodium_memzero(secretKey, sizeof secretKey);
    return pair;
}

std::string sign(const std::string& data, const std::string& secretKey)
{
    initialise();
    auto key = decode(secretKey, crypto_sign_SECRETKEYBYTES);
    if (!key) {
        throw UpdateError(UpdateError::signatureInvalid, "The signing key is not a base64 Ed25519 secret key.");
    }
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                         key->data());
    sodium_memzero(key->data(), key->size());
    return encode(signature, sizeof signature);
}

bool verify(const std::string& data, const std::string& signature, const std::string& publicKey)
{
    initialise();
    const auto key = decode(publicKey, crypto_sign_PUBLICKEYBYTES);
    const auto bytes = decode(signature, crypto_sign_BYTES);
    return key && bytes &&
           crypto_sign_verify_detached(bytes->data(), reinterpret_cast<const unsigned char*>(data.data()), data.size(),
                                       key->data()) == 0;
}

} // namespace kivo::UpdateSignature
