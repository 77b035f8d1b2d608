// TMysqlClient (connection, handshake, commands, queries) and TMysqlResult (stored and used
// result sets with navigation and field access), with the column and row records.
// Needs the platform services System, Files and Sockets installed (platform/Registry.h).
// Nothing here throws: failures are results plus LastErrorNo / LastError.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "mysql/uMysqlAuth.h"
#include "mysql/uMysqlCT.h"
#include "mysql/uMysqlNet.h"

class PacketReader;

// One column definition.
struct TMysql_FieldDef {
    std::string Name;   // 8-bit column name as the server sent it
    std::string Table;  // 8-bit table name
    std::uint8_t FieldType = 0;
    std::uint32_t Length = 0;
    std::uint32_t Max_Length = 0;  // longest value among the stored rows
    std::uint32_t Flags = 0;       // 0x8000 marks a numeric column
    std::uint32_t Decimals = 0;
};
using PMysql_FieldDef = const TMysql_FieldDef*;

// One row's values in one allocation. A value is its bytes followed by a zero byte; a NULL
// value and an empty value are both absent (value() gives nullptr, length() 0), and only
// is_null() tells them apart.
class TMysql_Row {
  public:
    TMysql_Row() = default;
    // Copies the values; a value without data (NULL) or of length 0 is absent.
    struct Source {
        const std::uint8_t* data;
        std::uint32_t length;
    };
    explicit TMysql_Row(const std::vector<Source>& values);

    std::size_t size() const { return fcount; }
    const char* value(std::size_t index) const;
    std::uint32_t length(std::size_t index) const;
    bool is_null(std::size_t index) const;
    const char* operator[](std::size_t index) const { return value(index); }

  private:
    std::size_t values_offset() const;

    // End offsets, one NULL mark byte per value, then the values with their zeros.
    std::unique_ptr<std::uint8_t[]> fblock;
    std::uint32_t fcount = 0;
};

// The row list of a stored result, in arrival order (contiguous, so the cursor is an index).
using TMysql_Rows = std::vector<TMysql_Row>;

struct TMYSQL_DATA {
    std::int64_t rows = 0;
    std::int32_t fields = 0;
    TMysql_Rows data;
};

enum TResultType : std::uint8_t { rtUsed = 0, rtStored = 1 };

class TMysqlResult;

class TMysqlClient {
  public:
    TMysqlClient();
    ~TMysqlClient();
    TMysqlClient(const TMysqlClient&) = delete;
    TMysqlClient& operator=(const TMysqlClient&) = delete;

    // Connection (true when open and authenticated, or already open).
    bool connect(const std::u16string& ahost, const std::u16string& auser,
                 const std::u16string& apasswd, const std::u16string& adb, std::uint32_t aport,
                 const std::u16string& aunix_socket, bool atrysocket, std::int32_t aclient_flag);
    bool connect();
    // Up to three attempts, 10 ms apart; failure as a number and a text.
    bool TryCon(std::int32_t& Enum, std::u16string& EStr);
    bool reconnect();
    void close();

    // Commands.
    bool select_db(const std::u16string& newdb);
    bool create_db(const std::u16string& db);
    bool drop_db(const std::u16string& adb);
    bool refresh(std::int32_t options);
    bool kill(std::int32_t pid);
    bool ping();
    bool dump_debug_info();
    bool shutdown();
    std::u16string stat();
    std::unique_ptr<TMysqlResult> list_processes();
    bool change_user(const std::u16string& NewUser, const std::u16string& NewPasswd,
                     const std::u16string& NewDb);
    void query(const std::u16string& aquery, bool StoreResult, bool& ExecutedOk,
               std::unique_ptr<TMysqlResult>& MysqlResult);
    // True when the last statement has another result waiting (as a CALL has). Results not
    // taken are read and dropped before the next command.
    bool MoreResults() const;
    // Reads the next result of the last statement, as query does for the first.
    void next_result(bool StoreResult, bool& ExecutedOk,
                     std::unique_ptr<TMysqlResult>& MysqlResult);
    bool TryQuery(std::unique_ptr<TMysqlResult>& MySQLResult, std::int32_t& Enum,
                  std::u16string& EStr, const std::u16string& querystr, bool notnil, bool setutf);

