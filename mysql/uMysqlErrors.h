// The client error numbers 2000..2020 with their texts, and the filling of their placeholders.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

constexpr std::uint32_t CR_MIN_ERROR = 2000;
constexpr std::uint32_t CR_UNKNOWN_ERROR = 2000;
constexpr std::uint32_t CR_SOCKET_CREATE_ERROR = 2001;
constexpr std::uint32_t CR_CONNECTION_ERROR = 2002;
constexpr std::uint32_t CR_CONN_HOST_ERROR = 2003;
constexpr std::uint32_t CR_IPSOCK_ERROR = 2004;
constexpr std::uint32_t CR_UNKNOWN_HOST = 2005;
constexpr std::uint32_t CR_SERVER_GONE_ERROR = 2006;
constexpr std::uint32_t CR_VERSION_ERROR = 2007;
constexpr std::uint32_t CR_OUT_OF_MEMORY = 2008;
constexpr std::uint32_t CR_WRONG_HOST_INFO = 2009;
constexpr std::uint32_t CR_LOCALHOST_CONNECTION = 2010;
constexpr std::uint32_t CR_TCP_CONNECTION = 2011;
constexpr std::uint32_t CR_SERVER_HANDSHAKE_ERR = 2012;
constexpr std::uint32_t CR_SERVER_LOST = 2013;
constexpr std::uint32_t CR_COMMANDS_OUT_OF_SYNC = 2014;
constexpr std::uint32_t CR_NAMEDPIPE_CONNECTION = 2015;
constexpr std::uint32_t CR_NAMEDPIPEWAIT_ERROR = 2016;
constexpr std::uint32_t CR_NAMEDPIPEOPEN_ERROR = 2017;
constexpr std::uint32_t CR_NAMEDPIPESETSTATE_ERROR = 2018;
constexpr std::uint32_t CR_CANT_READ_CHARSET = 2019;
constexpr std::uint32_t CR_NET_PACKET_TOO_LARGE = 2020;
constexpr std::uint32_t CR_MAX_ERROR = 2020;
// A TLS connection that could not be made (refused certificate, TLS required but not offered).
constexpr std::uint32_t CR_SSL_CONNECTION_ERROR = 2026;
constexpr const char* kSslConnectionErrorText = "SSL connection error: %-.100s";
// Used inside the packet layer for an oversized packet; turned into 2020 before callers see it.
constexpr std::uint32_t ER_NET_PACKET_TOO_LARGE = 1153;

extern const char* const client_error_messages[CR_MAX_ERROR - CR_MIN_ERROR + 1];

// One placeholder value: a text, a signed number (%d) or an unsigned number (%u, %lu).
using ErrorArgument = std::variant<std::u16string, std::int64_t, std::uint64_t>;

// Fills a template's placeholders in order: "%-.64s" / "%-.32s" (any width) cut the text to that
// many characters without padding, "%d" signed, "%u" and "%lu" unsigned. Missing arguments leave
// the placeholder empty; surplus ones are ignored.
std::u16string format_error_text(const char* templateText,
                                 std::initializer_list<ErrorArgument> arguments);
// The first `limit` characters of `text` (a surrogate pair counts as one and is never split).
std::u16string cut_characters(const std::u16string& text, std::size_t limit);
// The text of client error `number` (2000..2020) with its placeholders filled.
std::u16string client_error_text(std::uint32_t number,
                                 std::initializer_list<ErrorArgument> arguments = {});
