// The native client's side of the MySQL benchmark: a stored and a used read of the bench table,
// or connect+login+close cycles.
#include <memory>

#include "bench/mysql/BenchCommon.h"
#include "common/Text.h"
#include "mysql/uMysqlClient.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "platform/System.h"
#include "platform/Tls.h"

namespace {

bool open(TMysqlClient& client, const bench::Args& args) {
    client.setHost(text::fromUtf8(bench::kHost));
    client.setPort(args.port());
    client.setUser(text::fromUtf8(args.user()));
    client.setPassword(text::fromUtf8(args.password()));
    client.setDb(text::fromUtf8(args.db()));
    if (args.tls) client.setSslMode(SSL_MODE_REQUIRED);
    if (client.connect()) return true;
    std::fprintf(stderr, "connect: %s\n", text::toUtf8(client.LastError()).c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    bench::Args args;
    if (!bench::parseArgs(argc, argv, args)) {
        std::fprintf(stderr, "usage: bench_mysql_ours [tls-]stored|used|connect [count]\n");
        return 2;
    }
    const auto system = platform::createNativeSystem();
    const auto files = platform::createNativeFiles();
    const auto sockets = platform::createNativeSockets();
    const auto tls = platform::createNativeTls();
    platform::install(tls.get());
    platform::install(system.get());
    platform::install(files.get());
    platform::install(sockets.get());

    std::uint64_t rows = 0, bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    if (args.mode == "connect") {
        for (int i = 0; i < args.count; ++i) {
            TMysqlClient client;
            if (!open(client, args)) return 1;
            client.close();
            ++rows;
        }
    } else {
        // The client and its result are freed inside the measured time, as on the other side.
        TMysqlClient client;
        if (!open(client, args)) return 1;
        bool executed = false;
        std::unique_ptr<TMysqlResult> result;
        client.query(text::fromUtf8(args.statement()), args.mode == "stored", executed, result);
        if (!executed || !result) {
            std::fprintf(stderr, "query: %s\n", text::toUtf8(client.LastError()).c_str());
            return 1;
        }
        const std::int32_t fields = result->FieldsCount();
        for (; !result->Eof(); result->Next()) {
            const TMysql_Row* row = result->CurrentRow();
            for (std::int32_t c = 0; c < fields; ++c) {
                const char* value = row->value(std::size_t(c));
                if (value) bytes += row->length(std::size_t(c)) + std::uint8_t(value[0] & 1);
            }
            ++rows;
        }
        if (result->HadErrors()) return 1;
        result.reset();
        client.close();
    }
    bench::report(args, bench::secondsSince(start), rows, bytes);
    return 0;
}
