// The MySQL client's shared vocabulary: transport kinds, command states, command bytes,
// capability bits, and the two text conversions used on the wire.
#pragma once

#include <cstdint>
#include <string>

enum TEnumVioType : std::uint8_t {
    VIO_CLOSED = 0,
    VIO_TYPE_TCPIP = 1,
    VIO_TYPE_SOCKET = 2,
    VIO_TYPE_NAMEDPIPE = 3,
    VIO_TYPE_SSL = 4,
};

// TLS for the connection: never; when the server offers it; always; always with the server's
// certificate checked against the CA; and also naming the host connected to.
enum TMysqlSslMode : std::uint8_t {
    SSL_MODE_DISABLED = 0,
    SSL_MODE_PREFERRED = 1,
    SSL_MODE_REQUIRED = 2,
    SSL_MODE_VERIFY_CA = 3,
    SSL_MODE_VERIFY_IDENTITY = 4,
};

enum TMysql_Status : std::uint8_t {
    MYSQL_STATUS_READY = 0,
    MYSQL_STATUS_GET_RESULT = 1,
    MYSQL_STATUS_USE_RESULT = 2,
};

// Command bytes: the first payload byte of a command packet.
constexpr std::uint8_t COM_QUIT = 1;
constexpr std::uint8_t COM_INIT_DB = 2;
constexpr std::uint8_t COM_QUERY = 3;
constexpr std::uint8_t COM_CREATE_DB = 5;
constexpr std::uint8_t COM_DROP_DB = 6;
constexpr std::uint8_t COM_REFRESH = 7;
constexpr std::uint8_t COM_SHUTDOWN = 8;
constexpr std::uint8_t COM_STATISTICS = 9;
constexpr std::uint8_t COM_PROCESS_INFO = 10;
constexpr std::uint8_t COM_PROCESS_KILL = 12;
constexpr std::uint8_t COM_DEBUG = 13;
constexpr std::uint8_t COM_PING = 14;
constexpr std::uint8_t COM_CHANGE_USER = 17;

// Capability bits of the handshake.
constexpr std::uint32_t CLIENT_LONG_PASSWORD = 0x0001;
constexpr std::uint32_t CLIENT_LONG_FLAG = 0x0004;
constexpr std::uint32_t CLIENT_CONNECT_WITH_DB = 0x0008;
constexpr std::uint32_t CLIENT_COMPRESS = 0x0020;
constexpr std::uint32_t CLIENT_LOCAL_FILES = 0x0080;
constexpr std::uint32_t CLIENT_PROTOCOL_41 = 0x0200;
constexpr std::uint32_t CLIENT_INTERACTIVE = 0x0400;
constexpr std::uint32_t CLIENT_SSL = 0x0800;
constexpr std::uint32_t CLIENT_TRANSACTIONS = 0x2000;
constexpr std::uint32_t CLIENT_SECURE_CONNECTION = 0x8000;
// The upper half, which the login sets itself: several results per statement, the method's
// name in the login, and the login's answer longer than 250 bytes (an RSA ciphertext).
constexpr std::uint32_t CLIENT_MULTI_RESULTS = 0x20000;
constexpr std::uint32_t CLIENT_PLUGIN_AUTH = 0x80000;
constexpr std::uint32_t CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA = 0x200000;
// long password, long column flags, local files, transactions
constexpr std::uint32_t CLIENT_DEFAULT_FLAG = 0x2085;

// Server status bits.
constexpr std::int32_t SERVER_STATUS_IN_TRANS = 0x0001;
constexpr std::int32_t SERVER_STATUS_AUTOCOMMIT = 0x0002;
// Another result of the same statement follows (e.g. the results of a CALL).
constexpr std::int32_t SERVER_MORE_RESULTS_EXISTS = 0x0008;

// The text in the system ANSI code page (UTF-8 on Linux), one character at a time.
std::string to_ansi(const std::u16string& text);
// UTF-8 bytes re-encoded as UTF-8: well-formed input comes back as it is; input that does not
// convert (or converts to nothing) is returned unchanged.
std::string to_utf8(const std::string& bytes);