    // Properties.
    const std::u16string& Host() const { return fhost; }
    void setHost(const std::u16string& value);
    const std::u16string& User() const { return fuser; }
    void setUser(const std::u16string& value);
    const std::u16string& Password() const { return fpasswd; }
    void setPassword(const std::u16string& value);
    const std::u16string& UnixSocket() const { return funix_socket; }
    void setUnixSocket(const std::u16string& value);
    const std::u16string& Db() const { return fdb; }
    void setDb(const std::u16string& value);
    std::uint32_t Port() const { return fport; }
    void setPort(std::uint32_t value);
    std::uint32_t ClientFlag() const { return fclient_flag; }
    void setClientFlag(std::uint32_t value);
    bool ShouldReconnect() const { return freconnect; }
    void setShouldReconnect(bool value) { freconnect = value; }
    bool UseNamedPipe() const { return fnamed_pipe; }
    void setUseNamedPipe(bool value);
    bool TrySockets() const { return ftrysock; }
    void setTrySockets(bool value) { ftrysock = value; }
    // Seconds; 0 waits without a limit of the client's own. The connect time-out bounds the
    // connect and the wait for the server's greeting (default 30); the read and write
    // time-outs bound each later wait for the server (default 300) and take effect at the
    // next connect. A wait that expires fails with 2003 (connect) or 2013.
    std::uint32_t ConnectTimeout() const { return fconnect_timeout; }
    void setConnectTimeout(std::uint32_t value) { fconnect_timeout = value; }
    std::uint32_t ReadTimeout() const { return fread_timeout; }
    void setReadTimeout(std::uint32_t value) { fread_timeout = value; }
    std::uint32_t WriteTimeout() const { return fwrite_timeout; }
    void setWriteTimeout(std::uint32_t value) { fwrite_timeout = value; }
    // Longest payload sent or read (default 64 MiB, at most 1 GiB), announced at login; longer
    // replies fail with 2020.
    std::uint32_t MaxAllowedPacket() const { return fnet->max_allowed_packet(); }
    void setMaxAllowedPacket(std::uint32_t value) { fnet->set_max_allowed_packet(value); }
    // Off by default: after a 4.1 greeting, a request for the pre-4.1 scramble is refused.
    bool AllowOldPasswords() const { return fallow_old_passwords; }
    void setAllowOldPasswords(bool value) { fallow_old_passwords = value; }
    // On by default: the login names its authentication method and follows the server's
    // switch to another (the start-up probe turns it off and sends the short 4.1 login).
    bool PluginAuth() const { return fplugin_auth; }
    void setPluginAuth(bool value) { fplugin_auth = value; }
    // Off by default: mysql_clear_password sends the password itself (over TLS or the local
    // channel only).
    bool AllowClearPassword() const { return fauth_context.allow_clear_password; }
    void setAllowClearPassword(bool value) { fauth_context.allow_clear_password = value; }
    // The server's RSA public key (PEM) for the SHA-256 methods over an unprotected
    // connection; empty (the default): asked of the server when needed.
    const std::string& ServerPublicKey() const { return fauth_context.server_public_key; }
    void setServerPublicKey(const std::string& pem) { fauth_context.server_public_key = pem; }
    // TLS (default: disabled) and the CA file (PEM) its verifying modes check against; take
    // effect at the next connect.
    TMysqlSslMode SslMode() const { return fssl_mode; }
    void setSslMode(TMysqlSslMode value) { fssl_mode = value; }
    const std::u16string& SslCa() const { return fssl_ca; }
    void setSslCa(const std::u16string& value) { fssl_ca = value; }
    // What the last login negotiated: TLS version and cipher (empty without TLS) and the
    // authentication method that finished it.
    std::string TlsVersion() const { return fnet->vio().tls_version(); }
    std::string TlsCipher() const { return fnet->vio().tls_cipher(); }
    const std::string& AuthPlugin() const { return fauth.plugin(); }
    bool Compress() const { return fcompress; }
    void setCompress(bool) { fcompress = false; }
    bool UseSSL() const { return fuse_ssl; }
    void setUseSSL(bool) { fuse_ssl = false; }
    // Off by default: a server's request for a local file is honoured only when this is on and
    // the file is the one named in the caller's own LOAD DATA LOCAL INFILE statement.
    bool AllowLocalInfile() const { return fallow_local_infile; }
    void setAllowLocalInfile(bool value) { fallow_local_infile = value; }
    TMysql_Status Status() const { return fstatus; }
    std::uint32_t ThreadId() const { return fthread_id; }
    std::int64_t AffectedRows() const { return faffected_rows; }
    std::int64_t LastInsertId() const { return finsert_id; }
    const std::u16string& ServerVersion() const { return fserver_version; }
    std::u16string ClientVersion() const { return u"3.23.38"; }
    std::uint32_t ProtocolVersion() const { return fnet->protocol_version(); }
    std::uint32_t ServerCapabilities() const { return fserver_capabilities; }
    std::int32_t ServerStatus() const { return fserver_status; }
    std::uint32_t ServerLanguage() const { return fserver_language; }
    std::int64_t ExtraInfo() const { return fextra_info; }
    const std::u16string& Info() const { return finfo; }
    bool Connected() const { return fnet->net_connected(); }
    std::u16string LastError() const { return fnet->last_error(); }
    std::uint32_t LastErrorNo() const { return fnet->last_errno(); }

