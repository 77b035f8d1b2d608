// Result sets against the loopback fake server: stored and used results, navigation, field
// access, column definitions in both layouts, and results cut short.
#include <zlib.h>

#include <sstream>

#include "common/Text.h"
#include "tests/unit/mysqlclient/MysqlTestSupport.h"

namespace {

using mysqlwire::column41;
using mysqlwire::packet;
using mysqlwire::row;
using ResultTest = NativeSocketsTest;

using Rows = std::vector<std::vector<std::optional<std::string>>>;

// Serves the first statement with `columns` and `rows` (and the end marker unless `cut`, in
// which case the connection closes after the rows), then answers OK to everything.
FakeMysqlServer::Script serveRows(std::vector<std::string> columns, Rows rows, bool cut = false,
                                  mysqlwire::Greeting greeting = {}) {
    return [=](FakeMysqlConnection& c) {
        handshake(c, greeting);
        if (!c.readPacket()) return;
        std::uint8_t sequence = 1;
        std::string reply = resultHeader(columns, sequence);
        for (const auto& r : rows) reply += packet(sequence++, row(r));
        if (cut) {
            c.sendRaw(reply);
            return;
        }
        reply += packet(sequence++, mysqlwire::eof41());
        c.sendRaw(reply);
        answerOk(c);
    };
}

void connectTo(TMysqlClient& client, const FakeMysqlServer& server) {
    pointAt(client, server);
    client.setShouldReconnect(false);
    ASSERT_TRUE(client.connect()) << text::toUtf8(client.LastError());
}

std::unique_ptr<TMysqlResult> run(TMysqlClient& client, bool store, bool* executedOut = nullptr) {
    bool executed = false;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"SELECT", store, executed, result);
    if (executedOut) *executedOut = executed;
    return result;
}

const std::vector<std::string> kOneColumn = {column41("t", "a", 253, 40)};
const Rows kThreeRows = {{"r0"}, {"r1"}, {"r2"}};

TEST_F(ResultTest, storedResultOfThreeRowsIsWalkedRowByRow) {
    FakeMysqlServer server({serveRows(kOneColumn, kThreeRows)});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, true);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ResultType(), rtStored);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_EQ(client.AffectedRows(), 3);
    EXPECT_EQ(result->RowsCount(), 3);
    EXPECT_EQ(result->RecNo(), 0);
    EXPECT_TRUE(result->Bof());
    EXPECT_FALSE(result->Eof());
    EXPECT_TRUE(result->LastRowRead());
    EXPECT_FALSE(result->HadErrors());
    std::vector<std::u16string> seen;
    while (!result->Eof()) {
        seen.push_back(result->FieldValue(0));
        result->Next();
    }
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"r0", u"r1", u"r2"}));
    EXPECT_EQ(result->RecNo(), 2);
    result->Prior();
    EXPECT_EQ(result->RecNo(), 1);
    EXPECT_FALSE(result->Bof());
    EXPECT_FALSE(result->Eof());
    EXPECT_EQ(result->FieldValue(0), u"r1");
    result->setRecNo(5);
    EXPECT_EQ(result->RecNo(), 1);
    result->setRecNo(2);
    EXPECT_EQ(result->RecNo(), 2);
    EXPECT_EQ(result->FieldValue(0), u"r2");
    EXPECT_FALSE(result->Bof());
    EXPECT_FALSE(result->Eof());
    result->First();
    EXPECT_EQ(result->FieldValue(0), u"r0");
    EXPECT_TRUE(result->Bof());
    result->Last();
    EXPECT_EQ(result->FieldValue(0), u"r2");
    EXPECT_TRUE(result->Eof());
    EXPECT_EQ(result->RecNo(), 2);
    EXPECT_EQ(result->FieldDef(0)->Max_Length, 2u);
    // The connection is free for other commands at once.
    EXPECT_TRUE(client.ping());
    client.close();
    server.finish();
}

