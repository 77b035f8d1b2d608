// The platform's SHA-256 and ECDSA P-256 verification against what openssl produced, and the
// strict readers of a detached signature and of a hash line.
#include <gtest/gtest.h>

#include <algorithm>

#include "TrustVectors.h"
#include "platform/Crypto.h"
#include "run/Manifest.h"

namespace {

using trustvectors::fromHex;

std::string hexOf(const platform::Crypto::Sha256Digest& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint8_t byte : digest) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 15]);
    }
    return hex;
}

class TrustTest : public ::testing::Test {
  protected:
    std::unique_ptr<platform::Crypto> crypto = platform::createNativeCrypto();
    std::string rAndS() {
        std::string raw;
        EXPECT_TRUE(ReadSignature(trustvectors::kSignature, raw));
        return raw;
    }
};

TEST_F(TrustTest, Sha256MatchesTheStandardVectors) {
    platform::Crypto::Sha256Digest digest{};
    ASSERT_TRUE(crypto->sha256("", digest));
    EXPECT_EQ(hexOf(digest), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    ASSERT_TRUE(crypto->sha256("abc", digest));
    EXPECT_EQ(hexOf(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    ASSERT_TRUE(crypto->sha256(std::string(1000000, 'a'), digest));
    EXPECT_EQ(hexOf(digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// As a file is received: pieces of any size (one byte, across blocks, all at once) give the
// one-shot digest.
TEST_F(TrustTest, Sha256InPiecesMatchesTheOneShotDigest) {
    for (const std::size_t size : {0, 1, 64, 1000, 100001}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 9));
        platform::Crypto::Sha256Digest whole{};
        ASSERT_TRUE(crypto->sha256(bytes, whole));
        for (const std::size_t piece : {std::size_t{1}, std::size_t{63}, std::size_t{4096}, size}) {
            const auto hash = crypto->startSha256();
            ASSERT_TRUE(hash);
            for (std::size_t at = 0; at < size; at += piece)
                hash->update(bytes.data() + at, std::min(piece, size - at));
            platform::Crypto::Sha256Digest digest{};
            ASSERT_TRUE(hash->finish(digest));
            EXPECT_EQ(hexOf(digest), hexOf(whole)) << size << " bytes in pieces of " << piece;
        }
    }
}

TEST_F(TrustTest, AnOpensslSignatureVerifiesOnlyWithItsKeyOverTheExactBytes) {
    const std::string signature = rAndS();
    EXPECT_TRUE(
        crypto->verifyP256Sha256(trustvectors::kTestKey, trustvectors::kManifest, signature));

    std::string altered = trustvectors::kManifest;
    altered[30] ^= 1;
    EXPECT_FALSE(crypto->verifyP256Sha256(trustvectors::kTestKey, altered, signature));
    EXPECT_FALSE(
        crypto->verifyP256Sha256(trustvectors::kOtherKey, trustvectors::kManifest, signature));
    std::string other;
    ASSERT_TRUE(ReadSignature(trustvectors::kOtherSignature, other));
    EXPECT_FALSE(crypto->verifyP256Sha256(trustvectors::kTestKey, trustvectors::kManifest, other));

    // Keys and signatures that are not what they claim are refused, never trusted.
    std::string offCurve = trustvectors::kTestKey;
    offCurve.back() ^= 1;
    std::string compressedPrefix = trustvectors::kTestKey;
    compressedPrefix[0] = '\x02';
    for (const std::string& key :
         {offCurve, compressedPrefix, trustvectors::kTestKey.substr(1), std::string()}) {
        EXPECT_FALSE(crypto->verifyP256Sha256(key, trustvectors::kManifest, signature));
    }
    for (const std::string& bad : {std::string(64, '\0'), signature.substr(1), signature + "x"}) {
        EXPECT_FALSE(
            crypto->verifyP256Sha256(trustvectors::kTestKey, trustvectors::kManifest, bad));
    }
}

TEST_F(TrustTest, TheSignatureReaderTakesStrictDerOnly) {
    const std::string& der = trustvectors::kSignature;
    std::string raw;
    ASSERT_TRUE(ReadSignature(der, raw));
    // r had a sign byte in front; s did not.
    EXPECT_EQ(raw, der.substr(5, 32) + der.substr(39, 32));

    // Short numbers are right-aligned.
    ASSERT_TRUE(ReadSignature(fromHex("3007020101020200ff"), raw));
    EXPECT_EQ(raw, std::string(31, '\0') + "\x01" + std::string(31, '\0') + "\xff");

    for (std::size_t size = 0; size < der.size(); ++size) {
        EXPECT_FALSE(ReadSignature(der.substr(0, size), raw)) << size;
    }
    const char* const refused[] = {
        "300602010102010100",  // a byte after the sequence
        "308106020101020101",  // long-form length
        "3006020180020101",    // negative r
        "300702020001020101",  // superfluous leading zero
        "3006020100020101",    // a lone zero byte as r
        "3006030101020101",    // not an INTEGER
        "3106020101020101",    // not a SEQUENCE
        "3003020101",          // s missing
        "30050200020101",      // empty r
    };
    for (const char* hex : refused) EXPECT_FALSE(ReadSignature(fromHex(hex), raw)) << hex;
    // 33 significant bytes do not fit P-256.
    EXPECT_FALSE(ReadSignature(fromHex("302602210101" + std::string(64, '1') + "020101"), raw));
}

TEST_F(TrustTest, AHashLineIsExactly64HexDigits) {
    std::array<std::uint8_t, 32> digest{};
    ASSERT_TRUE(
        ParseSha256(u"4AD8e477d2815fbdde7de086698a9df8d031a3e57ba9a68a59ee3f5af70b194d", digest));
    EXPECT_EQ(digest[0], 0x4A);
    EXPECT_EQ(digest[31], 0x4D);
    for (const std::u16string& hex :
         {std::u16string(63, u'a'), std::u16string(65, u'a'), std::u16string(64, u'g'),
          u" " + std::u16string(63, u'a'), std::u16string(62, u'a') + u"\u0660a"}) {
        EXPECT_FALSE(ParseSha256(hex, digest));
    }
}

}  // namespace