    // The packet layer (tests and tools reach compression and the buffer through it).
    TMysqlNet& net() { return *fnet; }
    const std::uint8_t* ScrambleBuff() const { return fscramble_buff; }
    std::int32_t FieldCount() const { return ffield_count; }

  private:
    friend class TMysqlResult;

    std::int32_t send_command(std::uint8_t command, const void* arg, std::uint32_t length,
                              bool skip_check, bool retry);
    std::int32_t read_query_reply();
    // Reports a command whose sending broke after a part of it went out: the server's error
    // packet when it sent one, else 2006; the connection is closed. Always -1.
    std::int32_t end_partly_sent_command();
    void take_result(bool StoreResult, bool& ExecutedOk,
                     std::unique_ptr<TMysqlResult>& MysqlResult);
    void skip_pending_results();
    // Takes the server status from a 4.1 end packet.
    void read_end_packet(std::int32_t length);
    // The greeting's fields; false (error recorded) when it is not one.
    bool read_greeting(std::int32_t length, std::string& plugin, std::string& seed);
    // Asks for TLS and runs its handshake as the mode says; false with the error recorded.
    bool negotiate_tls(std::uint32_t flags);
    // Follows the server through method switches and further requests until its OK: the OK's
    // length, or -1 with the error recorded. `password` is the one being proven.
    std::int32_t finish_authentication(const std::u16string& password);
    bool send_auth_packet(const std::string& bytes);
    void auth_error(std::uint32_t number, const std::u16string& text);
    std::int32_t send_local_file(const std::u16string& name);
    std::int32_t refuse_local_file(const std::u16string& reason);
    void read_ok_packet(PacketReader& reader);
    void malformed();
    bool read_field_defs(std::int32_t count);
    std::unique_ptr<TMysqlResult> store_result_set();
    std::unique_ptr<TMysqlResult> use_result_set();
    // 0 a row was read into `row` (lengths into `lengths`), 1 end of rows, -1 read failure.
    std::int32_t read_single_row(std::int32_t count, TMysql_Row& row,
                                 std::vector<std::uint32_t>& lengths);
    // Splits a row packet into its values; false when it is malformed.
    bool split_row(const std::uint8_t* packet, std::size_t length, std::int32_t count);
    bool parse_field_def(const std::uint8_t* packet, std::size_t length, TMysql_FieldDef& def);
    std::unique_ptr<TMYSQL_DATA> read_row_list(std::vector<TMysql_FieldDef>* defs,
                                               std::int32_t count);
    void free_field_defs();
    bool is_end_packet(std::int32_t length) const;
    void record_error(std::uint32_t number);
    void cut_connection();
    // `repeatable`: may be sent again on a new connection when the old one broke unanswered.
    bool simple_command(std::uint8_t command, const void* arg, std::uint32_t length,
                        bool repeatable = true);