TEST_F(ResultTest, storedResultWithNoRows) {
    FakeMysqlServer server({serveRows(kOneColumn, {})});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, true);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->Eof());
    EXPECT_EQ(result->RecNo(), -1);
    EXPECT_EQ(result->CurrentRow(), nullptr);
    EXPECT_EQ(result->RowsCount(), 0);
    EXPECT_EQ(client.AffectedRows(), 0);
    EXPECT_EQ(result->FieldValue(0), u"");
    result->First();
    EXPECT_EQ(result->RecNo(), -1);
    result->Next();
    result->Prior();
    EXPECT_TRUE(result->Eof());
    result->setHasLengths(true);
    EXPECT_EQ(result->FieldLenght(0), 0u);
    client.close();
    server.finish();
}

TEST_F(ResultTest, usedResultStreamsRowsAndFreesTheConnectionAtTheEnd) {
    FakeMysqlServer server({serveRows(kOneColumn, {{"first"}, {"second"}})});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, false);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ResultType(), rtUsed);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_USE_RESULT);
    EXPECT_EQ(result->FieldValue(0), u"first");
    EXPECT_EQ(result->RowsCount(), 1);
    EXPECT_TRUE(result->Bof());
    EXPECT_EQ(result->FieldLenght(0), 5u);  // each row read brings its lengths
    // While the rows stream, other commands are out of order.
    EXPECT_FALSE(client.ping());
    EXPECT_EQ(client.LastErrorNo(), 2014u);
    EXPECT_EQ(client.LastError(), u"Commands out of sync;  You can't run this command now");
    result->Next();
    EXPECT_EQ(result->FieldValue(0), u"second");
    EXPECT_EQ(result->RowsCount(), 2);
    EXPECT_EQ(result->RecNo(), 1);
    result->Next();
    EXPECT_TRUE(result->Eof());
    EXPECT_TRUE(result->LastRowRead());
    EXPECT_FALSE(result->HadErrors());
    EXPECT_EQ(result->Handle(), nullptr);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_EQ(client.AffectedRows(), 2);
    EXPECT_EQ(result->FieldValue(0), u"second");  // the last row stays readable
    EXPECT_TRUE(client.ping());
    client.close();
    server.finish();
}

TEST_F(ResultTest, lastOnAUsedResultReadsEveryRow) {
    Rows rows;
    for (int i = 0; i < 1000; ++i) rows.push_back({"row" + std::to_string(i)});
    FakeMysqlServer server({serveRows(kOneColumn, rows)});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, false);
    ASSERT_TRUE(result);
    result->Last();
    EXPECT_EQ(result->RowsCount(), 1000);
    EXPECT_EQ(result->RecNo(), 999);
    EXPECT_EQ(result->FieldValue(0), u"row999");
    EXPECT_TRUE(result->Eof());
    EXPECT_TRUE(result->LastRowRead());
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    client.close();
    server.finish();
}

TEST_F(ResultTest, freeingAUsedResultDrainsTheRestAndAnotherQueryFreesThePreviousOne) {
    Rows rows;
    for (int i = 0; i < 50; ++i) rows.push_back({std::string(300, 'x')});
    FakeMysqlServer server({serveRows(kOneColumn, rows)});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, false);
    ASSERT_TRUE(result);
    result.reset();
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_EQ(client.AffectedRows(), 1);
    EXPECT_TRUE(client.ping());
    client.close();
    server.finish();
    EXPECT_EQ(server.received(0).back(), "\x01");
}

TEST_F(ResultTest, secondQueryWhileAUsedResultStreamsIsRefused) {
    FakeMysqlServer server({serveRows(kOneColumn, kThreeRows)});
    TMysqlClient client;
    connectTo(client, server);
    auto first = run(client, false);
    ASSERT_TRUE(first);
    bool executed = true;
    auto second = run(client, true, &executed);
    EXPECT_FALSE(executed);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(client.LastErrorNo(), 2014u);
    first.reset();
    client.close();
    server.finish();
}

