// The login's authentication methods: each method's first answer to the server's seed and its
// answers to the server's further requests (the packets that start with 0x01).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the methods may rely on, set by the connection for one login.
struct TMysqlAuthContext {
    std::u16string password;
    // TLS or the local channel: a password may travel as it is.
    bool secure_channel = false;
    // The caller allows mysql_clear_password (still only over a secure channel).
    bool allow_clear_password = false;
    // The pre-4.1 scramble is answered (the caller allowed it, or the greeting was pre-4.1).
    bool allow_old_passwords = false;
    // The server's RSA public key (PEM) as the caller gave it; empty: asked of the server.
    std::string server_public_key;
};

class TMysqlAuth {
  public:
    enum class Step {
        Send,  // write `bytes` as the next packet
        Wait,  // write nothing; the server's next packet follows
        Fail,  // stop the login; `error` says why
    };
    struct Answer {
        Step step = Step::Fail;
        std::string bytes;
        std::u16string error;
    };

    static constexpr std::string_view kNativePassword = "mysql_native_password";
    static constexpr std::string_view kCachingSha2Password = "caching_sha2_password";
    static constexpr std::string_view kSha256Password = "sha256_password";
    static constexpr std::string_view kClearPassword = "mysql_clear_password";
    static constexpr std::string_view kOldPassword = "mysql_old_password";

    // True for the methods start() answers.
    static bool knows(std::string_view plugin);
    // Starts `plugin` with the server's seed (its trailing zero byte, if any, is not part of it).
    Answer start(std::string_view plugin, std::string_view seed, const TMysqlAuthContext& context);
    // The server's further request: the bytes after its 0x01.
    Answer more(std::string_view data, const TMysqlAuthContext& context);
    const std::string& plugin() const { return fplugin; }

  private:
    // The full exchange of the SHA-256 methods: the password itself over a secure channel,
    // else encrypted to the server's key, else the key asked for with `keyRequest`.
    Answer send_password(const TMysqlAuthContext& context, char keyRequest);
    Answer encrypt_password(std::string_view publicKey, const TMysqlAuthContext& context);

    std::string fplugin;
    std::string fseed;
    bool fkey_requested = false;
};
