// What both benchmark programs share: the server, the statement, the command line and the
// report line that bench/mysql/run reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

constexpr const char* kHost = "127.0.0.1";
constexpr unsigned kPort = 3307;
constexpr const char* kUser = "orvelle";
constexpr const char* kPassword = "orvelle-pass";
constexpr const char* kDb = "orvelle_test";
constexpr const char* kStatement = "SELECT id, n, s1, m, s2 FROM bench";
// The TLS round: a MariaDB with TLS that bench/mysql/run starts on this port, its bench user,
// and rows the server makes without a table.
constexpr unsigned kTlsPort = 3318;
constexpr const char* kTlsUser = "bench";
constexpr const char* kTlsPassword = "bench-pass";
constexpr const char* kTlsStatement =
    "SELECT seq, seq * 7919 % 1000003, MD5(seq), seq % 977, SHA1(seq) FROM seq_1_to_200000";

// Mode from argv: "stored", "used" or "connect" (with an optional count, default 2000); with
// the prefix "tls-" the same over TLS against the TLS server.
struct Args {
    std::string mode;
    bool tls = false;
    int count = 2000;
    const char* user() const { return tls ? kTlsUser : kUser; }
    const char* password() const { return tls ? kTlsPassword : kPassword; }
    unsigned port() const { return tls ? kTlsPort : kPort; }
    const char* db() const { return tls ? "bench" : kDb; }
    const char* statement() const { return tls ? kTlsStatement : kStatement; }
};

inline bool parseArgs(int argc, char** argv, Args& args) {
    if (argc < 2) return false;
    args.mode = argv[1];
    if (args.mode.rfind("tls-", 0) == 0) {
        args.tls = true;
        args.mode = args.mode.substr(4);
    }
    if (argc > 2) args.count = std::atoi(argv[2]);
    return args.mode == "stored" || args.mode == "used" || args.mode == "connect";
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One line: mode, seconds, rows, bytes of values seen (so both sides prove the same work).
inline void report(const Args& args, double seconds, std::uint64_t rows, std::uint64_t bytes) {
    std::printf("%s%s %.6f %llu %llu\n", args.tls ? "tls-" : "", args.mode.c_str(), seconds,
                static_cast<unsigned long long>(rows), static_cast<unsigned long long>(bytes));
}

}  // namespace bench
