// Detached Ed25519 signatures of update archives, keys and signatures in base64.
#include "platform/updates/UpdateSignature.h"
#include "platform/updates/UpdateError.h"

#include <gtest/gtest.h>

#include <string>

namespace kivo {
namespace {

TEST(UpdateSignature, VerifiesOnlyTheSignedBytesUnderTheMatchingKey)
{
    const auto keys = UpdateSignature::generateKeyPair();
    EXPECT_EQ(keys.publicKey.size(), 44u); // 32 bytes
    EXPECT_EQ(keys.secretKey.size(), 88u); // 64 bytes
    const std::string data("archive\0bytes", 13);
    const std::string signature = UpdateSignature::sign(data, keys.secretKey);
    EXPECT_EQ(signature.size(), 88u);
    EXPECT_TRUE(UpdateSignature::verify(data, signature, keys.publicKey));
    EXPECT_TRUE(
        UpdateSignature::verify(data, "\n" + signature.substr(0, 40) + " \n" + signature.substr(40), keys.publicKey))
        << "line breaks and spaces in base64 are allowed";

    EXPECT_FALSE(UpdateSignature::verify(data.substr(0, 12), signature, keys.publicKey));
    EXPECT_FALSE(UpdateSignature::verify(data + "x", signature, keys.publicKey));
    EXPECT_FALSE(UpdateSignature::verify(data, signature, UpdateSignature::generateKeyPair().publicKey));
    std::string flipped = signature;
    flipped[10] = flipped[10] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(UpdateSignature::verify(data, flipped, keys.publicKey));
    EXPECT_TRUE(UpdateSignature::verify("", UpdateSignature::sign("", keys.secretKey), keys.publicKey));
}

TEST(UpdateSignature, MalformedKeysAndSignaturesNeverVerifyOrSign)
{
    const auto keys = UpdateSignature::generateKeyPair();
    const std::string data = "archive";
    const std::string signature = UpdateSignature::sign(data, keys.secretKey);
    // 33 bytes instead of 32; 63 instead of 64; not base64; empty.
    const std::string longerKey = "AAAA" + keys.publicKey;
    for (const std::string& key : {longerKey, keys.publicKey.substr(0, 40), std::string("!!!!"), std::string()}) {
        EXPECT_FALSE(UpdateSignature::verify(data, signature, key)) << key;
    }
    for (const std::string& bad :
         {signature.substr(0, 84), "AAAA" + signature, std::string("not base64"), std::string()}) {
        EXPECT_FALSE(UpdateSignature::verify(data, bad, keys.publicKey)) << bad;
    }
    for (const std::string& secret :
         {keys.publicKey, keys.secretKey.substr(0, 84), "AAAA" + keys.secretKey, std::string("?")}) {
        try {
            UpdateSignature::sign(data, secret);
            ADD_FAILURE() << "signed with " << secret;
        } catch (const UpdateError& error) {
            EXPECT_EQ(error.code(), UpdateError::signatureInvalid);
        }
    }
}

} // namespace
} // namespace kivo
