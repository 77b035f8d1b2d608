// The client over the bytes a real MariaDB 10.11 sent (tests/data/mysql, made by capture.py):
// greeting and login, 4.1 column definitions, rows with NULL, empty, zero-byte and Cyrillic
// values, OK and error packets, the process list, the change-of-user switch request, and every
// truncation of a result.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/Text.h"
#include "mysql/uMysqlClient.h"
#include "mysql/umysqlsha1.h"
#include "platform/Registry.h"
#include "tests/fuzz/mysql/FedSockets.h"

namespace {

std::string captured(const char* name) {
    std::ifstream in(std::filesystem::path(ORVELLE_SOURCE_DIR) / "tests/data/mysql" / name,
                     std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

std::string u8(const std::u16string& text) {
    return text::toUtf8(text);
}

// Installs a socket seam from its construction to its destruction.
class InstalledSockets {
  public:
    explicit InstalledSockets(platform::Sockets& sockets)
        : fprevious(platform::install<platform::Sockets>(&sockets)) {}
    ~InstalledSockets() { platform::install<platform::Sockets>(fprevious); }
    InstalledSockets(const InstalledSockets&) = delete;
    InstalledSockets& operator=(const InstalledSockets&) = delete;

  private:
    platform::Sockets* fprevious;
};

class CapturedPackets : public ::testing::Test {
  protected:
    // An anonymous login as the start-up probe makes it; no ping before each query, so the fed
    // bytes after the login are exactly the replies to the statements.
    void login() {
        sockets.feed(captured("greeting.bin") + captured("auth_ok.bin"));
        client.setHost(u"127.0.0.1");
        client.setPort(3307);
        client.setShouldReconnect(false);
        ASSERT_TRUE(client.connect()) << u8(client.LastError());
        sockets.sent.clear();
    }

    std::unique_ptr<TMysqlResult> query(const char* sql, bool store, bool& executed) {
        std::unique_ptr<TMysqlResult> result;
        client.query(text::fromUtf8(sql), store, executed, result);
        return result;
    }

    std::vector<std::string> rows(TMysqlResult& result) {
        std::vector<std::string> lines;
        for (; !result.Eof(); result.Next()) {
            std::string line;
            for (std::int32_t c = 0; c < result.FieldsCount(); ++c) {
                if (c) line += '|';
                line += u8(result.FieldValue(c));
            }
            lines.push_back(line);
        }
        return lines;
    }

    FedSockets sockets;
    InstalledSockets finstalled{sockets};  // outlives the client, which closes through it
    TMysqlClient client;
};

TEST_F(CapturedPackets, greetingAndLoginAsTheProbeMakesThem) {
    sockets.feed(captured("greeting.bin") + captured("auth_ok.bin"));
    client.setHost(u"127.0.0.1");
    client.setPort(3307);
    client.setPluginAuth(false);  // as the probe
    ASSERT_TRUE(client.connect()) << u8(client.LastError());
    EXPECT_EQ(u8(client.ServerVersion()), "5.5.5-10.11.19-MariaDB-0+deb12u1");
    EXPECT_EQ(client.ProtocolVersion(), 10u);
    EXPECT_EQ(client.ThreadId(), 44u);
    EXPECT_EQ(client.ServerCapabilities(), 0xF7FEu);
    EXPECT_EQ(client.ServerLanguage(), 8u);
    EXPECT_EQ(client.ServerStatus(), 2);
    EXPECT_EQ(client.ClientFlag(), 0xA685u);
    // The 35-byte answer: flags, 0x02, 0, maximum packet (64 MiB), character set 45
    // (utf8mb4), 23 zeros, and a zero byte each for the empty user, password and database.
    std::string answer("\x23\x00\x00\x01\x85\xA6\x02\x00\x00\x00\x00\x04\x2D", 13);
    answer += std::string(23 + 3, '\0');
    EXPECT_EQ(sockets.sent, answer);
}

TEST_F(CapturedPackets, refusedLoginKeepsTheServersTextAndTheGreeting) {
    sockets.feed(captured("greeting.bin") + captured("auth_denied.bin"));
    client.setHost(u"127.0.0.1");
    client.setUser(u"orvelle");
    client.setPassword(u"wrong-pass");
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(client.LastErrorNo(), 1045u);
    // The 4.1 error packet's '#' and SQL state are not part of the message.
    EXPECT_EQ(u8(client.LastError()),
              "Access denied for user 'orvelle'@'localhost' (using password: YES)");
    EXPECT_EQ(client.ThreadId(), 44u);
    EXPECT_FALSE(client.Connected());
}

TEST_F(CapturedPackets, storedSamplesDecodeEveryKindOfValue) {
    login();
    sockets.feed(captured("result_samples.bin"));
    bool executed = false;
    auto result = query("SELECT * FROM orvelle_test.samples ORDER BY id", true, executed);
    ASSERT_TRUE(executed && result) << u8(client.LastError());
    EXPECT_EQ(sockets.sent, std::string("\x2F\x00\x00\x00\x03", 5) +
                                "SELECT * FROM orvelle_test.samples ORDER BY id");
    ASSERT_EQ(result->FieldsCount(), 4);
    const char* names[] = {"id", "name", "note", "amount"};
    const std::uint8_t types[] = {3, 253, 253, 3};
    const std::uint32_t longest[] = {1, 24, 16, 7};
    for (int c = 0; c < 4; ++c) {
        const TMysql_FieldDef* def = result->FieldDef(c);
        ASSERT_TRUE(def);
        EXPECT_EQ(def->Name, names[c]);
        EXPECT_EQ(def->Table, "samples");
        EXPECT_EQ(def->FieldType, types[c]);
        EXPECT_EQ(def->Max_Length, longest[c]) << names[c];
        EXPECT_EQ((def->Flags & 0x8000) != 0, types[c] == 3) << names[c];
    }
    EXPECT_EQ(result->FieldDef(0)->Length, 11u);
    EXPECT_EQ(result->FieldDef(1)->Length, 256u);  // 64 characters of up to 4 bytes
    EXPECT_EQ(client.AffectedRows(), 5);
    EXPECT_EQ(rows(*result),
              (std::vector<std::string>{"1|alpha|first row|10", "2|||", "3|||-3",
                                        "4|Привіт, світе|Київ|4000000", "5|a|zero byte inside|5"}));
    result->FetchLengths();
    EXPECT_EQ(result->FieldLenght(1), 3u);  // "a", zero, "b"
    EXPECT_EQ(sockets.unread(), 0u);
}

TEST_F(CapturedPackets, oneColumnRowsOfEmptyAndNullAreRows) {
    login();
    sockets.feed(captured("result_one_column.bin"));
    bool executed = false;
    auto used = query("SELECT id, v FROM orvelle_test.one_column ORDER BY id", false, executed);
    ASSERT_TRUE(executed && used);
    EXPECT_EQ(rows(*used), (std::vector<std::string>{"1|x", "2|", "3|", "4|y"}));
    used.reset();
    auto stored = query("SELECT v FROM orvelle_test.one_column ORDER BY id", true, executed);
    ASSERT_TRUE(executed && stored) << u8(client.LastError());
    EXPECT_EQ(rows(*stored), (std::vector<std::string>{"x", "", "", "y"}));
    EXPECT_EQ(sockets.unread(), 0u);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
}

TEST_F(CapturedPackets, processListAsMariadbDescribesIt) {
    login();
    sockets.feed(captured("processlist.bin"));
    auto list = client.list_processes();
    ASSERT_TRUE(list) << u8(client.LastError());
    EXPECT_EQ(sockets.sent, std::string("\x01\x00\x00\x00\x0A", 5));
    std::vector<std::string> names;
    for (std::int32_t c = 0; c < list->FieldsCount(); ++c) names.push_back(list->FieldDef(c)->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Id", "User", "Host", "db", "Command", "Time",
                                               "State", "Info", "Progress"}));
    ASSERT_EQ(list->RowsCount(), 2);
    list->setRecNo(1);
    EXPECT_EQ(u8(list->FieldValueByName(u"user", false)), "orvelle");
    EXPECT_EQ(u8(list->FieldValueByName(u"Command", true)), "Processlist");
    EXPECT_EQ(u8(list->FieldValueByName(u"Info", true)), "");
}

TEST_F(CapturedPackets, okPacketOfAnInsert) {
    login();
    sockets.feed(captured("ok_insert.bin"));
    bool executed = false;
    EXPECT_FALSE(query("INSERT INTO t (v) VALUES (1), (2), (3)", true, executed));
    EXPECT_TRUE(executed);
    EXPECT_EQ(client.AffectedRows(), 3);
    EXPECT_EQ(client.LastInsertId(), 1);
    EXPECT_EQ(client.ServerStatus(), 2);
    EXPECT_EQ(u8(client.Info()), "Records: 3  Duplicates: 0  Warnings: 0");
}

TEST_F(CapturedPackets, errorPacketOfAQueryKeepsTheConnection) {
    login();
    sockets.feed(captured("error_no_table.bin"));
    bool executed = true;
    EXPECT_FALSE(query("SELECT * FROM orvelle_test.no_such_table", true, executed));
    EXPECT_FALSE(executed);
    EXPECT_EQ(client.LastErrorNo(), 1146u);
    EXPECT_EQ(u8(client.LastError()), "Table 'orvelle_test.no_such_table' doesn't exist");
    EXPECT_TRUE(client.Connected());
}

TEST_F(CapturedPackets, everyTruncationOfAResultIsALostConnection) {
    const std::string result = captured("result_samples.bin");
    for (std::size_t cut = 0; cut < result.size(); ++cut) {
        FedSockets fresh;
        InstalledSockets installed(fresh);
        fresh.feed(captured("greeting.bin") + captured("auth_ok.bin") + result.substr(0, cut));
        TMysqlClient truncated;
        truncated.setHost(u"127.0.0.1");
        truncated.setShouldReconnect(false);
        ASSERT_TRUE(truncated.connect());
        bool executed = true;
        std::unique_ptr<TMysqlResult> rows;
        truncated.query(u"SELECT * FROM orvelle_test.samples ORDER BY id", true, executed, rows);
        EXPECT_FALSE(executed) << "cut at " << cut;
        EXPECT_FALSE(rows) << "cut at " << cut;
        EXPECT_EQ(truncated.LastErrorNo(), 2013u) << "cut at " << cut;
        EXPECT_FALSE(truncated.Connected()) << "cut at " << cut;
    }
}

TEST_F(CapturedPackets, changeOfUserAnswersTheServersSwitchRequest) {
    login();
    const std::string request = captured("change_user_switch.bin");
    sockets.feed(request + std::string("\x07\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00", 11));
    ASSERT_TRUE(client.change_user(u"orvelle", u"orvelle-pass", u"orvelle_test"))
        << u8(client.LastError());
    // After the command (sequence 0) comes the answer to the switch (sequence 2): the SHA-1
    // scramble of the password over the 20 new seed bytes that follow the plugin name.
    const std::size_t seedAt = request.find('\0', 5) + 1;
    std::uint8_t seed[SCRAMBLE_BUFFER_SIZE] = {};
    std::copy(request.begin() + std::ptrdiff_t(seedAt),
              request.begin() + std::ptrdiff_t(seedAt + 20), seed);
    std::uint8_t scramble[20];
    secure_scramble(scramble, seed, "orvelle-pass");
    const std::string expected = std::string("\x14\x00\x00\x02", 4) +
                                 std::string(reinterpret_cast<const char*>(scramble), 20);
    ASSERT_GE(sockets.sent.size(), expected.size());
    EXPECT_EQ(sockets.sent.substr(sockets.sent.size() - expected.size()), expected);
    EXPECT_EQ(sockets.unread(), 0u);
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(client.User(), u"orvelle");
}

}  // namespace
