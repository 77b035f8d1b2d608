// The MySQL fuzz drivers over the captured MariaDB packets: what each reads from them, and that
// every truncation ends cleanly. (Each target's kept inputs are replayed by <target>_replay.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/fuzz/mysql/MysqlFuzzDrivers.h"

namespace {

const std::filesystem::path kSource = ORVELLE_SOURCE_DIR;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::uint8_t* bytes(const std::string& data) {
    return reinterpret_cast<const std::uint8_t*>(data.data());
}

std::string data(const char* name) {
    return readFile(kSource / "tests/data/mysql" / name);
}

TEST(MysqlFuzzReplay, capturedSessionIsReadToTheEnd) {
    const std::string session = data("session.bin");
    ASSERT_FALSE(session.empty());
    // samples (5 rows), one_column (4), and the process list as captured (2 connections).
    EXPECT_EQ(mysqlfuzz::session(bytes(session), session.size()), 5 + 4 + 2);
    // Every truncation of it ends cleanly, with fewer rows.
    for (std::size_t cut = 0; cut < session.size(); cut += 7)
        EXPECT_LE(mysqlfuzz::session(bytes(session), cut), 11) << "cut at " << cut;
}

TEST(MysqlFuzzReplay, capturedRepliesAreReadAsResults) {
    const std::string samples = data("result_samples.bin");
    EXPECT_EQ(mysqlfuzz::reply(bytes(samples), samples.size()), 5);
    const std::string three = samples + data("ok_insert.bin") + data("result_one_column.bin");
    // SELECT 1 reads the samples, SELECT 2 the OK, SELECT 3 the two-column one_column result.
    EXPECT_EQ(mysqlfuzz::reply(bytes(three), three.size()), 5 + 4);
    const std::string greeting = data("greeting.bin").substr(4);
    EXPECT_EQ(mysqlfuzz::greeting(bytes(greeting), greeting.size()), 1);
    for (std::size_t cut = 0; cut < greeting.size(); ++cut)
        mysqlfuzz::greeting(bytes(greeting), cut);
}

}  // namespace
