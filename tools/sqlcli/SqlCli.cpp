// orvelle-sql: options, the run of statements and commands, and the batch output format.
#include "tools/sqlcli/SqlCli.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

#include "common/Text.h"
#include "mysql/uMysqlClient.h"

namespace sqlcli {
namespace {

constexpr const char* kUsage =
    "usage: orvelle-sql [-h HOST] [-P PORT] [-u USER] [-p PASSWORD] [-D DB] [--pipe]\n"
    "                   [--use-result] [--local-infile] [-N] [--connect-timeout SECONDS]\n"
    "                   [--read-timeout SECONDS] [--ssl-mode MODE] [--ssl-ca FILE]\n"
    "                   [--server-public-key-path FILE] [--enable-cleartext-plugin]\n"
    "                   (-e STATEMENT)...\n"
    "                   [--command ping|stat|status|processlist|kill ID|refresh N|"
    "create-db NAME|\n"
    "                              drop-db NAME|select-db NAME|change-user USER PASS DB|"
    "shutdown]...\n";

struct Step {
    bool isStatement = true;
    std::u16string statement;          // for a statement
    std::u16string command;            // for a command
    std::vector<std::u16string> args;  // the command's arguments
};

struct Options {
    std::u16string host = u"localhost";
    std::uint32_t port = 3306;
    std::u16string user;
    std::u16string password;
    std::u16string db;
    bool pipe = false;
    bool useResult = false;
    bool localInfile = false;
    bool header = true;
    std::optional<std::uint32_t> connectTimeout;
    std::optional<std::uint32_t> readTimeout;
    // As the stock client: TLS when the server offers it.
    TMysqlSslMode sslMode = SSL_MODE_PREFERRED;
    std::u16string sslCa;
    std::u16string serverPublicKeyPath;
    bool cleartextPlugin = false;
    std::vector<Step> steps;
};

// Number of arguments each command takes; nullopt for an unknown command.
std::optional<std::size_t> commandArity(std::u16string_view name) {
    if (name == u"ping" || name == u"stat" || name == u"status" || name == u"processlist" ||
        name == u"shutdown")
        return 0;
    if (name == u"kill" || name == u"refresh" || name == u"create-db" || name == u"drop-db" ||
        name == u"select-db")
        return 1;
    if (name == u"change-user") return 3;
    return std::nullopt;
}

std::optional<TMysqlSslMode> sslModeNamed(std::u16string_view name) {
    static constexpr std::pair<std::u16string_view, TMysqlSslMode> kModes[] = {
        {u"DISABLED", SSL_MODE_DISABLED},
        {u"PREFERRED", SSL_MODE_PREFERRED},
        {u"REQUIRED", SSL_MODE_REQUIRED},
        {u"VERIFY_CA", SSL_MODE_VERIFY_CA},
        {u"VERIFY_IDENTITY", SSL_MODE_VERIFY_IDENTITY}};
    for (const auto& [text, mode] : kModes) {
        if (name.size() != text.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k) {
            char16_t c = name[k];
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
            if (c == u'-') c = u'_';
            same = c == text[k];
        }
        if (same) return mode;
    }
    return std::nullopt;
}

// Parses the command line; an error text when it is not understood.
std::optional<std::string> parse(const std::vector<std::u16string>& arguments, Options& options) {
    std::size_t i = 0;
    // The value of an option given as "-hHOST" or "-h HOST".
    auto value = [&](const std::u16string& argument, std::u16string& into) -> bool {
        if (argument.size() > 2) {
            into = argument.substr(2);
            return true;
        }
        if (i + 1 >= arguments.size()) return false;
        into = arguments[++i];
        return true;
    };
    for (; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        const std::string name = text::toUtf8(argument);
        if (argument == u"--pipe") {
            options.pipe = true;
        } else if (argument == u"--use-result") {
            options.useResult = true;
        } else if (argument == u"--local-infile") {
            options.localInfile = true;
        } else if (argument == u"-N") {
            options.header = false;
        } else if (argument == u"--connect-timeout" || argument == u"--read-timeout") {
            std::int32_t seconds = 0;
            if (i + 1 >= arguments.size() || !text::parseInt32(arguments[i + 1], seconds) ||
                seconds < 0)
                return name + " needs a number of seconds";
            ++i;
            (argument == u"--connect-timeout" ? options.connectTimeout : options.readTimeout) =
                static_cast<std::uint32_t>(seconds);
        } else if (argument == u"--ssl-mode" || argument == u"--ssl-ca" ||
                   argument == u"--server-public-key-path") {
            if (i + 1 >= arguments.size()) return name + " needs a value";
            const std::u16string& v = arguments[++i];
            if (argument == u"--ssl-ca") {
                options.sslCa = v;
            } else if (argument == u"--server-public-key-path") {
                options.serverPublicKeyPath = v;
            } else if (const auto mode = sslModeNamed(v)) {
                options.sslMode = *mode;
            } else {
                return "unknown --ssl-mode " + text::toUtf8(v) +
                       " (DISABLED, PREFERRED, REQUIRED, VERIFY_CA or VERIFY_IDENTITY)";
            }
        } else if (argument == u"--enable-cleartext-plugin") {
            options.cleartextPlugin = true;
        } else if (argument == u"--command") {
            if (i + 1 >= arguments.size()) return "--command needs a command name";
            Step step;
            step.isStatement = false;
            step.command = arguments[++i];
            const auto arity = commandArity(step.command);
            if (!arity) return "unknown command " + text::toUtf8(step.command);
            if (i + *arity >= arguments.size())
                return "command " + text::toUtf8(step.command) + " needs " +
                       std::to_string(*arity) + " argument(s)";
            for (std::size_t k = 0; k < *arity; ++k) step.args.push_back(arguments[++i]);
            options.steps.push_back(std::move(step));
        } else if (argument.size() >= 2 && argument[0] == u'-' && argument[1] != u'-') {
            std::u16string v;
            if (!value(argument, v)) return "option " + name.substr(0, 2) + " needs a value";
            switch (argument[1]) {
                case u'h':
                    options.host = v;
                    break;
                case u'u':
                    options.user = v;
                    break;
                case u'p':
                    options.password = v;
                    break;
                case u'D':
                    options.db = v;
                    break;
                case u'e':
                    options.steps.push_back(Step{true, v, {}, {}});
                    break;
                case u'P': {
                    std::int32_t port = 0;
                    if (!text::parseInt32(v, port) || port < 0 || port > 65535)
                        return "bad port " + text::toUtf8(v);
                    options.port = static_cast<std::uint32_t>(port);
                    break;
                }
                default:
                    return "unknown option " + name;
            }
        } else {
            return "unknown option " + name;
        }
    }
    if (options.steps.empty()) return "nothing to do: give -e STATEMENT or --command";
    return std::nullopt;
}

// The server's answer to a command it no longer has (MariaDB 10.11 to create and drop).
constexpr std::uint32_t kUnknownCommand = 1047;

// A name as a quoted identifier, its backquotes doubled.
std::u16string quotedName(const std::u16string& name) {
    std::u16string quoted = u"`";
    for (const char16_t c : name) {
        if (c == u'`') quoted += u'`';
        quoted += c;
    }
    return quoted + u"`";
}

// A value as a batch client prints it: the bytes as they came, with backslash, tab, newline
// and the zero byte escaped so that a line is always one row.
void writeValue(std::ostream& out, const char* data, std::uint32_t length) {
    std::string escaped;
    escaped.reserve(length);
    for (std::uint32_t k = 0; k < length; ++k) {
        const char c = data[k];
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\0':
                escaped += "\\0";
                break;
            default:
                escaped += c;
        }
    }
    out << escaped;
}

class Runner {
  public:
    Runner(const Options& options, std::ostream& out, std::ostream& err)
        : foptions(options), fout(out), ferr(err) {}

