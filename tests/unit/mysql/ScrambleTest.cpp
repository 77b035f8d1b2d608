// Expected answers were computed independently with Python (hashlib.sha1 for the secure
// scramble; a direct transcription of the documented generator for the old scramble).
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "mysql/umysqlsha1.h"

namespace {

std::array<std::uint8_t, SCRAMBLE_BUFFER_SIZE> seedOf(std::initializer_list<int> first20) {
    std::array<std::uint8_t, SCRAMBLE_BUFFER_SIZE> seed{};
    int i = 0;
    for (int b : first20) seed[i++] = static_cast<std::uint8_t>(b);
    return seed;
}

std::string hex(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

const auto kCountingSeed = seedOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18,
                                   19, 20});

TEST(OldPasswordHash, StartsFromItsConstantsAndIgnoresBlanksAndTabs) {
    EXPECT_EQ(old_password_hash(""), std::make_pair(1345345333u, 305419889u));
    EXPECT_EQ(old_password_hash("secret"), std::make_pair(1116039156u, 144262148u));
    EXPECT_EQ(old_password_hash("se cr\tet"), old_password_hash("secret"));
    EXPECT_EQ(old_password_hash(std::string("sec\0ret", 7)), old_password_hash("sec"));
}

TEST(SecureScramble, MatchesIndependentlyComputedAnswers) {
    std::uint8_t out[20];
    secure_scramble(out, kCountingSeed.data(), "secret");
    EXPECT_EQ(hex(out, 20), "b32bb3a583e1340c0a1108d58b1be49781ad8c2f");
}

TEST(SecureAuthToken, IsTheLengthByteAndTheScrambleOfTheUtf8Password) {
    auto seed = seedOf({0x41, 0, 0x42, 0x43, 0x43, 0x43, 0x43, 0x43, 0x43, 0x43, 0x43, 0x43, 0x43,
                        0x43, 0x43, 0x43, 0x43, 0x43, 0x43, 0x43});
    const auto token = secure_auth_token(u"пароль", seed.data());
    ASSERT_TRUE(token.has_value());
    EXPECT_EQ((*token)[0], 0x14);
    EXPECT_EQ(hex(token->data() + 1, 20), "59623782e2eb08e4a408b9635a84444fec9e636e");

    seed[19] ^= 1;  // one seed byte changes the answer
    EXPECT_NE(hex(secure_auth_token(u"пароль", seed.data())->data() + 1, 20),
              "59623782e2eb08e4a408b9635a84444fec9e636e");
}

TEST(SecureAuthToken, GivesNothingForAnEmptyPasswordOrAnEmptySeed) {
    EXPECT_FALSE(secure_auth_token(u"", kCountingSeed.data()).has_value());
    const auto zeroSeed = seedOf({0, 5, 6});
    EXPECT_FALSE(secure_auth_token(u"secret", zeroSeed.data()).has_value());
}

TEST(SecureAuthToken, KeepsZeroBytesOfTheScrambleAndIsAlways21BytesLong) {
    // Search seeds until a scramble holds a zero byte; the token must still carry all 20 bytes.
    auto seed = kCountingSeed;
    for (int attempt = 0; attempt < 5000; ++attempt) {
        seed[0] = static_cast<std::uint8_t>(1 + attempt % 255);
        seed[1] = static_cast<std::uint8_t>(attempt / 255);
        const auto token = secure_auth_token(u"secret", seed.data());
        ASSERT_TRUE(token.has_value());
        std::uint8_t direct[20];
        secure_scramble(direct, seed.data(), "secret");
        bool hasZero = false;
        for (std::uint8_t b : direct) hasZero |= b == 0;
        if (!hasZero) continue;
        EXPECT_EQ(token->size(), 21u);
        EXPECT_EQ(hex(token->data() + 1, 20), hex(direct, 20));
        return;
    }
    FAIL() << "no seed produced a zero byte";
}

TEST(OldScramble, MatchesAnIndependentlyComputedReply) {
    const auto seed = seedOf({0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B,
                              0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53, 0x54});
    const auto reply = old_scramble(u"secret", seed.data());
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(std::string(reply->data()), "KBJVMOOU");
    EXPECT_EQ((*reply)[8], '\0');
    EXPECT_EQ(old_scramble(u"secret", seed.data()), reply);  // pure
}

TEST(OldScramble, GivesNothingForAnEmptyPasswordOrAnEmptySeed) {
    EXPECT_FALSE(old_scramble(u"", kCountingSeed.data()).has_value());
    const auto zeroSeed = seedOf({0, 1});
    EXPECT_FALSE(old_scramble(u"secret", zeroSeed.data()).has_value());
}

TEST(XorBytes, WorksInPlace) {
    std::uint8_t a[3] = {0xF0, 0x0F, 0xAA};
    const std::uint8_t b[3] = {0xFF, 0xFF, 0xAA};
    xor_bytes(a, a, b, 3);
    EXPECT_EQ(hex(a, 3), "0ff000");
}

}  // namespace
