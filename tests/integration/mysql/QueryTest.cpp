// Queries against the real MariaDB: stored and used results with navigation and field access,
// NULL, empty, zero-byte and Cyrillic values, affected rows and insert ids, errors, TryQuery and
// LOAD DATA LOCAL.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/integration/mysql/MariaDbFixture.h"

namespace {

class QueryTest : public MariaDbTest {
  protected:
    void SetUp() override {
        MariaDbTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(open(client)) << u8(client.LastError());
        run(client, u"SET NAMES utf8mb4");
    }
    TMysqlClient client;
};

TEST_F(QueryTest, storedResultWalksAndReadsEveryKindOfValue) {
    auto result = run(client, u"SELECT id, name, note, amount FROM samples ORDER BY id");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ResultType(), rtStored);
    EXPECT_EQ(result->FieldsCount(), 4);
    EXPECT_EQ(result->RowsCount(), 5);
    EXPECT_EQ(client.AffectedRows(), 5);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_EQ(result->RecNo(), 0);
    EXPECT_TRUE(result->Bof());
    EXPECT_FALSE(result->Eof());
    EXPECT_TRUE(result->LastRowRead());
    EXPECT_FALSE(result->HadErrors());

    // Column definitions of the 4.1 layout.
    ASSERT_TRUE(result->FieldDef(0));
    EXPECT_EQ(result->FieldDef(0)->Name, "id");
    EXPECT_EQ(result->FieldDef(0)->Table, "samples");
    EXPECT_EQ(result->FieldDef(0)->FieldType, 3);
    EXPECT_TRUE(result->FieldDef(0)->Flags & 0x8000);
    EXPECT_EQ(result->FieldDef(1)->FieldType, 253);
    EXPECT_FALSE(result->FieldDef(1)->Flags & 0x8000);
    EXPECT_EQ(result->FieldDef(1)->Max_Length, 24u);  // "Привіт, світе" in UTF-8
    EXPECT_EQ(result->FieldDef(4), nullptr);
    EXPECT_EQ(result->FieldDef(-1), nullptr);

    std::vector<std::string> rows;
    for (; !result->Eof(); result->Next()) {
        std::string line;
        for (int c = 0; c < 4; ++c) {
            if (c) line += '|';
            line += u8(result->FieldValue(c));
        }
        rows.push_back(line);
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{"1|alpha|first row|10", "2|||", "3|||-3",
                                        "4|Привіт, світе|Київ|4000000", "5|a|zero byte inside|5"}));
    EXPECT_EQ(result->RecNo(), 4);

    // NULL and empty read the same, also by length.
    result->setRecNo(1);
    EXPECT_FALSE(result->Eof());
    EXPECT_FALSE(result->Bof());
    result->setHasLengths(true);
    EXPECT_EQ(result->FieldLenght(1), 0u);
    EXPECT_EQ(result->FieldLenght(2), 0u);
    result->Next();
    result->setHasLengths(true);
    EXPECT_EQ(result->FieldLenght(1), 0u);
    EXPECT_EQ(result->FieldLenght(3), 2u);

    // A zero byte inside a value: the text stops there, the length does not.
    result->Last();
    EXPECT_TRUE(result->Eof());
    EXPECT_EQ(result->RecNo(), 4);
    EXPECT_EQ(result->FieldLenght(1), 0u);  // not fetched since the move
    result->FetchLengths();
    EXPECT_EQ(result->FieldLenght(1), 3u);
    EXPECT_EQ(u8(result->FieldValue(1)), "a");
    std::ostringstream binary;
    result->FieldValueBin(1, binary);
    EXPECT_EQ(binary.str(), "a");
    ASSERT_TRUE(result->CurrentRow());
    EXPECT_EQ(std::string(result->CurrentRow()->value(1), 3), std::string("a\0b", 3));

    result->Prior();
    EXPECT_EQ(result->RecNo(), 3);
    EXPECT_EQ(u8(result->FieldValueByName(u"NAME", false)), "Привіт, світе");
    EXPECT_EQ(result->FieldValueByName(u"NAME", true), u"");
    EXPECT_EQ(result->FieldIndexByName(u"amount", true), 3);
    result->First();
    EXPECT_EQ(result->RecNo(), 0);
    EXPECT_TRUE(result->Bof());
    result->setRecNo(5);  // out of range: ignored
    EXPECT_EQ(result->RecNo(), 0);
}

