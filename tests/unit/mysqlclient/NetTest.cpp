// The packet layer against the scripted socket seam: exact bytes written, sequence checks,
// buffer growth and limit, server error packets, and compressed frames.
#include <zlib.h>

#include <cstring>

#include "mysql/uMysqlNet.h"
#include "platform/System.h"
#include "tests/unit/mysqlclient/MysqlTestSupport.h"

namespace {

using mysqlwire::packet;

class NetTest : public ScriptedSocketsTest {
  protected:
    void open() { ASSERT_EQ(net.net_open(VIO_TYPE_TCPIP, u"127.0.0.1", u"", 1, 0, true), 0); }
    std::string payload(std::int32_t length) {
        return std::string(reinterpret_cast<const char*>(net.read_pos()),
                           static_cast<std::size_t>(length));
    }
    std::string frame(std::uint8_t sequence, const std::string& data, bool compressed) {
        if (!compressed)
            return mysqlwire::int3(data.size()) + char(sequence) + mysqlwire::int3(0) + data;
        uLongf length = compressBound(data.size());
        std::string out(length, '\0');
        compress(reinterpret_cast<Bytef*>(out.data()), &length,
                 reinterpret_cast<const Bytef*>(data.data()), data.size());
        out.resize(length);
        return mysqlwire::int3(out.size()) + char(sequence) + mysqlwire::int3(data.size()) + out;
    }
    TMysqlNet net;
};

TEST_F(NetTest, openStartsWithAn8KBufferAndKeepsAnOpenConnection) {
    open();
    EXPECT_EQ(net.fmax_packet, 8192);
    EXPECT_EQ(net.fbuff.size(), 8192u);
    EXPECT_EQ(net.fprotocol_version, 10u);
    net.fpkt_nr = 5;
    EXPECT_EQ(net.net_open(VIO_TYPE_TCPIP, u"10.0.0.1", u"", 2, 0, true), 0);
    EXPECT_EQ(net.fpkt_nr, 5);
    EXPECT_TRUE(net.net_connected());
    EXPECT_EQ(net.net_close(), 0);
    EXPECT_FALSE(net.net_connected());
    EXPECT_EQ(net.fmax_packet, 0);
    EXPECT_EQ(net.net_close(), 0);
}

TEST_F(NetTest, pingAfterClearGoesOutAsFiveBytesAndItsReplyMustCarrySequence1) {
    open();
    net.fpkt_nr = 9;
    net.net_clear();
    EXPECT_EQ(net.net_write_command(14, nullptr, 0), 0);
    EXPECT_EQ(sockets.sent, bytes({0x01, 0x00, 0x00, 0x00, 0x0E}));
    sockets.feed(packet(1, mysqlwire::ok()));
    EXPECT_EQ(net.net_safe_read(), 7);
    EXPECT_EQ(net.read_pos()[0], 0);
}

TEST_F(NetTest, writesCollectHeadersAndFlushSendsThemTogether) {
    open();
    EXPECT_EQ(net.my_net_write(nullptr, 0), 0);
    EXPECT_EQ(net.my_net_write("abc", 3), 0);
    EXPECT_TRUE(sockets.sent.empty());
    EXPECT_EQ(net.net_flush(), 0);
    EXPECT_EQ(sockets.sent, bytes({0, 0, 0, 0, 3, 0, 0, 1, 'a', 'b', 'c'}));
    EXPECT_EQ(net.fwrite_pos, 0u);
    EXPECT_EQ(net.net_flush(), 0);
}

TEST_F(NetTest, dataLargerThanTheBufferLeavesInBufferSizedPiecesInOrder) {
    open();
    std::string big(20000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    EXPECT_EQ(net.net_write_command(3, big.data(), static_cast<std::uint32_t>(big.size())), 0);
    EXPECT_EQ(sockets.sent, mysqlwire::int3(20001) + char(0) + char(3) + big);
}

TEST_F(NetTest, failedSendIsReportedAsWriteErrors) {
    open();
    sockets.failSend = true;
    EXPECT_EQ(net.net_write_command(14, nullptr, 0), 1);
    EXPECT_EQ(net.my_net_write("x", 1), 0);
    EXPECT_EQ(net.net_flush(), 2);
}

TEST_F(NetTest, wrongSequenceNumberLosesTheConnection) {
    open();
    net.net_write_command(14, nullptr, 0);
    sockets.feed(packet(0, mysqlwire::ok()));
    EXPECT_EQ(net.net_safe_read(), -1);
    EXPECT_EQ(net.last_errno(), 2013u);
    EXPECT_EQ(net.last_error(), u"Lost connection to MySQL server during query");
    EXPECT_FALSE(net.net_connected());
}

TEST_F(NetTest, endOfStreamAndEmptyPacketsLoseTheConnection) {
    open();
    EXPECT_EQ(net.net_safe_read(), -1);
    EXPECT_EQ(net.last_errno(), 2013u);
    open();
    sockets.feed(packet(0, ""));
    EXPECT_EQ(net.net_safe_read(), -1);
    EXPECT_EQ(net.last_errno(), 2013u);
    EXPECT_FALSE(net.net_connected());
}

TEST_F(NetTest, packetsArriveWhateverTheReadPieces) {
    open();
    sockets.readChunk = 1;
    sockets.feed(packet(0, "hello") + packet(1, "world!"));
    EXPECT_EQ(net.net_safe_read(), 5);
    EXPECT_EQ(payload(5), "hello");
    EXPECT_EQ(net.read_pos()[5], 0);
    EXPECT_EQ(net.net_safe_read(), 6);
    EXPECT_EQ(payload(6), "world!");
}

TEST_F(NetTest, bufferGrowsInSteps) {
    open();
    sockets.feed(packet(0, std::string(8192, 'a')));
    EXPECT_EQ(net.net_safe_read(), 8192);
    EXPECT_EQ(net.fmax_packet, 12288);
    EXPECT_EQ(net.read_pos()[8192], 0);
    // Packing gives a grown buffer back.
    EXPECT_TRUE(net.net_pack());
    EXPECT_EQ(net.fmax_packet, 8192);
    EXPECT_EQ(net.fbuff.size(), 8192u);
}

TEST_F(NetTest, payloadOverTheMaximumIsRefusedAs2020) {
    open();
    net.set_max_allowed_packet(10000);
    sockets.feed(packet(0, std::string(10001, 'x')));
    EXPECT_EQ(net.net_safe_read(), -1);
    EXPECT_EQ(net.last_errno(), 2020u);
    EXPECT_EQ(net.last_error(), u"Got packet bigger than 'max_allowed_packet'");
    EXPECT_FALSE(net.net_connected());
    EXPECT_EQ(net.fmax_packet, 8192);
    // Also when joined into a buffer grown past the limit already: 64 MiB and one byte.
    open();
    net.net_clear();  // drops the unread payload
    net.set_max_allowed_packet(MYSQL_DEFAULT_MAX_ALLOWED_PACKET);
    for (std::uint8_t k = 0; k < 4; ++k) sockets.feed(packet(k, std::string(0xFFFFFF, 'f')));
    sockets.feed(packet(4, "tail!"));
    EXPECT_EQ(net.net_safe_read(), -1);
}

TEST_F(NetTest, longPayloadsTravelAsFullPacketsEndedByAShorterOne) {
    open();
    // Written: a statement one byte longer than a packet holds, and a payload of exactly one
    // packet, which needs an empty packet after it.
    std::string statement(0xFFFFFF, 's');
    ASSERT_EQ(net.net_write_command(3, statement.data(), 0xFFFFFF), 0);
    EXPECT_EQ(sockets.sent.size(), 4u + 0xFFFFFF + 4 + 1);
    EXPECT_EQ(sockets.sent.substr(0, 5), bytes({0xFF, 0xFF, 0xFF, 0x00, 0x03}));
    EXPECT_EQ(sockets.sent.substr(4 + 0xFFFFFF), bytes({0x01, 0x00, 0x00, 0x01, 's'}));
    sockets.sent.clear();
    net.fpkt_nr = 0;
    ASSERT_EQ(net.my_net_write(statement.data(), 0xFFFFFF), 0);
    ASSERT_EQ(net.net_flush(), 0);
    EXPECT_EQ(sockets.sent.size(), 4u + 0xFFFFFF + 4);
    EXPECT_EQ(sockets.sent.substr(4 + 0xFFFFFF), bytes({0x00, 0x00, 0x00, 0x01}));

    // Read: two full packets and a short one are one payload, with the zero after it.
    net.fpkt_nr = 0;
    std::string value = std::string(0xFFFFFF, 'a') + std::string(0xFFFFFF, 'b') + "tail";
    sockets.feed(packet(0, value.substr(0, 0xFFFFFF)) +
                 packet(1, value.substr(0xFFFFFF, 0xFFFFFF)) + packet(2, "tail") +
                 packet(3, "next"));
    ASSERT_EQ(net.net_safe_read(), 2 * 0xFFFFFF + 4);
    EXPECT_TRUE(payload(2 * 0xFFFFFF + 4) == value);
    EXPECT_EQ(net.read_pos()[2 * 0xFFFFFF + 4], 0);
    ASSERT_EQ(net.net_safe_read(), 4);
    EXPECT_EQ(payload(4), "next");
}

TEST_F(NetTest, errorPacketsGiveTheServersNumberAndText) {
    auto& system = platform::get<platform::System>();
    const struct {
        std::uint32_t protocol;
        std::string payload;
        std::uint32_t number;
        std::u16string text;
    } cases[] = {
        {10, bytes({0xFF, 0x15, 0x04}), 2000, u"Unknown MySQL error"},
        {10, bytes({0xFF, 0x15, 0x04, 'X'}), 1045, u"X"},
        {10, mysqlwire::error(1045, "Access denied for user ''@'localhost'", "28000"), 1045,
         u"Access denied for user ''@'localhost'"},
        {10, mysqlwire::error(1064, "plain message"), 1064, u"plain message"},
        {9, "\xFFold server text", 2000, u"old server text"},
        {10, mysqlwire::error(1105, std::string(300, 'm')), 1105, std::u16string(199, u'm')},
        // Cut by characters, not bytes, and shown in the code page the platform has.
        {10, mysqlwire::error(1105, text::toUtf8(std::u16string(300, u'Ж'))), 1105,
         system.fromAnsi(system.toAnsi(std::u16string(199, u'Ж')))},
    };
    for (const auto& c : cases) {
        open();
        net.set_protocol_version(c.protocol);
        sockets.feed(packet(0, c.payload));
        EXPECT_EQ(net.net_safe_read(), -1);
        EXPECT_EQ(net.last_errno(), c.number);
        EXPECT_EQ(net.last_error(), c.text);
        EXPECT_TRUE(net.net_connected());  // an error packet keeps the connection
        net.net_close();
    }
}

TEST_F(NetTest, clearDrainsWhatWaitsAndRestoresBlocking) {
    open();
    sockets.feed("stale bytes");
    sockets.calls.clear();
    net.fpkt_nr = 3;
    net.net_clear();
    EXPECT_EQ(sockets.unread(), 0u);
    EXPECT_EQ(sockets.calls, (std::vector<std::string>{"nonblocking 1", "nonblocking 0"}));
    EXPECT_EQ(net.fpkt_nr, 0);
}

TEST_F(NetTest, compressedShortPayloadTravelsUncompressed) {
    open();
    net.set_compress(true);
    const std::string data(49 - 5, 'q');
    EXPECT_EQ(net.net_write_command(3, data.data(), static_cast<std::uint32_t>(data.size())), 0);
    // frame: length 49, sequence 0, uncompressed length 0, then the packet with sequence 0.
    EXPECT_EQ(sockets.sent, mysqlwire::int3(49) + char(0) + mysqlwire::int3(0) +
                                mysqlwire::int3(45) + char(0) + char(3) + data);
    EXPECT_EQ(net.fpkt_nr, 1);
}

TEST_F(NetTest, compressedLongPayloadIsCompressedWhenThatIsShorter) {
    open();
    net.set_compress(true);
    const std::string data(1000, 'z');
    net.net_write_command(3, data.data(), static_cast<std::uint32_t>(data.size()));
    const std::string inner = mysqlwire::int3(1001) + char(0) + char(3) + data;
    const auto* sent = reinterpret_cast<const std::uint8_t*>(sockets.sent.data());
    const std::uint32_t length = sent[0] | (sent[1] << 8) | (sent[2] << 16);
    const std::uint32_t original = sent[4] | (sent[5] << 8) | (sent[6] << 16);
    EXPECT_EQ(original, inner.size());
    EXPECT_LT(length, inner.size());
    ASSERT_EQ(sockets.sent.size(), length + 7);
    std::string unpacked(original, '\0');
    uLongf unpackedLength = original;
    ASSERT_EQ(
        uncompress(reinterpret_cast<Bytef*>(unpacked.data()), &unpackedLength, sent + 7, length),
        Z_OK);
    EXPECT_EQ(unpacked, inner);

    // Random bytes do not shrink: sent as they are with uncompressed length 0.
    sockets.sent.clear();
    std::string noise(200, '\0');
    unsigned seed = 12345;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    net.net_write_command(3, noise.data(), static_cast<std::uint32_t>(noise.size()));
    EXPECT_EQ(sockets.sent.substr(4, 3), mysqlwire::int3(0));
    EXPECT_EQ(sockets.sent.substr(7), mysqlwire::int3(201) + char(0) + char(3) + noise);
}

TEST_F(NetTest, compressedFrameWithTwoPacketsIsHandedOutTwice) {
    open();
    net.set_compress(true);
    const std::string inner =
        packet(0, "first packet payload that is long enough to compress") + packet(0, "second");
    sockets.feed(frame(0, inner, true));
    EXPECT_EQ(net.net_safe_read(), 52);
    EXPECT_EQ(payload(52), "first packet payload that is long enough to compress");
    EXPECT_EQ(net.read_pos()[52], 0);
    EXPECT_EQ(sockets.unread(), 0u);
    EXPECT_EQ(net.net_safe_read(), 6);
    EXPECT_EQ(payload(6), "second");
    // The byte that the first packet's terminator replaced was put back.
    EXPECT_EQ(net.fbuff[52 + 4], 6);
}

TEST_F(NetTest, compressedPacketSplitOverTwoFramesIsJoined) {
    open();
    net.set_compress(true);
    const std::string inner = packet(0, "abcdefghij");
    sockets.feed(frame(0, inner.substr(0, 6), false) + frame(1, inner.substr(6), false));
    EXPECT_EQ(net.net_safe_read(), 10);
    EXPECT_EQ(payload(10), "abcdefghij");
}

TEST_F(NetTest, frameThatDoesNotUncompressLosesTheConnection) {
    open();
    net.set_compress(true);
    sockets.feed(mysqlwire::int3(5) + char(0) + mysqlwire::int3(100) + "xxxxx");
    EXPECT_EQ(net.net_safe_read(), -1);
    EXPECT_EQ(net.last_errno(), 2013u);
    EXPECT_FALSE(net.net_connected());
}

TEST_F(NetTest, packKeepsBytesNotYetHandedOut) {
    open();
    net.set_compress(true);
    const std::string first(9000, 'a');
    const std::string inner = packet(0, first) + packet(0, "tail");
    sockets.feed(frame(0, inner, true));
    ASSERT_EQ(net.net_safe_read(), 9000);
    EXPECT_GT(net.fmax_packet, 8192);
    EXPECT_TRUE(net.net_pack());
    EXPECT_EQ(net.fmax_packet, 8192);
    EXPECT_EQ(net.net_safe_read(), 4);
    EXPECT_EQ(payload(4), "tail");
}

}  // namespace
