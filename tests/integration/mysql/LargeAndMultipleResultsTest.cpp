// Against the real MariaDB: values larger than one packet both ways, and statements with
// several results (a CALL of a procedure that returns rows).
#include "tests/integration/mysql/MariaDbFixture.h"

namespace {

class LargeAndMultipleResultsTest : public MariaDbTest {
  protected:
    void SetUp() override {
        MariaDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(open(client)) << u8(client.LastError());
    }
    TMysqlClient client;
};

TEST_F(LargeAndMultipleResultsTest, twentyMegabyteValueIsWrittenAndReadBackUnchanged) {
    if (scalar(client, u"SELECT @@max_allowed_packet >= 64 * 1024 * 1024") != "1")
        GTEST_SKIP() << "the server's max_allowed_packet is below 64M";
    // 20,000,000 bytes of a pattern that needs no escaping: the statement spans two packets.
    std::string value(20000000, '\0');
    for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<char>('a' + i * 7 % 26);
    run(client, u"CREATE TEMPORARY TABLE big (v LONGBLOB NOT NULL)");
    run(client, u"INSERT INTO big VALUES ('" + text::fromUtf8(value) + u"')");
    EXPECT_EQ(scalar(client, u"SELECT LENGTH(v) FROM big"), "20000000");
    for (const bool store : {true, false}) {
        auto result = run(client, u"SELECT v, 'after' FROM big", store);
        ASSERT_TRUE(result);
        ASSERT_FALSE(result->Eof());
        const TMysql_Row* row = result->CurrentRow();
        ASSERT_TRUE(row);
        ASSERT_EQ(row->length(0), value.size());
        EXPECT_TRUE(std::string(row->value(0), row->length(0)) == value);
        EXPECT_STREQ(row->value(1), "after");
        result.reset();
        // The server holds exactly what was sent, and the connection is in step.
        EXPECT_EQ(scalar(client, u"SELECT SUBSTRING(v, 19999990) FROM big"),
                  value.substr(19999989));
    }
}

TEST_F(LargeAndMultipleResultsTest, callWithRowsGivesEachResultAndTheNextStatementItsOwn) {
    run(client,
        u"CREATE OR REPLACE PROCEDURE two_results() BEGIN SELECT 1 AS a; "
        u"SELECT 'x' AS b, 2 AS c; END");
    for (const bool store : {true, false}) {
        bool executed = false;
        std::unique_ptr<TMysqlResult> result;
        client.query(u"CALL two_results()", store, executed, result);
        ASSERT_TRUE(executed) << u8(client.LastError());
        ASSERT_TRUE(result);
        EXPECT_EQ(u8(result->FieldValue(0)), "1");
        result->Last();
        ASSERT_TRUE(client.MoreResults());
        result.reset();
        client.next_result(store, executed, result);
        ASSERT_TRUE(executed) << u8(client.LastError());
        ASSERT_TRUE(result);
        EXPECT_EQ(result->FieldDef(0)->Name, "b");
        EXPECT_EQ(u8(result->FieldValue(0)) + u8(result->FieldValue(1)), "x2");
        result->Last();
        result.reset();
        // The CALL's own status ends the statement.
        ASSERT_TRUE(client.MoreResults());
        client.next_result(store, executed, result);
        EXPECT_TRUE(executed);
        EXPECT_FALSE(result);
        EXPECT_FALSE(client.MoreResults());

        // Results not taken are dropped before the next statement, which gets its own answer.
        client.query(u"CALL two_results()", store, executed, result);
        ASSERT_TRUE(executed);
        result.reset();
        EXPECT_EQ(scalar(client, u"SELECT 'own answer'"), "own answer");
        EXPECT_FALSE(client.MoreResults());
    }
}

}  // namespace
