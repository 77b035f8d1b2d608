// The MySQL client driven by bytes that stand in for the server (see MysqlFuzzDrivers.h).
#include "tests/fuzz/mysql/MysqlFuzzDrivers.h"

#include <memory>
#include <sstream>
#include <string>

#include "mysql/uMysqlClient.h"
#include "platform/Crypto.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "tests/fuzz/mysql/FedSockets.h"

namespace mysqlfuzz {
namespace {

// Installs a fed socket seam for one run, and the native System and Crypto when nobody has.
class FedServer {
  public:
    FedServer(const std::string& bytes) {
        if (!platform::installed<platform::System>()) {
            static const auto system = platform::createNativeSystem();
            platform::install(system.get());
        }
        // The SHA-256 methods of the login need it (the RSA path with a key the bytes carry).
        if (!platform::installed<platform::Crypto>()) {
            static const auto crypto = platform::createNativeCrypto();
            platform::install(crypto.get());
        }
        fsockets.feed(bytes);
        fprevious = platform::install<platform::Sockets>(&fsockets);
    }
    ~FedServer() { platform::install<platform::Sockets>(fprevious); }
    FedServer(const FedServer&) = delete;
    FedServer& operator=(const FedServer&) = delete;

  private:
    FedSockets fsockets;
    platform::Sockets* fprevious = nullptr;
};

// The longest payload a driver's client accepts. The fuzzer's inputs are a few KiB, so no packet
// they can complete is refused, and a header asking for more still reaches the refusal; with the
// default 64 MiB each such header had a buffer of its size allocated and cleared, and the targets
// ran a few hundred inputs a second.
constexpr std::uint32_t kLongestPayload = 64 * 1024;

std::string packet(std::uint8_t sequence, const std::string& payload) {
    const auto n = payload.size();
    std::string out{char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(sequence)};
    return out + payload;
}

// What a real MariaDB 10.11 sent for an anonymous login (tests/data/mysql/greeting.bin and
// auth_ok.bin).
const std::string& mariadbLogin() {
    static const std::string bytes = [] {
        const unsigned char greeting[] = {
            0x64, 0x00, 0x00, 0x00, 0x0a, 0x35, 0x2e, 0x35, 0x2e, 0x35, 0x2d, 0x31, 0x30,
            0x2e, 0x31, 0x31, 0x2e, 0x31, 0x39, 0x2d, 0x4d, 0x61, 0x72, 0x69, 0x61, 0x44,
            0x42, 0x2d, 0x30, 0x2b, 0x64, 0x65, 0x62, 0x31, 0x32, 0x75, 0x31, 0x00, 0x10,
            0x00, 0x00, 0x00, 0x4f, 0x32, 0x4b, 0x61, 0x27, 0x3d, 0x3d, 0x59, 0x00, 0xfe,
            0xf7, 0x08, 0x02, 0x00, 0xff, 0x81, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x1d, 0x00, 0x00, 0x00, 0x2b, 0x67, 0x46, 0x69, 0x5c, 0x72, 0x4a, 0x58, 0x5c,
            0x44, 0x21, 0x76, 0x00, 0x6d, 0x79, 0x73, 0x71, 0x6c, 0x5f, 0x6e, 0x61, 0x74,
            0x69, 0x76, 0x65, 0x5f, 0x70, 0x61, 0x73, 0x73, 0x77, 0x6f, 0x72, 0x64, 0x00};
        const unsigned char ok[] = {0x07, 0x00, 0x00, 0x02, 0x00, 0x00,
                                    0x00, 0x02, 0x00, 0x00, 0x00};
        return std::string(reinterpret_cast<const char*>(greeting), sizeof greeting) +
               std::string(reinterpret_cast<const char*>(ok), sizeof ok);
    }();
    return bytes;
}

// Reads everything a result offers, in the ways a caller would; the rows visited.
int walk(TMysqlResult& result) {
    std::ostringstream sink;
    const std::int32_t count = result.FieldsCount();
    int guard = 0;
    for (; !result.Eof() && guard < 100000; result.Next(), ++guard) {
        for (std::int32_t c = -1; c <= count; ++c) {
            result.FieldValue(c);
            result.FieldLenght(c);
            result.FieldValueBin(c, sink);
            result.FieldDef(c);
        }
        result.setHasLengths(true);
        if (count > 0) result.FieldLenght(count - 1);
    }
    result.Prior();
    result.First();
    result.setRecNo(1);
    result.Last();
    result.FieldIndexByName(u"id", true);
    result.FieldValueByName(u"ID", false);
    result.FieldDefByName(u"name", false);
    return guard;
}

// Runs a statement and walks every result it gives.
int runQuery(TMysqlClient& client, const std::u16string& sql, bool store) {
    bool executed = false;
    std::unique_ptr<TMysqlResult> result;
    client.query(sql, store, executed, result);
    int rows = 0;
    for (int guard = 0; executed && guard < 1000; ++guard) {
        if (result) rows += walk(*result);
        result.reset();
        if (!client.MoreResults()) break;
        client.next_result(store, executed, result);
    }
    return rows;
}

// One session; `packetPayload` below the protocol's 0xFFFFFF makes packets of that length
// join with the next, so that small inputs reach the joining of long payloads.
int sessionWith(const std::uint8_t* data, std::size_t size, std::uint32_t packetPayload) {
    FedServer server(std::string(reinterpret_cast<const char*>(data), size));
    TMysqlClient client;
    client.net().fmax_packet_payload = packetPayload;
    client.setMaxAllowedPacket(kLongestPayload);
    client.setHost(u"127.0.0.1");
    client.setPort(3307);
    client.setUser(u"orvelle");
    client.setPassword(u"orvelle-pass");
    if (!client.connect()) return 0;
    int rows = runQuery(client, u"SET NAMES utf8mb4", true);
    rows += runQuery(client, u"SELECT * FROM orvelle_test.samples ORDER BY id", true);
    rows += runQuery(client, u"SELECT id, v FROM orvelle_test.one_column ORDER BY id", false);

    {
        // A used result freed after its first row drains the rest.
        bool executed = false;
        std::unique_ptr<TMysqlResult> result;
        client.query(u"SELECT v FROM orvelle_test.one_column ORDER BY id", false, executed, result);
    }
    if (auto list = client.list_processes()) rows += walk(*list);
    client.change_user(u"orvelle", u"orvelle-pass", u"orvelle_test");
    client.ping();
    client.stat();
    // Statements with several results, walked and left untaken.
    rows += runQuery(client, u"CALL orvelle_test.two_results()", true);
    rows += runQuery(client, u"CALL orvelle_test.two_results()", false);
    {
        bool executed = false;
        std::unique_ptr<TMysqlResult> result;
        client.query(u"CALL orvelle_test.two_results()", false, executed, result);
    }
    client.ping();
    client.close();
    return rows;
}

}  // namespace

int session(const std::uint8_t* data, std::size_t size) {
    const int rows = sessionWith(data, size, 0xFFFFFF);
    sessionWith(data, size, 64);
    return rows;
}

int greeting(const std::uint8_t* data, std::size_t size) {
    const std::string payload(reinterpret_cast<const char*>(data), size);
    const std::string ok("\x00\x00\x00\x02\x00\x00\x00", 7);
    FedServer server(packet(0, payload) + packet(2, ok));
    TMysqlClient client;
    client.setMaxAllowedPacket(kLongestPayload);
    client.setHost(u"127.0.0.1");
    client.setDb(u"orvelle_test");
    client.setPassword(u"secret");
    return client.connect() ? 1 : 0;
}

int reply(const std::uint8_t* data, std::size_t size) {
    FedServer server(mariadbLogin() + std::string(reinterpret_cast<const char*>(data), size));
    TMysqlClient client;
    client.setHost(u"127.0.0.1");
    client.setShouldReconnect(false);  // no ping before each query: the bytes are the replies
    client.setMaxAllowedPacket(kLongestPayload);
    if (!client.connect()) return 0;
    return runQuery(client, u"SELECT 1", true) + runQuery(client, u"SELECT 2", false) +
           runQuery(client, u"SELECT 3", false);
}

int frames(const std::uint8_t* data, std::size_t size) {
    FedServer server(std::string(reinterpret_cast<const char*>(data), size));
    TMysqlNet net;
    net.set_max_allowed_packet(kLongestPayload);
    if (net.net_open(VIO_TYPE_TCPIP, u"127.0.0.1", u"", 3307, 0, true) != 0) return 0;
    net.set_compress(true);
    int packets = 0;
    for (; packets < 256; ++packets) {
        const std::int32_t length = packets % 2 ? net.my_net_read() : net.net_safe_read();
        if (length < 0) break;
        if (packets == 4) net.net_pack();
    }
    net.net_close();
    return packets;
}

}  // namespace mysqlfuzz