TEST_F(QueryTest, usedResultStreamsRowsAndFreesTheConnectionAtTheEnd) {
    auto result = run(client, u"SELECT id, s1 FROM bench WHERE id <= 1000 ORDER BY id", false);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ResultType(), rtUsed);
    EXPECT_EQ(client.Status(), MYSQL_STATUS_USE_RESULT);
    EXPECT_EQ(result->RowsCount(), 1);
    EXPECT_EQ(u8(result->FieldValue(0)), "1");
    EXPECT_EQ(u8(result->FieldValue(1)), "c4ca4238a0b");
    EXPECT_EQ(result->FieldLenght(1), 11u);  // a used row brings its lengths
    result->Next();
    EXPECT_EQ(u8(result->FieldValue(0)), "2");

    // Another command while the rows stream is refused.
    EXPECT_FALSE(client.ping());
    EXPECT_EQ(client.LastErrorNo(), 2014u);
    EXPECT_EQ(u8(client.LastError()), "Commands out of sync;  You can't run this command now");

    result->Last();
    EXPECT_TRUE(result->Eof());
    EXPECT_EQ(result->RowsCount(), 1000);
    EXPECT_EQ(result->RecNo(), 999);
    EXPECT_EQ(u8(result->FieldValue(0)), "1000");
    EXPECT_TRUE(result->LastRowRead());
    EXPECT_FALSE(result->HadErrors());
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_EQ(client.AffectedRows(), 1000);
    EXPECT_TRUE(client.ping());
}

TEST_F(QueryTest, freeingAUsedResultEarlyDrainsItsRows) {
    bool executed = false;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"SELECT * FROM bench WHERE id <= 20000", false, executed, result);
    ASSERT_TRUE(executed && result);
    result->Next();
    result.reset();
    EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    EXPECT_EQ(scalar(client, u"SELECT 2 + 2"), "4");
    // Reusing the variable of an open used result frees it first.
    client.query(u"SELECT * FROM bench WHERE id <= 20000", false, executed, result);
    ASSERT_TRUE(executed && result);
    client.query(u"SELECT 'again'", true, executed, result);
    ASSERT_TRUE(executed && result);
    EXPECT_EQ(u8(result->FieldValue(0)), "again");
}

TEST_F(QueryTest, oneColumnRowsThatAreEmptyOrNullAreRowsNotTheEnd) {
    for (const bool store : {true, false}) {
        auto result = run(client, u"SELECT v FROM one_column ORDER BY id", store);
        ASSERT_TRUE(result);
        std::vector<std::string> values;
        for (; !result->Eof(); result->Next()) values.push_back(u8(result->FieldValue(0)));
        EXPECT_EQ(values, (std::vector<std::string>{"x", "", "", "y"})) << "store " << store;
        EXPECT_EQ(result->RowsCount(), 4);
        EXPECT_EQ(client.Status(), MYSQL_STATUS_READY);
    }
}

TEST_F(QueryTest, emptyResultAndStatementsWithoutRows) {
    auto result = run(client, u"SELECT id FROM samples WHERE id < 0");
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->Eof());
    EXPECT_EQ(result->RecNo(), -1);
    EXPECT_EQ(result->RowsCount(), 0);
    EXPECT_EQ(result->FieldValue(0), u"");
    EXPECT_EQ(client.AffectedRows(), 0);

    run(client, u"CREATE TEMPORARY TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, v INT)");
    EXPECT_FALSE(run(client, u"INSERT INTO t (v) VALUES (10), (20), (30)"));
    EXPECT_EQ(client.AffectedRows(), 3);
    EXPECT_EQ(client.LastInsertId(), 1);
    EXPECT_EQ(u8(client.Info()), "Records: 3  Duplicates: 0  Warnings: 0");
    run(client, u"INSERT INTO t (v) VALUES (40)");
    EXPECT_EQ(client.LastInsertId(), 4);
    EXPECT_EQ(u8(client.Info()), "");
    run(client, u"UPDATE t SET v = v + 1 WHERE v > 15");
    EXPECT_EQ(client.AffectedRows(), 3);
    EXPECT_EQ(u8(client.Info()), "Rows matched: 3  Changed: 3  Warnings: 0");
    EXPECT_EQ(scalar(client, u"SELECT SUM(v) FROM t"), "103");
}

TEST_F(QueryTest, serverErrorsKeepTheConnectionUsable) {
    bool executed = true;
    std::unique_ptr<TMysqlResult> result;
    client.query(u"SELECT * FROM no_such_table", true, executed, result);
    EXPECT_FALSE(executed);
    EXPECT_FALSE(result);
    EXPECT_EQ(client.LastErrorNo(), 1146u);
    EXPECT_EQ(u8(client.LastError()), "Table 'orvelle_test.no_such_table' doesn't exist");
    client.query(u"SELEC 1", true, executed, result);
    EXPECT_EQ(client.LastErrorNo(), 1064u);
    EXPECT_EQ(u8(client.LastError()).rfind("You have an error in your SQL syntax", 0), 0u);
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(scalar(client, u"SELECT 'still here'"), "still here");
}