TEST_F(ResultTest, nullAndEmptyValuesReadAsEmptyAndOneByteRowsAreRows) {
    const Rows rows = {{""}, {std::nullopt}, {"x"}};
    for (const bool store : {true, false}) {
        SCOPED_TRACE(store);
        FakeMysqlServer server({serveRows(kOneColumn, rows)});
        TMysqlClient client;
        connectTo(client, server);
        auto result = run(client, store);
        ASSERT_TRUE(result);
        std::vector<std::u16string> values;
        std::vector<std::uint32_t> lengths;
        while (!result->Eof()) {
            result->setHasLengths(true);
            values.push_back(result->FieldValue(0));
            lengths.push_back(result->FieldLenght(0));
            result->Next();
        }
        EXPECT_EQ(values, (std::vector<std::u16string>{u"", u"", u"x"}));
        EXPECT_EQ(lengths, (std::vector<std::uint32_t>{0, 0, 1}));
        EXPECT_EQ(result->RowsCount(), 3);
        EXPECT_TRUE(client.ping());  // nothing was left unread
        client.close();
        server.finish();
    }
}

TEST_F(ResultTest, valueWithAZeroByteCountsWholeButReadsToTheZero) {
    FakeMysqlServer server({serveRows({column41("t", "b", 252)}, {{std::string("ab\0cd", 5)}})});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, true);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->FieldLenght(0), 0u);
    result->setHasLengths(true);
    EXPECT_EQ(result->FieldLenght(0), 5u);
    EXPECT_EQ(result->Lengths()[0], 5u);
    EXPECT_EQ(result->FieldValue(0), u"ab");
    std::ostringstream stream;
    result->FieldValueBin(0, stream);
    result->FieldValueBin(7, stream);
    EXPECT_EQ(stream.str(), "ab");
    EXPECT_EQ(result->CurrentRow()->length(0), 5u);
    EXPECT_EQ(result->FieldLenght(-1), 0u);
    client.close();
    server.finish();
}

TEST_F(ResultTest, columnsAreFoundByNameAndCarryTheirDefinitions) {
    const std::vector<std::string> columns = {
        column41("tbl", "Id", 3, 11),           column41("tbl", "stamp", 7, 19),
        column41("tbl", "old", 7, 14),          column41("tbl", "yr", 13, 4),
        column41("tbl", "name", 253, 80, 1, 0), column41("tbl", "id", 3, 11, 0x8000),
        column41("tbl", "Name", 253, 80),       column41("tbl", "price", 246, 10, 0, 2)};
    FakeMysqlServer server(
        {serveRows(columns, {{"1", "2024", "20240101", "2024", "alpha", "7", "A", "1.50"},
                             {"22", std::nullopt, "", "1999", "be", "8", "B", "10.25"}})});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, true);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->FieldsCount(), 8);
    EXPECT_EQ(result->FieldIndexByName(u"", true), -1);
    EXPECT_EQ(result->FieldIndexByName(u"id", true), 5);
    EXPECT_EQ(result->FieldIndexByName(u"id", false), 0);  // the first of two matches
    EXPECT_EQ(result->FieldIndexByName(u"NAME", false), 4);
    EXPECT_EQ(result->FieldIndexByName(u"NAME", true), -1);
    EXPECT_EQ(result->FieldIndexByName(u"missing", false), -1);
    EXPECT_EQ(result->FieldValueByName(u"Name", true), u"A");
    EXPECT_EQ(result->FieldDefByName(u"missing", true), nullptr);
    EXPECT_EQ(result->FieldDef(8), nullptr);
    const TMysql_FieldDef* defs = result->FieldsDefs();
    EXPECT_EQ(defs[0].Table, "tbl");
    EXPECT_EQ(defs[0].Name, "Id");
    EXPECT_EQ(defs[0].FieldType, 3);
    EXPECT_EQ(defs[0].Length, 11u);
    EXPECT_EQ(defs[0].Flags, 0x8000u);  // integers are numeric
    EXPECT_EQ(defs[1].Flags, 0u);       // a timestamp of length 19 is not
    EXPECT_EQ(defs[2].Flags, 0x8000u);  // one of length 14 is
    EXPECT_EQ(defs[3].Flags, 0x8000u);  // years are
    EXPECT_EQ(defs[4].Flags, 1u);
    EXPECT_EQ(defs[5].Flags, 0x8000u);  // already numeric: stays 0x8000
    EXPECT_EQ(defs[7].Decimals, 2u);
    EXPECT_EQ(defs[0].Max_Length, 2u);
    EXPECT_EQ(defs[1].Max_Length, 4u);
    EXPECT_EQ(defs[4].Max_Length, 5u);
    client.close();
    server.finish();
}

