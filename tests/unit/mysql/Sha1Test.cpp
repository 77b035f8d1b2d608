#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "mysql/umysqlsha1.h"

namespace {

std::string hex(const std::uint8_t* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 15]);
    }
    return out;
}

std::string sha1Hex(const std::string& message) {
    Sha1Context context;
    sha1Reset(context);
    sha1Input(context, reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    std::uint8_t digest[20];
    sha1Result(context, digest);
    return hex(digest, 20);
}

// FIPS 180-1 appendix vectors.
TEST(Sha1, MatchesThePublishedTestVectors) {
    EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

// Lengths around the padding boundary (digests computed with Python's hashlib.sha1).
TEST(Sha1, PadsAcrossTheBlockBoundary) {
    EXPECT_EQ(sha1Hex(std::string(55, 'a')), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
    EXPECT_EQ(sha1Hex(std::string(56, 'a')), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
    EXPECT_EQ(sha1Hex(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
}

TEST(Sha1, InputInPiecesGivesTheSameDigestAsInOnePiece) {
    const std::string message(200, 'x');
    Sha1Context context;
    sha1Reset(context);
    for (char c : message) sha1Input(context, reinterpret_cast<const std::uint8_t*>(&c), 1);
    std::uint8_t digest[20];
    sha1Result(context, digest);
    EXPECT_EQ(hex(digest, 20), sha1Hex(message));
}

TEST(Sha1, SecondResultRepeatsTheDigestAndInputAfterResultCorrupts) {
    Sha1Context context;
    sha1Reset(context);
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    sha1Input(context, abc, 3);
    std::uint8_t first[20], second[20];
    sha1Result(context, first);
    sha1Result(context, second);
    EXPECT_EQ(hex(second, 20), hex(first, 20));

    sha1Input(context, abc, 3);
    EXPECT_TRUE(context.corrupted);
    std::uint8_t untouched[20];
    std::fill(std::begin(untouched), std::end(untouched), 0xEE);
    sha1Result(context, untouched);
    EXPECT_EQ(hex(untouched, 20), std::string(40, 'e'));
}

TEST(Sha1, MissingPointersAreProgrammingErrorsWithTheirTexts) {
    Sha1Context context;
    sha1Reset(context);
    try {
        sha1Input(context, nullptr, 1);
        FAIL() << "no error";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "Empty array paased to sha1Input");
    }
    try {
        sha1Result(context, nullptr);
        FAIL() << "no error";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "Empty array passed to sha1Result");
    }
}

}  // namespace
