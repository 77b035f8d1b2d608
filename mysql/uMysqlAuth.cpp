// The authentication methods of the login (see uMysqlAuth.h).
#include "mysql/uMysqlAuth.h"

#include <cstring>

#include "common/Text.h"
#include "mysql/umysqlsha1.h"
#include "platform/Crypto.h"
#include "platform/Registry.h"

namespace {

constexpr std::size_t kSeedSize = 20;
// The caching_sha2_password server's replies to the fast answer, and the request for its key.
constexpr char kFastAuthSuccess = 3;
constexpr char kPerformFullAuth = 4;
constexpr char kCachingSha2KeyRequest = 2;
constexpr char kSha256KeyRequest = 1;

TMysqlAuth::Answer send(std::string bytes) {
    return {TMysqlAuth::Step::Send, std::move(bytes), {}};
}

TMysqlAuth::Answer fail(std::u16string error) {
    return {TMysqlAuth::Step::Fail, {}, std::move(error)};
}

std::u16string methodName(std::string_view plugin) {
    // Plugin names are ASCII; anything else is shown as it decodes.
    return text::fromUtf8(plugin);
}

// SHA-256(password) XOR SHA-256(SHA-256(SHA-256(password)) + seed).
bool sha256Scramble(const std::string& password, std::string_view seed, std::string& answer) {
    if (!platform::installed<platform::Crypto>()) return false;
    auto& crypto = platform::get<platform::Crypto>();
    platform::Crypto::Sha256Digest stage1{}, stage2{}, mixed{};
    if (!crypto.sha256(password, stage1) ||
        !crypto.sha256({reinterpret_cast<const char*>(stage1.data()), stage1.size()}, stage2))
        return false;
    std::string input(reinterpret_cast<const char*>(stage2.data()), stage2.size());
    input.append(seed);
    if (!crypto.sha256(input, mixed)) return false;
    answer.resize(stage1.size());
    for (std::size_t i = 0; i < stage1.size(); ++i)
        answer[i] = static_cast<char>(stage1[i] ^ mixed[i]);
    return true;
}

}  // namespace

bool TMysqlAuth::knows(std::string_view plugin) {
    return plugin == kNativePassword || plugin == kCachingSha2Password ||
           plugin == kSha256Password || plugin == kClearPassword || plugin == kOldPassword;
}

TMysqlAuth::Answer TMysqlAuth::start(std::string_view plugin, std::string_view seed,
                                     const TMysqlAuthContext& context) {
    fplugin = std::string(plugin);
    fseed = std::string(seed.substr(0, kSeedSize));
    fkey_requested = false;
    std::uint8_t seedBuffer[SCRAMBLE_BUFFER_SIZE] = {};
    std::memcpy(seedBuffer, fseed.data(), fseed.size());
    const std::string password = text::toUtf8(context.password);

    if (plugin == kNativePassword) {
        const auto token = secure_auth_token(context.password, seedBuffer);
        if (!token) return send({});
        return send(std::string(reinterpret_cast<const char*>(token->data()) + 1, 20));
    }
    if (plugin == kOldPassword) {
        // Crackable offline from the wire: only when the caller allowed it.
        if (!context.allow_old_passwords)
            return fail(
                u"The server asked for the old (pre-4.1) password scramble after a 4.1 "
                u"greeting; refused because old passwords are not allowed");
        std::string answer;
        if (const auto scramble = old_scramble(context.password, seedBuffer))
            answer.assign(scramble->data(), 8);
        answer.push_back('\0');
        return send(answer);
    }
    if (plugin == kClearPassword) {
        if (!context.secure_channel || !context.allow_clear_password)
            return fail(
                u"Authentication method 'mysql_clear_password' refused: the password is "
                u"sent in clear only over TLS or the local channel, and only when the "
                u"client allows it");
        return send(password + '\0');
    }
    if (plugin == kCachingSha2Password) {
        if (password.empty()) return send(std::string(1, '\0'));
        std::string answer;
        if (!sha256Scramble(password, fseed, answer))
            return fail(
                u"Authentication method 'caching_sha2_password' failed: SHA-256 is not "
                u"available");
        return send(answer);
    }
    if (plugin == kSha256Password) {
        if (password.empty()) return send(std::string(1, '\0'));
        return send_password(context, kSha256KeyRequest);
    }
    return fail(u"Authentication method '" + methodName(plugin) + u"' is not supported");
}

TMysqlAuth::Answer TMysqlAuth::more(std::string_view data, const TMysqlAuthContext& context) {
    if (fkey_requested && (fplugin == kCachingSha2Password || fplugin == kSha256Password))
        return encrypt_password(data, context);
    if (fplugin == kCachingSha2Password && data.size() == 1) {
        if (data[0] == kFastAuthSuccess) return {Step::Wait, {}, {}};
        if (data[0] == kPerformFullAuth) return send_password(context, kCachingSha2KeyRequest);
    }
    return fail(u"Authentication method '" + methodName(fplugin) +
                u"' got a request it does not understand");
}

TMysqlAuth::Answer TMysqlAuth::send_password(const TMysqlAuthContext& context, char keyRequest) {
    if (context.secure_channel) return send(text::toUtf8(context.password) + '\0');
    if (!context.server_public_key.empty())
        return encrypt_password(context.server_public_key, context);
    fkey_requested = true;
    return send(std::string(1, keyRequest));
}

TMysqlAuth::Answer TMysqlAuth::encrypt_password(std::string_view publicKey,
                                                const TMysqlAuthContext& context) {
    fkey_requested = false;
    // The password and its zero byte, mixed with the seed so that the ciphertext is bound to
    // this login.
    std::string message = text::toUtf8(context.password) + '\0';
    for (std::size_t i = 0; i < message.size() && !fseed.empty(); ++i)
        message[i] = static_cast<char>(message[i] ^ fseed[i % fseed.size()]);
    std::string encrypted;
    if (!platform::installed<platform::Crypto>() ||
        !platform::get<platform::Crypto>().rsaOaepEncrypt(publicKey, message, encrypted))
        return fail(u"Authentication method '" + methodName(fplugin) +
                    u"' failed: the server's public key could not be used");
    return send(encrypted);
}
