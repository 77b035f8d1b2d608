// TMysqlClient: connection, handshake, commands, queries and the local-file transfer.
#include "mysql/uMysqlClient.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "common/Text.h"
#include "mysql/uMysqlErrors.h"
#include "mysql/uMysqlPacketReader.h"
#include "mysql/umysqlsha1.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/System.h"
#include "platform/Tls.h"

namespace {

// Character set numbers of the login: utf8mb4_general_ci and, for servers older than 5.5.3
// (which lack it), utf8_general_ci. Statements and values travel as UTF-8 either way.
constexpr std::uint8_t kCharsetUtf8mb4 = 45;
constexpr std::uint8_t kCharsetUtf8 = 33;
constexpr std::size_t kDbLimit = 64;
constexpr std::size_t kChangeUserBuffer = 512;
constexpr std::size_t kLocalFileBlock = 61440;

platform::System& systemService() {
    return platform::get<platform::System>();
}

void putLittleEndian(std::string& out, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// True when the version text (e.g. "5.5.5-10.11.6-MariaDB", "8.0.36") is 5.5.3 or later.
bool supportsUtf8mb4(std::string_view version) {
    std::uint32_t parts[3] = {};
    std::size_t at = 0;
    for (int part = 0; part < 3; ++part) {
        std::size_t digits = 0;
        while (at < version.size() && version[at] >= '0' && version[at] <= '9' && digits < 6) {
            parts[part] = parts[part] * 10 + static_cast<std::uint32_t>(version[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0) return false;
        if (part < 2) {
            if (at >= version.size() || version[at] != '.') return part > 0 && parts[0] > 5;
            ++at;
        }
    }
    if (parts[0] != 5) return parts[0] > 5;
    if (parts[1] != 5) return parts[1] > 5;
    return parts[2] >= 3;
}

// Reads a quoted SQL string literal at `i` ('...' or "..."; doubled quotes and backslash
// escapes as the server reads them); false when there is none.
bool readStringLiteral(const std::u16string& statement, std::size_t& i, std::u16string& value) {
    if (i >= statement.size() || (statement[i] != u'\'' && statement[i] != u'"')) return false;
    const char16_t quote = statement[i++];
    value.clear();
    while (i < statement.size()) {
        const char16_t c = statement[i++];
        if (c == quote) {
            if (i < statement.size() && statement[i] == quote) {
                value.push_back(quote);
                ++i;
                continue;
            }
            return true;
        }
        if (c != u'\\' || i >= statement.size()) {
            value.push_back(c);
            continue;
        }
        const char16_t e = statement[i++];
        switch (e) {
            case u'0':
                value.push_back(u'\0');
                break;
            case u'b':
                value.push_back(u'\b');
                break;
            case u'n':
                value.push_back(u'\n');
                break;
            case u'r':
                value.push_back(u'\r');
                break;
            case u't':
                value.push_back(u'\t');
                break;
            case u'Z':
                value.push_back(u'\x1A');
                break;
            case u'%':
            case u'_':
                value.push_back(u'\\');
                value.push_back(e);
                break;
            default:
                value.push_back(e);
        }
    }
    return false;
}

// The file named by a LOAD DATA [LOW_PRIORITY | CONCURRENT] LOCAL INFILE 'name' statement,
// or nothing when the statement is not one.
std::optional<std::u16string> localInfileName(const std::u16string& statement) {
    std::size_t i = 0;
    const auto blank = [&](std::size_t at) {
        return at < statement.size() && (statement[at] == u' ' || statement[at] == u'\t' ||
                                         statement[at] == u'\r' || statement[at] == u'\n');
    };
    const auto word = [&](std::u16string_view expected) {
        while (blank(i)) ++i;
        if (statement.size() - i < expected.size()) return false;
        for (std::size_t k = 0; k < expected.size(); ++k) {
            char16_t c = statement[i + k];
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
            if (c != expected[k]) return false;
        }
        const std::size_t after = i + expected.size();
        if (after < statement.size() && !blank(after) && statement[after] != u'\'' &&
            statement[after] != u'"')
            return false;
        i = after;
        return true;
    };
    if (!word(u"LOAD") || !word(u"DATA")) return std::nullopt;
    if (!word(u"LOW_PRIORITY")) word(u"CONCURRENT");
    if (!word(u"LOCAL") || !word(u"INFILE")) return std::nullopt;
    while (blank(i)) ++i;
    std::u16string name;
    if (!readStringLiteral(statement, i, name)) return std::nullopt;
    return name;
}

}  // namespace

TMysqlClient::TMysqlClient() : fnet(std::make_unique<TMysqlNet>()) {}

TMysqlClient::~TMysqlClient() {
    close();
}

void TMysqlClient::record_error(std::uint32_t number) {
    fnet->vio().record_error(number);
}

void TMysqlClient::cut_connection() {
    if (fnet->net_connected()) fnet->net_close();
}

// ---- properties -----------------------------------------------------------------------------

void TMysqlClient::setHost(const std::u16string& value) {
    if (value != fhost) cut_connection();
    fhost = value;
}
void TMysqlClient::setUser(const std::u16string& value) {
    if (value != fuser) cut_connection();
    fuser = value;
}
void TMysqlClient::setPassword(const std::u16string& value) {
    if (value != fpasswd) cut_connection();
    fpasswd = value;
}
void TMysqlClient::setUnixSocket(const std::u16string& value) {
    if (value != funix_socket && fnamed_pipe) cut_connection();
    funix_socket = value;
}
void TMysqlClient::setDb(const std::u16string& value) {
    fdb = value;
    if (fnet->net_connected()) select_db(value);
}
void TMysqlClient::setPort(std::uint32_t value) {
    if (value != fport) cut_connection();
    fport = value;
}
void TMysqlClient::setClientFlag(std::uint32_t value) {
    if (value != fclient_flag) cut_connection();
    fclient_flag = value;
}
void TMysqlClient::setUseNamedPipe(bool value) {
    if (value != fnamed_pipe) cut_connection();
    fnamed_pipe = value;
}

// ---- connection -----------------------------------------------------------------------------

bool TMysqlClient::connect() {
    return connect(fhost, fuser, fpasswd, fdb, fport, funix_socket, ftrysock,
                   static_cast<std::int32_t>(fclient_flag));
}

bool TMysqlClient::connect(const std::u16string& ahost, const std::u16string& auser,
                           const std::u16string& apasswd, const std::u16string& adb,
                           std::uint32_t aport, const std::u16string& aunix_socket, bool atrysocket,
                           std::int32_t aclient_flag) {
    if (fnet->net_connected()) return true;
    if (ahost.empty() && fhost.empty()) return false;
    // Copies first: the arguments may be this client's own fields.
    const std::u16string host = ahost, user = auser, password = apasswd, db = adb,
                         unixSocket = aunix_socket;
    if (!host.empty()) fhost = host;
    fuser = user;
    fpasswd = password;
    fdb = db;
    fport = aport;
    funix_socket = unixSocket;
    fclient_flag = static_cast<std::uint32_t>(aclient_flag);
    ftrysock = atrysocket;

    const auto port = static_cast<std::int32_t>(fport);
    // The connect time-out bounds the whole login: connect, greeting, TLS and every step of
    // the authentication.
    const std::uint64_t started = systemService().monotonicMilliseconds();
    fnet->vio().set_timeouts(fread_timeout, fwrite_timeout);
    if (fnamed_pipe) {
        fnet->net_open(VIO_TYPE_NAMEDPIPE, fhost, funix_socket, port, fconnect_timeout, ftrysock);
        if (fnet->vio_type() == VIO_TYPE_NAMEDPIPE) {
            fhost = u".";
            funix_socket = u"MySQL";
        } else if (fnet->vio_type() != VIO_CLOSED) {
            fnamed_pipe = false;
            funix_socket.clear();
        }
    } else {
        fnet->net_open(VIO_TYPE_TCPIP, fhost, funix_socket, port, fconnect_timeout, true);
        funix_socket.clear();
    }
    if (!fnet->net_connected()) return false;
    struct DeadlineScope {
        TMysqlVio& vio;
        ~DeadlineScope() { vio.set_deadline(std::nullopt); }
    } deadlineScope{fnet->vio()};
    if (fconnect_timeout != 0)
        fnet->vio().set_deadline(started + std::uint64_t(fconnect_timeout) * 1000);

    const std::int32_t length = fnet->net_safe_read();
    if (length == -1) {
        fnet->net_close();
        return false;
    }
    std::string plugin, seed;
    if (!read_greeting(length, plugin, seed)) {
        fnet->net_close();
        return false;
    }

    fclient_flag |= CLIENT_DEFAULT_FLAG;
    if (!fdb.empty()) fclient_flag |= CLIENT_CONNECT_WITH_DB;
    fclient_flag &= ~CLIENT_COMPRESS;
    fclient_flag |= CLIENT_PROTOCOL_41 | CLIENT_SECURE_CONNECTION | CLIENT_INTERACTIVE;
    // The upper half is the login's own; the caller's flags give the lower.
    const bool pluginAuth = fplugin_auth && (fserver_capabilities_high & CLIENT_PLUGIN_AUTH);
    fplugin_auth_active = pluginAuth;
    flogin_charset =
        supportsUtf8mb4(text::toUtf8(fserver_version)) ? kCharsetUtf8mb4 : kCharsetUtf8;
    std::uint32_t flags = (fclient_flag & 0xFFFF) | CLIENT_MULTI_RESULTS;
    if (pluginAuth) flags |= CLIENT_PLUGIN_AUTH | CLIENT_PLUGIN_AUTH_LENENC_CLIENT_DATA;
    if (!negotiate_tls(flags)) {
        fnet->net_close();
        return false;
    }
    if (fnet->vio().tls_active()) flags |= CLIENT_SSL;

    fauth_context.password = fpasswd;
    fauth_context.secure_channel =
        fnet->vio().tls_active() || fnet->vio_type() == VIO_TYPE_NAMEDPIPE;
    fauth_context.allow_old_passwords =
        fallow_old_passwords || !(fserver_capabilities & CLIENT_SECURE_CONNECTION);
    // The greeting's method when this client speaks it; otherwise the server switches.
    if (!pluginAuth || !TMysqlAuth::knows(plugin) || plugin == TMysqlAuth::kOldPassword ||
        plugin == TMysqlAuth::kClearPassword)
        plugin = TMysqlAuth::kNativePassword;
    const TMysqlAuth::Answer first = fauth.start(plugin, seed, fauth_context);
    if (first.step == TMysqlAuth::Step::Fail) {
        auth_error(CR_UNKNOWN_ERROR, first.error);
        fnet->net_close();
        return false;
    }

    // The authentication packet.
    std::string auth;
    auth.reserve(180);
    putLittleEndian(auth, flags, 4);
    putLittleEndian(auth, fnet->max_allowed_packet(), 4);
    auth.push_back(static_cast<char>(flogin_charset));
    auth.append(23, '\0');
    // Whole names in UTF-8, the character set the login announces.
    auth += text::toUtf8(fuser);
    auth.push_back('\0');
    if (pluginAuth) {
        std::uint64_t size = first.bytes.size();
        if (size < 251)
            auth.push_back(static_cast<char>(size));
        else
            auth.push_back('\xFC'), putLittleEndian(auth, static_cast<std::uint32_t>(size), 2);
    } else {
        auth.push_back(static_cast<char>(first.bytes.size()));
    }
    auth += first.bytes;
    const bool dbInLogin = !fdb.empty() && (fserver_capabilities & CLIENT_CONNECT_WITH_DB);
    const std::string dbName = dbInLogin ? text::toUtf8(cut_characters(fdb, kDbLimit)) : "";
    if (!pluginAuth) {
        // The short 4.1 login: the database, or a zero byte without one.
        auth += dbName.empty() ? std::string(1, '\0') : dbName;
    } else {
        // The server reads the database only when the flags announce one, then the method.
        if (flags & CLIENT_CONNECT_WITH_DB) auth += dbName + '\0';
        auth += plugin;
        auth.push_back('\0');
    }
    if (!send_auth_packet(auth) || finish_authentication(fpasswd) == -1) {
        fnet->net_close();
        return false;
    }
    fnet->set_compress((fclient_flag & CLIENT_COMPRESS) != 0);
    fstatus = MYSQL_STATUS_READY;
    if (!fdb.empty() && !(fserver_capabilities & CLIENT_CONNECT_WITH_DB)) {
        if (!select_db(fdb)) {
            fnet->net_close();
            return false;
        }
    }
    return true;
}

bool TMysqlClient::read_greeting(std::int32_t length, std::string& plugin, std::string& seed) {
    PacketReader greeting(fnet->read_pos(), static_cast<std::size_t>(length));
    std::uint8_t protocol = 0;
    greeting.readByte(protocol);
    fnet->set_protocol_version(protocol);
    if (protocol != 10 && protocol != 9) {
        fnet->vio().record_error(CR_VERSION_ERROR, {std::int64_t(protocol), std::int64_t(10)});
        return false;
    }
    const std::string_view version = greeting.readZeroTerminated();
    fserver_version = systemService().fromAnsi(std::string(version));
    const std::size_t L = version.size();
    // Without the thread id and the first seed bytes the greeting is not one.
    if (static_cast<std::size_t>(length) < L + 14) {
        record_error(CR_UNKNOWN_ERROR);
        return false;
    }
    std::uint64_t value = 0;
    greeting.readUint(4, value);
    fthread_id = static_cast<std::uint32_t>(value);
    const std::uint8_t* seedStart = nullptr;
    greeting.readBytes(8, seedStart);
    std::memcpy(fscramble_buff, seedStart, 8);
    // Fields past the end of the packet read as zero.
    const std::size_t packetLength = greeting.size();
    if (packetLength >= L + 16)
        fserver_capabilities = static_cast<std::uint32_t>(greeting.uintAt(15 + L, 2));
    fserver_capabilities_high = 0;
    if (packetLength >= L + 33) {
        fserver_language = static_cast<std::uint32_t>(greeting.uintAt(17 + L, 1));
        fserver_status = static_cast<std::int32_t>(greeting.uintAt(18 + L, 2));
        fserver_capabilities_high = static_cast<std::uint32_t>(greeting.uintAt(20 + L, 2)) << 16;
    }
    // Seed bytes 8..19: what the packet holds, zero for the rest.
    for (std::size_t i = 0; i < 12; ++i)
        fscramble_buff[8 + i] = static_cast<std::uint8_t>(greeting.uintAt(33 + L + i, 1));
    seed.assign(reinterpret_cast<const char*>(fscramble_buff), 20);
    // The method's name follows the seed's second part (its announced length, at least 13).
    plugin.clear();
    if (fserver_capabilities_high & CLIENT_PLUGIN_AUTH) {
        const std::size_t seedLength = static_cast<std::size_t>(greeting.uintAt(22 + L, 1));
        const std::size_t at =
            33 + L + std::max<std::size_t>(13, seedLength > 8 ? seedLength - 8 : 0);
        if (at < packetLength) {
            PacketReader name(fnet->read_pos() + at, packetLength - at);
            plugin = std::string(name.readZeroTerminated());
        }
    }
    return true;
}

bool TMysqlClient::negotiate_tls(std::uint32_t flags) {
    if (fssl_mode == SSL_MODE_DISABLED) return true;
    const auto refuse = [&](const std::u16string& reason) {
        fnet->set_last_errno(CR_SSL_CONNECTION_ERROR);
        fnet->set_last_error(format_error_text(kSslConnectionErrorText, {reason}));
        return false;
    };
    if (fnet->vio_type() != VIO_TYPE_TCPIP) return true;  // the local channel is private
    if (!(fserver_capabilities & CLIENT_SSL)) {
        if (fssl_mode == SSL_MODE_PREFERRED) return true;
        return refuse(u"SSL is required, but the server does not support it");
    }
    // The request: the login's first 32 bytes with the TLS bit.
    std::string request;
    putLittleEndian(request, flags | CLIENT_SSL, 4);
    putLittleEndian(request, fnet->max_allowed_packet(), 4);
    request.push_back(static_cast<char>(flogin_charset));
    request.append(23, '\0');
    if (fnet->my_net_write(request.data(), static_cast<std::uint32_t>(request.size())) != 0 ||
        fnet->net_flush() != 0)
        return false;
    platform::Tls::Options options;
    options.verify = fssl_mode == SSL_MODE_VERIFY_IDENTITY ? platform::Tls::Verify::Identity
                     : fssl_mode == SSL_MODE_VERIFY_CA     ? platform::Tls::Verify::Ca
                                                           : platform::Tls::Verify::None;
    options.caFile = systemService().toAnsi(fssl_ca);
    options.host = text::toUtf8(fhost);
    std::string reason;
    if (!fnet->vio().start_tls(options, reason)) {
        if (fnet->vio().vio_timed_out()) {
            record_error(CR_SERVER_LOST);
            return false;
        }
        return refuse(text::fromUtf8(reason));
    }
    return true;
}

bool TMysqlClient::send_auth_packet(const std::string& bytes) {
    return fnet->my_net_write(bytes.data(), static_cast<std::uint32_t>(bytes.size())) == 0 &&
           fnet->net_flush() == 0;
}

void TMysqlClient::auth_error(std::uint32_t number, const std::u16string& text) {
    fnet->set_last_errno(number);
    fnet->set_last_error(text.empty() ? client_error_text(number) : text);
}

std::int32_t TMysqlClient::finish_authentication(const std::u16string& password) {
    // A login takes at most one switch and a few further requests; more is a broken server.
    constexpr int kMaxRounds = 8;
    bool switched = false;
    TMysqlAuthContext context = fauth_context;
    context.password = password;
    for (int round = 0; round < kMaxRounds; ++round) {
        const std::int32_t length = fnet->net_safe_read();
        if (length == -1) return -1;
        PacketReader reader(fnet->read_pos(), static_cast<std::size_t>(length));
        // Only an OK packet finishes a login.
        if (reader.startsWith(0x00)) return length;
        std::uint8_t kind = 0;
        reader.readByte(kind);
        TMysqlAuth::Answer answer;
        if (kind == 0xFE && !switched) {
            switched = true;
            if (reader.atEnd()) {
                // The pre-4.1 scramble over the greeting's seed.
                answer = fauth.start(TMysqlAuth::kOldPassword,
                                     {reinterpret_cast<const char*>(fscramble_buff), 20}, context);
            } else {
                const std::string plugin(reader.readZeroTerminated());
                std::string_view seed = reader.rest();
                if (!seed.empty() && seed.back() == '\0') seed.remove_suffix(1);
                answer = fauth.start(plugin, seed, context);
            }
        } else if (kind == 0x01) {
            answer = fauth.more(reader.rest(), context);
        } else {
            auth_error(CR_SERVER_HANDSHAKE_ERR, {});
            return -1;
        }
        if (answer.step == TMysqlAuth::Step::Fail) {
            auth_error(CR_UNKNOWN_ERROR, answer.error);
            return -1;
        }
        if (answer.step == TMysqlAuth::Step::Send && !send_auth_packet(answer.bytes)) return -1;
    }
    auth_error(CR_SERVER_HANDSHAKE_ERR, {});
    return -1;
}

bool TMysqlClient::TryCon(std::int32_t& Enum, std::u16string& EStr) {
    Enum = 0;
    EStr.clear();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (connect()) return true;
        systemService().sleepMilliseconds(10);
    }
    Enum = static_cast<std::int32_t>(LastErrorNo());
    EStr = LastError();
    if (EStr.empty()) {
        EStr = u"No SQL params";
        Enum = -1;
    }
    return false;
}

bool TMysqlClient::reconnect() {
    if (freconnect && !(fserver_status & SERVER_STATUS_IN_TRANS)) return connect();
    fserver_status &= ~SERVER_STATUS_IN_TRANS;
    return false;
}

void TMysqlClient::close() {
    std::memset(fscramble_buff, 0, sizeof fscramble_buff);
    fthread_id = 0;
    faffected_rows = 0;
    finsert_id = 0;
    fstatus = MYSQL_STATUS_READY;
    fserver_version.clear();
    fserver_capabilities = 0;
    fserver_status = SERVER_STATUS_AUTOCOMMIT;
    fserver_language = 0;
    fextra_info = 0;
    finfo.clear();
    if (fnet->net_connected()) {
        free_field_defs();
        fstatus = MYSQL_STATUS_READY;
        const bool savedReconnect = freconnect;
        freconnect = false;
        // The goodbye must not wipe out the reason of a failure that led to this close.
        const std::uint32_t savedErrno = fnet->last_errno();
        const std::string savedError = fnet->vio().flast_error;
        send_command(COM_QUIT, nullptr, 0, true, false);
        fnet->net_close();
        fnet->set_last_errno(savedErrno);
        fnet->vio().flast_error = savedError;
        freconnect = savedReconnect;
    }
    if (fusedresult) {
        fusedresult->fhandle = nullptr;
        fusedresult = nullptr;
    }
}

// ---- commands -------------------------------------------------------------------------------

std::int32_t TMysqlClient::send_command(std::uint8_t command, const void* arg, std::uint32_t length,
                                        bool skip_check, bool retry) {
    if (!fnet->net_connected() && !reconnect()) return -1;
    // Results of the last statement that the caller did not take are read and dropped, so
    // that this command gets its own answer.
    skip_pending_results();
    if (!fnet->net_connected() && !reconnect()) return -1;
    if (fstatus != MYSQL_STATUS_READY) {
        record_error(CR_COMMANDS_OUT_OF_SYNC);
        return -1;
    }
    fnet->set_last_error(u"");
    fnet->set_last_errno(0);
    finfo.clear();
    faffected_rows = 0;
    finsert_id = 0;
    fnet->net_clear();
    if (fnet->net_write_command(command, arg, length) != 0) {
        // A command of which a part went out may have been run or refused already: it is
        // never sent again.
        if (fnet->sent_since_clear() != 0) return end_partly_sent_command();
        fnet->net_close();
        free_field_defs();
        bool resent = false;
        if (reconnect()) {
            // A fresh connection numbers the command's packets from 0 again.
            fnet->net_clear();
            resent = fnet->net_write_command(command, arg, length) == 0;
        }
        if (!resent) {
            record_error(CR_SERVER_GONE_ERROR);
            return -1;
        }
    }
    if (skip_check) return 0;
    const std::int32_t reply = fnet->net_safe_read();
    if (reply != -1) {
        flast_reply_length = reply;
        return 0;
    }
    // Resent only when the connection broke before any byte of a reply came: an error packet
    // is the server's answer, a command it has answered has run (or was refused) once, and a
    // server that is only slow may still run it.
    const bool unanswered = fnet->last_errno() == CR_SERVER_LOST &&
                            fnet->received_since_clear() == 0 && !fnet->read_timed_out();
    // A transaction does not survive its connection: this command fails (close clears the
    // in-transaction bit), and only a later one opens a new connection, in autocommit.
    const bool inTransaction = (fserver_status & SERVER_STATUS_IN_TRANS) != 0;
    if (fnet->last_errno() == CR_SERVER_LOST) close();
    if (retry && unanswered && !inTransaction)
        return send_command(command, arg, length, skip_check, false);
    return -1;
}

std::int32_t TMysqlClient::end_partly_sent_command() {
    // A server that refuses a command while it arrives (one over its packet limit) answers
    // with an error packet before it closes: that answer is already here, so a look that does
    // not wait finds it. A local channel cannot be looked at without waiting.
    const bool pollable = fnet->vio_type() != VIO_TYPE_NAMEDPIPE;
    const bool serverAnswered = pollable && !fnet->net_vio_poll_read(0) &&
                                fnet->net_safe_read() == -1 && fnet->net_connected();
    if (!serverAnswered) record_error(CR_SERVER_GONE_ERROR);
    fnet->net_close();
    free_field_defs();
    // The command failed with its connection, and so did any transaction.
    fserver_status &= ~SERVER_STATUS_IN_TRANS;
    return -1;
}

bool TMysqlClient::simple_command(std::uint8_t command, const void* arg, std::uint32_t length,
                                  bool repeatable) {
    return send_command(command, arg, length, false, freconnect && repeatable) == 0;
}

bool TMysqlClient::select_db(const std::u16string& newdb) {
    const std::string name = text::toUtf8(newdb);
    if (!simple_command(COM_INIT_DB, name.data(), static_cast<std::uint32_t>(name.size())))
        return false;
    fdb = newdb;
    return true;
}

bool TMysqlClient::create_db(const std::u16string& db) {
    const std::string name = text::toUtf8(db);
    return simple_command(COM_CREATE_DB, name.data(), static_cast<std::uint32_t>(name.size()));
}

bool TMysqlClient::drop_db(const std::u16string& adb) {
    const std::string name = text::toUtf8(adb);
    // A server that ran it and then died would drop a database created again in between.
    return simple_command(COM_DROP_DB, name.data(), static_cast<std::uint32_t>(name.size()), false);
}

bool TMysqlClient::refresh(std::int32_t options) {
    std::string argument;
    putLittleEndian(argument, static_cast<std::uint32_t>(options), 4);
    return simple_command(COM_REFRESH, argument.data(), 4);
}

bool TMysqlClient::kill(std::int32_t pid) {
    std::string argument;
    putLittleEndian(argument, static_cast<std::uint32_t>(pid), 4);
    // Killing this very connection ends it without an answer: never kill a second time.
    return simple_command(COM_PROCESS_KILL, argument.data(), 4, false);
}

bool TMysqlClient::ping() {
    return simple_command(COM_PING, nullptr, 0);
}

bool TMysqlClient::dump_debug_info() {
    return simple_command(COM_DEBUG, nullptr, 0);
}

bool TMysqlClient::shutdown() {
    const bool done = simple_command(COM_SHUTDOWN, nullptr, 0);
    close();
    return done;
}

std::u16string TMysqlClient::stat() {
    if (!simple_command(COM_STATISTICS, nullptr, 0)) return {};
    PacketReader reader(fnet->read_pos(), static_cast<std::size_t>(flast_reply_length));
    if (reader.startsWith(0)) {
        record_error(CR_WRONG_HOST_INFO);
        return {};
    }
    return text::fromUtf8(reader.readZeroTerminated());
}

std::unique_ptr<TMysqlResult> TMysqlClient::list_processes() {
    if (!simple_command(COM_PROCESS_INFO, nullptr, 0)) return nullptr;
    free_field_defs();
    PacketReader reader(fnet->read_pos(), static_cast<std::size_t>(flast_reply_length));
    std::uint64_t count = 0;
    if (reader.readLengthCoded(count) != PacketReader::Coded::Value || count == 0 ||
        count > kMaxColumns) {
        malformed();
        return nullptr;
    }
    ffield_count = static_cast<std::int32_t>(count);
    if (!read_field_defs(ffield_count)) return nullptr;
    fstatus = MYSQL_STATUS_GET_RESULT;
    return store_result_set();
}

bool TMysqlClient::change_user(const std::u16string& NewUser, const std::u16string& NewPasswd,
                               const std::u16string& NewDb) {
    std::string argument;
    // The whole name: servers allow far longer names than 32 characters.
    const std::string user = text::toUtf8(NewUser);
    argument += user;
    argument.push_back('\0');
    if (fserver_capabilities & CLIENT_SECURE_CONNECTION) {
        // The login announced 4.1 authentication, so such a server reads a length byte and the
        // SHA-1 based reply here; the old 8-character reply would be taken as garbage.
        if (const auto token = secure_auth_token(NewPasswd, fscramble_buff))
            argument.append(reinterpret_cast<const char*>(token->data()), token->size());
        else
            argument.push_back('\0');
    } else {
        if (!NewPasswd.empty()) {
            if (const auto reply = old_scramble(NewPasswd, fscramble_buff))
                argument.append(reply->data(), 8);
        }
        argument.push_back('\0');
    }
    // The database name is cut so that the whole argument stays within its 512 bytes.
    std::string db = text::toUtf8(NewDb);
    const std::size_t room =
        argument.size() < kChangeUserBuffer ? kChangeUserBuffer - argument.size() - 1 : 0;
    if (db.size() > room) db.resize(room);
    argument += db;
    argument.push_back('\0');
    // After a login that named its method, the server reads the character set and the method.
    if (fplugin_auth_active) {
        putLittleEndian(argument, flogin_charset, 2);
        argument += TMysqlAuth::kNativePassword;
        argument.push_back('\0');
    }
    if (send_command(COM_CHANGE_USER, argument.data(), static_cast<std::uint32_t>(argument.size()),
                     true, freconnect) != 0)
        return false;
    // Servers may answer with a request to authenticate again over a new seed (MariaDB does so
    // even for the right password) and then wait: answer it, or the next command would be read
    // as the answer and a wrong password would pass for accepted.
    fauth.start(TMysqlAuth::kNativePassword, {}, fauth_context);
    if (finish_authentication(NewPasswd) == -1) {
        if (fnet->last_errno() == CR_SERVER_LOST) close();
        return false;
    }
    fuser = NewUser;
    fpasswd = NewPasswd;
    fdb = NewDb;
    return true;
}

void TMysqlClient::query(const std::u16string& aquery, bool StoreResult, bool& ExecutedOk,
                         std::unique_ptr<TMysqlResult>& MysqlResult) {
    MysqlResult.reset();
    const std::string statement = to_utf8(text::toUtf8(aquery));
    ExecutedOk = false;
    if (freconnect && !ping()) return;
    flocal_infile = fallow_local_infile ? localInfileName(aquery) : std::nullopt;
    const bool replied =
        send_command(COM_QUERY, statement.data(), static_cast<std::uint32_t>(statement.size()),
                     true, freconnect) == 0 &&
        read_query_reply() == 0;
    flocal_infile.reset();
    if (!replied) return;
    take_result(StoreResult, ExecutedOk, MysqlResult);
}

void TMysqlClient::take_result(bool StoreResult, bool& ExecutedOk,
                               std::unique_ptr<TMysqlResult>& MysqlResult) {
    const bool resultPending = fhas_fields;
    if (StoreResult) {
        MysqlResult = store_result_set();
        fnet->net_pack();
    } else {
        MysqlResult = use_result_set();
    }
    // Rows that could not be read are a failure, not an empty success.
    if (resultPending && !MysqlResult) return;
    ExecutedOk = true;
}

bool TMysqlClient::MoreResults() const {
    return (fserver_status & SERVER_MORE_RESULTS_EXISTS) && fstatus == MYSQL_STATUS_READY &&
           fnet->net_connected();
}

void TMysqlClient::next_result(bool StoreResult, bool& ExecutedOk,
                               std::unique_ptr<TMysqlResult>& MysqlResult) {
    MysqlResult.reset();
    ExecutedOk = false;
    if (!MoreResults()) return;
    fserver_status &= ~SERVER_MORE_RESULTS_EXISTS;
    fnet->set_last_error(u"");
    fnet->set_last_errno(0);
    finfo.clear();
    faffected_rows = 0;
    finsert_id = 0;
    if (read_query_reply() != 0) return;
    take_result(StoreResult, ExecutedOk, MysqlResult);
}

void TMysqlClient::skip_pending_results() {
    while (MoreResults()) {
        fserver_status &= ~SERVER_MORE_RESULTS_EXISTS;
        if (read_query_reply() != 0) return;
        if (!fhas_fields) continue;
        for (;;) {
            const std::int32_t length = fnet->net_safe_read();
            if (length == -1) break;
            if (is_end_packet(length)) {
                read_end_packet(length);
                break;
            }
        }
        free_field_defs();
        fstatus = MYSQL_STATUS_READY;
    }
}

bool TMysqlClient::TryQuery(std::unique_ptr<TMysqlResult>& MySQLResult, std::int32_t& Enum,
                            std::u16string& EStr, const std::u16string& querystr, bool notnil,
                            bool setutf) {
    Enum = 0;
    EStr.clear();
    int attempts = 0;
    bool executed = false;
    while (!executed && attempts < 3) {
        if (setutf && attempts > 0) {
            // The character set of the login: plain utf8 would lose characters beyond the
            // Basic Multilingual Plane (emoji) that utf8mb4 columns hold.
            bool ignored = false;
            query(flogin_charset == kCharsetUtf8mb4 ? u"set names utf8mb4" : u"set names utf8", true, ignored, MySQLResult);
        }
        query(querystr, true, executed, MySQLResult);
        if (executed) {
            if (notnil && !MySQLResult) {
                ++attempts;
                systemService().sleepMilliseconds(100);
                executed = false;
            }
        } else {
            ++attempts;
            systemService().sleepMilliseconds(100);
        }
    }
    if (attempts < 3) return true;
    Enum = static_cast<std::int32_t>(LastErrorNo());
    EStr = LastError();
    if (EStr.empty()) {
        EStr = u"Can not connect to SQL";
        Enum = -1;
    }
    return false;
}

// ---- the first reply to a query -------------------------------------------------------------

void TMysqlClient::malformed() {
    // The stream can no longer be trusted: report and drop the connection.
    record_error(CR_UNKNOWN_ERROR);
    fnet->net_close();
}

std::int32_t TMysqlClient::read_query_reply() {
    std::int32_t length = fnet->net_safe_read();
    if (length == -1) {
        // An error ends the statement's results.
        fserver_status &= ~SERVER_MORE_RESULTS_EXISTS;
        return -1;
    }
    free_field_defs();
    for (;;) {
        PacketReader reader(fnet->read_pos(), static_cast<std::size_t>(length));
        std::uint64_t count = 0;
        const auto coded = reader.readLengthCoded(count);
        if (coded == PacketReader::Coded::Incomplete) {
            malformed();
            return -1;
        }
        if (coded == PacketReader::Coded::Null) {
            const std::string fileName(reader.readZeroTerminated());
            // Only the file the caller's own statement names is sent, whatever else is asked.
            const bool asked = flocal_infile && text::toUtf8(*flocal_infile) == fileName;
            const std::int32_t sent =
                asked ? send_local_file(*flocal_infile)
                      : refuse_local_file(text::isValidUtf8(fileName)
                                              ? text::fromUtf8(fileName)
                                              : systemService().fromAnsi(fileName));
            length = fnet->net_safe_read();
            if (sent == -1 || length == -1) return -1;
            continue;
        }
        if (count != 0) {
            if (count > kMaxColumns) {
                malformed();
                return -1;
            }
            if (!(fserver_status & SERVER_STATUS_AUTOCOMMIT))
                fserver_status |= SERVER_STATUS_IN_TRANS;
            std::uint64_t extra = 0;
            if (reader.readLengthCoded(extra) == PacketReader::Coded::Value)
                fextra_info = static_cast<std::int64_t>(extra);
            if (!read_field_defs(static_cast<std::int32_t>(count))) return -1;
            ffield_count = static_cast<std::int32_t>(count);
            fstatus = MYSQL_STATUS_GET_RESULT;
            return 0;
        }
        read_ok_packet(reader);
        return 0;
    }
}

void TMysqlClient::read_ok_packet(PacketReader& reader) {
    std::uint64_t value = 0;
    if (reader.readLengthCoded(value) == PacketReader::Coded::Value)
        faffected_rows = static_cast<std::int64_t>(value);
    if (reader.readLengthCoded(value) == PacketReader::Coded::Value)
        finsert_id = static_cast<std::int64_t>(value);
    if (fserver_capabilities & CLIENT_TRANSACTIONS) {
        if (reader.readUint(2, value)) fserver_status = static_cast<std::int32_t>(value);
    }
    if (reader.atEnd()) return;
    // 4.1 servers put a warning count before the message.
    if ((fserver_capabilities & CLIENT_PROTOCOL_41) && !reader.skip(2)) return;
    std::string_view message;
    if (reader.readLengthCodedString(message) == PacketReader::Coded::Value && !message.empty())
        finfo = text::fromUtf8(message.substr(0, message.find('\0')));
}

// ---- local files ----------------------------------------------------------------------------

std::int32_t TMysqlClient::refuse_local_file(const std::u16string& fileName) {
    fnet->set_last_errno(CR_UNKNOWN_ERROR);
    fnet->set_last_error(u"Local file '" + fileName +
                         u"' refused: only the file named in the client's own LOAD DATA LOCAL "
                         u"INFILE statement is sent, with local files enabled");
    fnet->my_net_write(nullptr, 0);
    fnet->net_flush();
    return -1;
}

std::int32_t TMysqlClient::send_local_file(const std::u16string& name) {
    auto& files = platform::get<platform::Files>();
    int error = 0;
    const platform::Files::Handle file = files.openRead(name, false, error);
    if (file == platform::Files::kInvalid) {
        fnet->set_last_errno(0);
        fnet->set_last_error(
            format_error_text("File '%s' not found (Errcode: %d)", {name, std::int64_t(error)}));
        fnet->my_net_write(nullptr, 0);
        fnet->net_flush();
        return -1;
    }
    struct CloseFile {
        platform::Files& files;
        platform::Files::Handle handle;
        ~CloseFile() { files.close(handle); }
    };
    bool readFailed = false;
    {
        CloseFile closer{files, file};
        std::vector<std::uint8_t> block(kLocalFileBlock);
        for (;;) {
            const int count = files.read(file, block.data(), static_cast<int>(block.size()), error);
            if (count < 0) {
                readFailed = true;
                break;
            }
            if (count == 0) break;
            if (fnet->my_net_write(block.data(), static_cast<std::uint32_t>(count)) != 0) {
                record_error(CR_SERVER_LOST);
                return -1;
            }
        }
    }
    if (fnet->my_net_write(nullptr, 0) != 0 || fnet->net_flush() != 0) {
        record_error(CR_SERVER_LOST);
        return -1;
    }
    if (readFailed) {
        fnet->set_last_errno(2);
        fnet->set_last_error(format_error_text("Error reading file '%s' (Errcode: %d)",
                                               {name, std::int64_t(error)}));
        return -1;
    }
    return 0;
}
