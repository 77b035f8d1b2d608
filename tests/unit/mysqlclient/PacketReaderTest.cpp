// The packet cursor: length-coded numbers and strings, one case per truncation point.
#include <gtest/gtest.h>

#include <string>

#include "mysql/uMysqlPacketReader.h"

namespace {

using Coded = PacketReader::Coded;

// The reader points into `bytes`, which must outlive it.
PacketReader over(const std::string& bytes) {
    return PacketReader(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TEST(PacketReaderTest, lengthCodedNumbersReadTheirWidthAndMovePastIt) {
    const struct {
        std::string bytes;
        Coded coded;
        std::uint64_t value;
        std::size_t position;
    } cases[] = {
        {std::string("\x00", 1), Coded::Value, 0, 1},
        {"\xFA", Coded::Value, 250, 1},
        {"\xFB", Coded::Null, 0, 1},
        {"\xFC\x10\x27", Coded::Value, 10000, 3},
        {"\xFD\x01\x02\x03", Coded::Value, 0x030201, 4},
        {"\xFE\x01\x02\x03\x04\x05\x06\x07\x08", Coded::Value, 0x0807060504030201ull, 9},
        {std::string("\xFF\x01\x00\x00\x00\x00\x00\x00\x00", 9), Coded::Value, 1, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        auto reader = over(c.bytes);
        std::uint64_t value = 99;
        EXPECT_EQ(reader.readLengthCoded(value), c.coded);
        if (c.coded == Coded::Value) {
            EXPECT_EQ(value, c.value);
        }
        EXPECT_EQ(reader.position(), c.position);
    }
}

TEST(PacketReaderTest, everyTruncationOfALengthCodedNumberIsIncompleteAndMovesNothing) {
    for (const std::string& whole : {std::string("\xFC\x10\x27"), std::string("\xFD\x01\x02\x03"),
                                     std::string("\xFE\x01\x02\x03\x04\x05\x06\x07\x08")}) {
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            SCOPED_TRACE(whole.size() * 100 + cut);
            const std::string cutBytes = whole.substr(0, cut);
            auto reader = over(cutBytes);
            std::uint64_t value = 0;
            EXPECT_EQ(reader.readLengthCoded(value), Coded::Incomplete);
            EXPECT_EQ(reader.position(), 0u);
        }
    }
}

TEST(PacketReaderTest, lengthCodedStringsMustFitTheirPacket) {
    std::string_view text;
    const std::string fitsBytes = std::string(1, 3) + "abcX";
    const std::string tooLongBytes = std::string(1, 5) + "abc";
    const std::string nullBytes = "\xFB";
    auto fits = over(fitsBytes);
    EXPECT_EQ(fits.readLengthCodedString(text), Coded::Value);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(fits.remaining(), 1u);
    auto tooLong = over(tooLongBytes);
    EXPECT_EQ(tooLong.readLengthCodedString(text), Coded::Incomplete);
    EXPECT_EQ(tooLong.position(), 0u);
    auto null = over(nullBytes);
    EXPECT_EQ(null.readLengthCodedString(text), Coded::Null);
    EXPECT_TRUE(text.empty());
}

TEST(PacketReaderTest, fixedReadsStopAtTheEnd) {
    const std::string bytes("ab\0cd", 5), empty;
    auto reader = over(bytes);
    EXPECT_EQ(reader.readZeroTerminated(), "ab");
    EXPECT_EQ(reader.readZeroTerminated(), "cd");  // no zero: up to the end
    EXPECT_TRUE(reader.atEnd());
    std::uint64_t value = 7;
    EXPECT_FALSE(reader.readUint(1, value));
    EXPECT_FALSE(reader.skip(1));
    EXPECT_EQ(reader.uintAt(3, 4), 0x6463u);  // bytes past the end read as zero
    EXPECT_TRUE(reader.startsWith('a'));
    EXPECT_FALSE(over(empty).startsWith(0));
}

}  // namespace