    int run() {
        fclient.setAllowLocalInfile(foptions.localInfile);
        if (foptions.pipe) fclient.setUseNamedPipe(true);
        if (foptions.connectTimeout) fclient.setConnectTimeout(*foptions.connectTimeout);
        if (foptions.readTimeout) {
            fclient.setReadTimeout(*foptions.readTimeout);
            fclient.setWriteTimeout(*foptions.readTimeout);
        }
        fclient.setSslMode(foptions.sslMode);
        fclient.setSslCa(foptions.sslCa);
        fclient.setAllowClearPassword(foptions.cleartextPlugin);
        if (!foptions.serverPublicKeyPath.empty()) {
            std::ifstream file(text::toUtf8(foptions.serverPublicKeyPath), std::ios::binary);
            const std::string pem((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
            if (!file.good() && !file.eof()) {
                ferr << "orvelle-sql: cannot read " << text::toUtf8(foptions.serverPublicKeyPath)
                     << '\n';
                return 2;
            }
            fclient.setServerPublicKey(pem);
        }
        if (!fclient.connect(foptions.host, foptions.user, foptions.password, foptions.db,
                             foptions.port, u"", false,
                             static_cast<std::int32_t>(fclient.ClientFlag())))
            return fail();
        for (const Step& step : foptions.steps) {
            const int status = step.isStatement ? statement(step.statement) : command(step);
            if (status != 0) return status;
        }
        return 0;
    }

  private:
    int fail() {
        ferr << "ERROR " << fclient.LastErrorNo() << ": " << text::toUtf8(fclient.LastError())
             << '\n';
        return 1;
    }

    int statement(const std::u16string& sql) {
        bool executed = false;
        std::unique_ptr<TMysqlResult> result;
        fclient.query(sql, !foptions.useResult, executed, result);
        if (!executed) return fail();
        // Every result of the statement (a CALL may give several), as the mariadb client does.
        for (;;) {
            if (result) {
                const int status = print(*result);
                if (status != 0) return status;
                result.reset();
            }
            if (!fclient.MoreResults()) return 0;
            fclient.next_result(!foptions.useResult, executed, result);
            if (!executed) return fail();
        }
    }

    int print(TMysqlResult& result) {
        const std::int32_t count = result.FieldsCount();
        // As batch clients do, a result without rows prints nothing, not even its header.
        if (foptions.header && !result.Eof()) {
            for (std::int32_t c = 0; c < count; ++c) {
                if (c) fout << '\t';
                const TMysql_FieldDef* def = result.FieldDef(c);
                if (def) writeValue(fout, def->Name.data(), std::uint32_t(def->Name.size()));
            }
            fout << '\n';
        }
        // Process the current row, then step; the cursor stays on the last row at the end.
        while (!result.Eof()) {
            const TMysql_Row* row = result.CurrentRow();
            if (!row) break;
            for (std::int32_t c = 0; c < count; ++c) {
                if (c) fout << '\t';
                const char* data = row->value(std::size_t(c));
                // NULL prints as the word, so that it differs from the empty value.
                if (result.FieldIsNull(c))
                    fout << "NULL";
                else if (data)
                    writeValue(fout, data, row->length(std::size_t(c)));
            }
            fout << '\n';
            result.Next();
        }
        if (result.HadErrors()) return fail();
        return 0;
    }

    int command(const Step& step) {
        const std::u16string& name = step.command;
        std::int32_t number = 0;
        if (name == u"kill" || name == u"refresh") {
            if (!text::parseInt32(step.args[0], number)) {
                ferr << "ERROR: " << text::toUtf8(name) << " needs a number, not "
                     << text::toUtf8(step.args[0]) << '\n';
                return 2;
            }
        }
        bool ok = false;
        if (name == u"ping") {
            ok = fclient.ping();
        } else if (name == u"stat") {
            const std::u16string line = fclient.stat();
            ok = fclient.LastErrorNo() == 0 && !line.empty();
            if (ok) fout << text::toUtf8(line) << '\n';
        } else if (name == u"status") {
            ok = fclient.Connected();
            if (ok) status();
        } else if (name == u"processlist") {
            std::unique_ptr<TMysqlResult> result = fclient.list_processes();
            if (!result) return fail();
            return print(*result);
        } else if (name == u"kill") {
            ok = fclient.kill(number);
        } else if (name == u"refresh") {
            ok = fclient.refresh(number);
        } else if (name == u"create-db" || name == u"drop-db") {
            ok = createOrDropDatabase(name == u"create-db", step.args[0]);
        } else if (name == u"select-db") {
            ok = fclient.select_db(step.args[0]);
        } else if (name == u"change-user") {
            ok = fclient.change_user(step.args[0], step.args[1], step.args[2]);
        } else if (name == u"shutdown") {
            ok = fclient.shutdown();
        }
        return ok ? 0 : fail();
    }

    // The create and drop commands first; a server that no longer has them gets the
    // statement instead.
    bool createOrDropDatabase(bool create, const std::u16string& name) {
        if (create ? fclient.create_db(name) : fclient.drop_db(name)) return true;
        if (fclient.LastErrorNo() != kUnknownCommand) return false;
        bool executed = false;
        std::unique_ptr<TMysqlResult> result;
        fclient.query((create ? u"CREATE DATABASE " : u"DROP DATABASE ") + quotedName(name), true,
                      executed, result);
        return executed;
    }

    // What the connection negotiated, one "name:<TAB>value" line each.
    void status() {
        const std::string cipher = fclient.TlsCipher();
        fout << "Server version:\t" << text::toUtf8(fclient.ServerVersion()) << '\n'
             << "Protocol version:\t" << fclient.ProtocolVersion() << '\n'
             << "SSL:\t"
             << (cipher.empty() ? std::string("Not in use")
                                : "Cipher in use is " + cipher + ", " + fclient.TlsVersion())
             << '\n'
             << "Authentication plugin:\t" << fclient.AuthPlugin() << '\n';
    }

    const Options& foptions;
    std::ostream& fout;
    std::ostream& ferr;
    TMysqlClient fclient;
};

}  // namespace

int run(const std::vector<std::u16string>& arguments, std::ostream& out, std::ostream& err) {
    Options options;
    if (const auto problem = parse(arguments, options)) {
        err << "orvelle-sql: " << *problem << '\n' << kUsage;
        return 2;
    }
    return Runner(options, out, err).run();
}

}  // namespace sqlcli
