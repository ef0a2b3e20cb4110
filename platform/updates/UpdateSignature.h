#pragma once

#include <string>

namespace kivo::UpdateSignature {

struct KeyPair {
    std::string publicKey; // base64, 32 bytes
    std::string secretKey; // base64, 64 bytes
};

KeyPair generateKeyPair();
// Detached Ed25519 signature of `data`, base64. Throws UpdateError for a malformed key.
std::string sign(const std::string& data, const std::string& secretKey);
// False for a wrong signature and for malformed keys or signatures.
bool verify(const std::string& data, const std::string& signature, const std::string& publicKey);

} // namespace kivo::UpdateSignature