    std::unique_ptr<TMysqlNet> fnet;
    std::u16string fhost;
    std::u16string fuser;
    std::u16string fpasswd;
    std::u16string funix_socket;
    std::u16string fdb;
    std::uint32_t fport = 3306;
    std::uint8_t fscramble_buff[256] = {};
    std::uint32_t fthread_id = 0;
    std::int64_t faffected_rows = 0;
    std::int64_t finsert_id = 0;
    TMysql_Status fstatus = MYSQL_STATUS_READY;
    bool freconnect = true;
    bool fnamed_pipe = false;
    bool ftrysock = false;
    std::uint32_t fconnect_timeout = 30;
    bool fcompress = false;
    std::uint32_t fclient_flag = CLIENT_DEFAULT_FLAG;
    std::u16string fserver_version;
    std::uint32_t fserver_capabilities = 0;
    std::int32_t fserver_status = SERVER_STATUS_AUTOCOMMIT;
    std::uint32_t fserver_language = 0;
    std::int64_t fextra_info = 0;
    std::u16string finfo;
    std::int32_t ffield_count = 0;
    std::vector<TMysql_FieldDef> ffields;
    bool fhas_fields = false;  // a result header's definitions are pending
    TMysqlResult* fusedresult = nullptr;
    bool fuse_ssl = false;
    bool fallow_local_infile = false;
    // The file named by the statement being sent, when it is a LOAD DATA LOCAL INFILE and local
    // files are allowed.
    std::optional<std::u16string> flocal_infile;
    bool fallow_old_passwords = false;
    bool fplugin_auth = true;
    bool fplugin_auth_active = false;  // the last login named its method
    std::uint8_t flogin_charset = 0;
    std::uint32_t fserver_capabilities_high = 0;  // the greeting's upper capability half
    TMysqlSslMode fssl_mode = SSL_MODE_DISABLED;
    std::u16string fssl_ca;
    TMysqlAuthContext fauth_context;
    TMysqlAuth fauth;
    std::uint32_t fread_timeout = 300;
    std::uint32_t fwrite_timeout = 300;
    std::vector<TMysql_Row::Source> frow_values;  // scratch for splitting row packets
    std::int32_t flast_reply_length = 0;          // length of the last command's reply

    // More columns than any server allows means a malformed header.
    static constexpr std::uint64_t kMaxColumns = 65535;
};

class TMysqlResult {
  public:
    TMysqlResult(TMysqlClient* aMysql, TResultType aType);
    ~TMysqlResult();
    TMysqlResult(const TMysqlResult&) = delete;
    TMysqlResult& operator=(const TMysqlResult&) = delete;

    // EOF is a macro of the C library, hence Eof/Bof.
    bool Eof() const { return fEOF; }
    bool Bof() const { return fBOF; }
    std::int32_t RecNo() const { return fRecNo; }
    void setRecNo(std::int32_t value);
    bool HasLengths() const { return flengthsread; }
    void setHasLengths(bool value);
    std::int32_t FieldsCount() const { return ffieldscount; }
    std::int64_t RowsCount() const { return frowscount; }
    TResultType ResultType() const { return fType; }
    PMysql_FieldDef FieldsDefs() const { return ffields.empty() ? nullptr : ffields.data(); }
    const std::uint32_t* Lengths() const { return flengths.data(); }
    // The current row's values, or nullptr when there is none.
    const TMysql_Row* CurrentRow() const { return fcurrent_row; }
    bool HadErrors() const { return fLastRow < 0; }
    bool LastRowRead() const { return fLastRow != 0; }

    std::uint32_t FieldLenght(std::int32_t aIndex) const;
    // NULL and the empty value both read as empty text; this tells them apart (false out of
    // range or without a current row).
    bool FieldIsNull(std::int32_t aIndex) const;
    std::u16string FieldValue(std::int32_t aIndex) const;
    void FieldValueBin(std::int32_t aIndex, std::ostream& stream) const;
    PMysql_FieldDef FieldDef(std::int32_t aIndex) const;
    std::u16string FieldValueByName(const std::u16string& aName, bool CaseSensitive) const;
    PMysql_FieldDef FieldDefByName(const std::u16string& aName, bool CaseSensitive) const;
    std::int32_t FieldIndexByName(const std::u16string& aName, bool CaseSensitive) const;
    void Next();
    void Prior();
    void First();
    void Last();
    void FetchLengths();

    // The connection while an rtUsed result streams from it; nullptr otherwise.
    TMysqlClient* Handle() const { return fhandle; }

  private:
    friend class TMysqlClient;

    const char* value_pointer(std::int32_t aIndex) const;
    void finish_used();
    bool has_rows() const { return fdata && !fdata->data.empty(); }

    std::int32_t ffieldscount = 0;
    std::int64_t frowscount = 0;
    std::vector<TMysql_FieldDef> ffields;
    TMysqlClient* fhandle;
    TResultType fType;
    std::vector<std::uint32_t> flengths;
    TMysql_Row frow;                     // rtUsed: the row each read fills
    std::unique_ptr<TMYSQL_DATA> fdata;  // rtStored: all rows
    std::size_t fdata_cursor = 0;        // rtStored: index of the current row
    std::int32_t fRecNo = -1;
    const TMysql_Row* fcurrent_row = nullptr;
    bool fEOF = false;
    bool fBOF = true;
    bool flengthsread = false;
    std::int32_t fLastRow = 0;
};
