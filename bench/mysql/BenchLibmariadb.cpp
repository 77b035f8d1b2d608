// libmariadb's side of the MySQL benchmark: the same reads and cycles through its C API.
#include <mysql.h>

#include "bench/mysql/BenchCommon.h"

namespace {

bool open(MYSQL* mysql, const bench::Args& args) {
    // TLS without checking the certificate, as the native side's "required".
    if (args.tls) mysql_ssl_set(mysql, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (mysql_real_connect(mysql, bench::kHost, args.user(), args.password(), args.db(),
                           args.port(), nullptr, 0))
        return true;
    std::fprintf(stderr, "connect: %s\n", mysql_error(mysql));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    bench::Args args;
    if (!bench::parseArgs(argc, argv, args)) {
        std::fprintf(stderr, "usage: bench_mysql_libmariadb [tls-]stored|used|connect [count]\n");
        return 2;
    }
    std::uint64_t rows = 0, bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    if (args.mode == "connect") {
        for (int i = 0; i < args.count; ++i) {
            MYSQL* mysql = mysql_init(nullptr);
            if (!open(mysql, args)) return 1;
            mysql_close(mysql);
            ++rows;
        }
    } else {
        MYSQL* mysql = mysql_init(nullptr);
        if (!open(mysql, args)) return 1;
        if (mysql_query(mysql, args.statement()) != 0) {
            std::fprintf(stderr, "query: %s\n", mysql_error(mysql));
            return 1;
        }
        MYSQL_RES* result =
            args.mode == "stored" ? mysql_store_result(mysql) : mysql_use_result(mysql);
        if (!result) return 1;
        const unsigned fields = mysql_num_fields(result);
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            const unsigned long* lengths = mysql_fetch_lengths(result);
            for (unsigned c = 0; c < fields; ++c) {
                // Empty values count as absent, as the native client stores them.
                if (row[c] && lengths[c]) bytes += lengths[c] + std::uint8_t(row[c][0] & 1);
            }
            ++rows;
        }
        mysql_free_result(result);
        mysql_close(mysql);
    }
    bench::report(args, bench::secondsSince(start), rows, bytes);
    return 0;
}