TEST_F(QueryTest, cyrillicStatementsAndValuesTravelAsUtf8) {
    EXPECT_EQ(scalar(client, u"SELECT 'Зупинено користувачем.'"), "Зупинено користувачем.");
    EXPECT_EQ(scalar(client, u"SELECT CHAR_LENGTH('Київ')"), "4");
    EXPECT_EQ(scalar(client, u"SELECT id FROM samples WHERE note = 'Київ'"), "4");
}

TEST_F(QueryTest, largeValuesGrowTheBuffer) {
    auto result = run(client, u"SELECT REPEAT('x', 1000000), 'tail'");
    ASSERT_TRUE(result);
    result->FetchLengths();
    EXPECT_EQ(result->FieldLenght(0), 1000000u);
    EXPECT_EQ(result->FieldValue(0).size(), 1000000u);
    EXPECT_EQ(u8(result->FieldValue(1)), "tail");
    EXPECT_EQ(scalar(client, u"SELECT 'after'"), "after");
}

TEST_F(QueryTest, tryQueryRetriesAndReports) {
    std::unique_ptr<TMysqlResult> result;
    std::int32_t number = 99;
    std::u16string message = u"old";
    EXPECT_TRUE(client.TryQuery(result, number, message, u"SELECT 42", true, true));
    ASSERT_TRUE(result);
    EXPECT_EQ(u8(result->FieldValue(0)), "42");
    EXPECT_EQ(number, 0);
    EXPECT_EQ(message, u"");

    EXPECT_FALSE(
        client.TryQuery(result, number, message, u"SELECT * FROM no_such_table", false, true));
    EXPECT_EQ(number, 1146);
    EXPECT_EQ(u8(message), "Table 'orvelle_test.no_such_table' doesn't exist");

    // Every attempt succeeds without rows: no error text is left.
    EXPECT_FALSE(client.TryQuery(result, number, message, u"DO 1", true, true));
    EXPECT_EQ(number, -1);
    EXPECT_EQ(u8(message), "Can not connect to SQL");
    // Retries set the login's character set again, in which emoji still travel.
    run(client, u"CREATE TEMPORARY TABLE emoji (v VARCHAR(4) CHARACTER SET utf8mb4)");
    client.TryQuery(result, number, message, u"INSERT INTO emoji VALUES ('😀')", true, true);
    EXPECT_EQ(scalar(client, u"SELECT COUNT(*) FROM emoji WHERE v = '😀'"), "3");
}

class LoadDataTest : public QueryTest {
  protected:
    void SetUp() override {
        QueryTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        path = std::filesystem::temp_directory_path() /
               ("orvelle-load-" + std::to_string(client.ThreadId()) + ".txt");
        std::ofstream(path, std::ios::binary) << "1\tone\n2\tдва\n3\t\\N\n";
        run(client, u"CREATE TEMPORARY TABLE loaded (id INT, name VARCHAR(16))");
        // Forward slashes: the server puts the name back into the request as it was written.
        std::string name = path.string();
        for (char& c : name)
            if (c == '\\') c = '/';
        statement = u"LOAD DATA LOCAL INFILE '" + text::fromUtf8(name) +
                    u"' INTO TABLE loaded CHARACTER SET utf8mb4";
    }
    void TearDown() override { std::filesystem::remove(path); }

    std::filesystem::path path;
    std::u16string statement;
};

TEST_F(LoadDataTest, refusedByDefaultAndTheConnectionStaysUsable) {
    bool executed = true;
    std::unique_ptr<TMysqlResult> result;
    client.query(statement, true, executed, result);
    EXPECT_FALSE(executed);
    EXPECT_NE(client.LastErrorNo(), 0u);
    EXPECT_FALSE(client.LastError().empty());
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(scalar(client, u"SELECT COUNT(*) FROM loaded"), "0");
}

TEST_F(LoadDataTest, sendsTheFileWhenTheCallerEnabledIt) {
    client.setAllowLocalInfile(true);
    run(client, statement);
    EXPECT_EQ(client.AffectedRows(), 3);
    EXPECT_EQ(u8(client.Info()), "Records: 3  Deleted: 0  Skipped: 0  Warnings: 0");
    auto result = run(client, u"SELECT id, name FROM loaded ORDER BY id");
    ASSERT_TRUE(result);
    std::vector<std::string> rows;
    for (; !result->Eof(); result->Next())
        rows.push_back(u8(result->FieldValue(0)) + "=" + u8(result->FieldValue(1)));
    EXPECT_EQ(rows, (std::vector<std::string>{"1=one", "2=два", "3="}));
}

TEST_F(LoadDataTest, aMissingFileIsAnsweredAndReported) {
    client.setAllowLocalInfile(true);
    std::filesystem::remove(path);
    bool executed = true;
    std::unique_ptr<TMysqlResult> result;
    client.query(statement, true, executed, result);
    EXPECT_FALSE(executed);
    EXPECT_FALSE(client.LastError().empty());
    EXPECT_EQ(scalar(client, u"SELECT COUNT(*) FROM loaded"), "0");
}

}  // namespace