TEST_F(ResultTest, oldServersDescribeColumnsWithFiveValues) {
    mysqlwire::Greeting old;
    old.capabilities = 0x000F;  // no 4.1 protocol; long column flags
    const std::string oldColumn = mysqlwire::lenencString("tbl") + mysqlwire::lenencString("num") +
                                  mysqlwire::lenencString(mysqlwire::int3(11)) +
                                  mysqlwire::lenencString("\x03") +
                                  mysqlwire::lenencString(bytes({0x03, 0x42, 0x00}));
    FakeMysqlServer server({[&](FakeMysqlConnection& c) {
        handshake(c, old);
        c.readPacket();
        c.sendRaw(packet(1, "\x01") + packet(2, oldColumn) + packet(3, "\xFE") +
                  packet(4, row({"5"})) + packet(5, "\xFE"));
        answerOk(c);
    }});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, true);
    ASSERT_TRUE(result);
    const TMysql_FieldDef* def = result->FieldDef(0);
    EXPECT_EQ(def->Table, "tbl");
    EXPECT_EQ(def->Name, "num");
    EXPECT_EQ(def->Length, 11u);
    EXPECT_EQ(def->FieldType, 3);
    EXPECT_EQ(def->Flags, 0x4203u | 0x8000u);
    EXPECT_EQ(def->Decimals, 0u);
    EXPECT_EQ(result->FieldValue(0), u"5");
    client.close();
    server.finish();
}

TEST_F(ResultTest, connectionCutWhileStreamingShowsAsHadErrors) {
    FakeMysqlServer server({serveRows(kOneColumn, {{"only"}}, true)});
    TMysqlClient client;
    connectTo(client, server);
    auto result = run(client, false);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->FieldValue(0), u"only");
    result->Next();
    EXPECT_TRUE(result->Eof());
    EXPECT_TRUE(result->HadErrors());
    EXPECT_TRUE(result->LastRowRead());
    EXPECT_EQ(client.LastErrorNo(), 2013u);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_FALSE(client.Connected());
    server.finish();
}

TEST_F(ResultTest, closingTheClientDetachesAStreamingResult) {
    FakeMysqlServer server({serveRows(kOneColumn, kThreeRows)});
    auto client = std::make_unique<TMysqlClient>();
    connectTo(*client, server);
    auto result = run(*client, false);
    ASSERT_TRUE(result);
    client.reset();  // the result outlives its connection safely
    EXPECT_EQ(result->Handle(), nullptr);
    result->Next();
    EXPECT_TRUE(result->Eof());
    EXPECT_TRUE(result->HadErrors());
    result->Last();
    EXPECT_TRUE(result->HadErrors());
    server.finish();
}

TEST_F(ResultTest, storedResultCutShortIsAFailedQuery) {
    FakeMysqlServer server({serveRows(kOneColumn, kThreeRows, true)});
    TMysqlClient client;
    connectTo(client, server);
    bool executed = true;
    auto result = run(client, true, &executed);
    EXPECT_FALSE(executed);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(client.LastErrorNo(), 2013u);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    server.finish();
}

TEST_F(ResultTest, serverErrorBetweenRowsLeavesTheConnectionReady) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        c.readPacket();
        std::uint8_t sequence = 1;
        std::string reply = resultHeader(kOneColumn, sequence);
        reply += packet(sequence++, row({"a"}));
        reply +=
            packet(sequence++, mysqlwire::error(1317, "Query execution was interrupted", "70100"));
        c.sendRaw(reply);
        answerOk(c);
    }});
    TMysqlClient client;
    connectTo(client, server);
    bool executed = true;
    auto result = run(client, true, &executed);
    EXPECT_FALSE(executed);
    EXPECT_EQ(client.LastErrorNo(), 1317u);
    EXPECT_EQ(client.LastError(), u"Query execution was interrupted");
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_TRUE(client.ping());
    client.close();
    server.finish();
}

TEST_F(ResultTest, malformedPacketsAreClientErrorsNeverOverreads) {
    const std::string header =
        packet(1, "\x01") + packet(2, column41("t", "a", 253)) + packet(3, mysqlwire::eof41());
    const struct {
        const char* what;
        std::string reply;
    } cases[] = {
        {"row value longer than its packet", header + packet(4,
                                                             "\x05"
                                                             "ab")},
        {"row with bytes after its values", header + packet(4,
                                                            "\x01"
                                                            "abc")},
        {"length-coded number cut off", header + packet(4, "\xFC\x01")},
        {"column definition cut off", packet(1, "\x01") + packet(2,
                                                                 "\x03"
                                                                 "def\x04te")},
        {"more definitions than columns", packet(1, "\x01") + packet(2, column41("t", "a", 3)) +
                                              packet(3, column41("t", "b", 3)) +
                                              packet(4, mysqlwire::eof41())},
        {"result header cut off", packet(1, "\xFD\x01")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeMysqlServer server({[&](FakeMysqlConnection& connection) {
            handshake(connection);
            connection.readPacket();
            connection.sendRaw(c.reply);
            drain(connection);
        }});
        TMysqlClient client;
        connectTo(client, server);
        bool executed = true;
        auto result = run(client, true, &executed);
        EXPECT_FALSE(executed);
        EXPECT_EQ(client.LastErrorNo(), 2000u);
        EXPECT_FALSE(client.Connected());
        server.finish();
    }
}

TEST_F(ResultTest, listProcessesGivesAStoredResult) {
    FakeMysqlServer server({serveRows({column41("", "Id", 8), column41("", "User", 253)},
                                      {{"5", "root"}, {"6", std::nullopt}})});
    TMysqlClient client;
    connectTo(client, server);
    auto result = client.list_processes();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ResultType(), rtStored);
    EXPECT_EQ(result->RowsCount(), 2);
    EXPECT_EQ(result->FieldValueByName(u"user", false), u"root");
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    client.close();
    server.finish();
    EXPECT_EQ(server.received(0)[1], "\x0A");
}

TEST_F(ResultTest, compressedFrameCarriesAWholeResult) {
    FakeMysqlServer server({[](FakeMysqlConnection& c) {
        handshake(c);
        const std::string frameIn = c.readRaw(4096);  // the statement, as one frame
        std::uint8_t sequence = 1;
        std::string inner = resultHeader(kOneColumn, sequence);
        inner += packet(sequence++, row({std::string(100, 'v')}));
        inner += packet(sequence++, row({"w"}));
        inner += packet(sequence++, mysqlwire::eof41());
        uLongf length = compressBound(inner.size());
        std::string packed(length, '\0');
        compress(reinterpret_cast<Bytef*>(packed.data()), &length,
                 reinterpret_cast<const Bytef*>(inner.data()), inner.size());
        packed.resize(length);
        // The frame's sequence follows the statement's frame (0).
        c.sendRaw(mysqlwire::int3(packed.size()) + char(1) + mysqlwire::int3(inner.size()) +
                  packed);
        drain(c);
    }});
    TMysqlClient client;
    connectTo(client, server);
    client.net().set_compress(true);
    auto result = run(client, true);
    ASSERT_TRUE(result) << text::toUtf8(client.LastError());
    EXPECT_EQ(result->RowsCount(), 2);
    EXPECT_EQ(result->FieldValue(0), std::u16string(100, u'v'));
    result->Next();
    EXPECT_EQ(result->FieldValue(0), u"w");
    client.close();
    server.finish();
}

}  // namespace
