#include "mysql/umysqlsha1.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/Text.h"

namespace {

constexpr std::uint32_t kInitialHash[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                           0xC3D2E1F0};
constexpr std::uint32_t kRoundConstants[4] = {0x5A827999, 0x6ED9EBA1, 0x8F1BBCDC, 0xCA62C1D6};

constexpr std::uint32_t rotateLeft(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

void processBlock(Sha1Context& context) {
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t) {
        w[t] = static_cast<std::uint32_t>(context.block[t * 4]) << 24 |
               static_cast<std::uint32_t>(context.block[t * 4 + 1]) << 16 |
               static_cast<std::uint32_t>(context.block[t * 4 + 2]) << 8 |
               static_cast<std::uint32_t>(context.block[t * 4 + 3]);
    }
    for (int t = 16; t < 80; ++t) w[t] = rotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    std::uint32_t a = context.intermediate_hash[0], b = context.intermediate_hash[1],
                  c = context.intermediate_hash[2], d = context.intermediate_hash[3],
                  e = context.intermediate_hash[4];
    for (int t = 0; t < 80; ++t) {
        std::uint32_t f;
        if (t < 20) f = (b & c) | (~b & d);
        else if (t < 40) f = b ^ c ^ d;
        else if (t < 60) f = (b & c) | (b & d) | (c & d);
        else f = b ^ c ^ d;
        const std::uint32_t temp = rotateLeft(a, 5) + f + e + w[t] + kRoundConstants[t / 20];
        e = d;
        d = c;
        c = rotateLeft(b, 30);
        b = a;
        a = temp;
    }
    context.intermediate_hash[0] += a;
    context.intermediate_hash[1] += b;
    context.intermediate_hash[2] += c;
    context.intermediate_hash[3] += d;
    context.intermediate_hash[4] += e;
    context.block_index = 0;
}

void padMessage(Sha1Context& context) {
    // 0x80, zeros, then the 64-bit bit count; a second block when fewer than 9 bytes are free.
    context.block[context.block_index++] = 0x80;
    if (context.block_index > 56) {
        while (context.block_index < 64) context.block[context.block_index++] = 0;
        processBlock(context);
    }
    while (context.block_index < 56) context.block[context.block_index++] = 0;
    for (int i = 0; i < 4; ++i) {
        context.block[56 + i] = static_cast<std::uint8_t>(context.length_high >> (24 - 8 * i));
        context.block[60 + i] = static_cast<std::uint8_t>(context.length_low >> (24 - 8 * i));
    }
    processBlock(context);
}

std::string bytesUpToZero(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

}  // namespace

void sha1Reset(Sha1Context& context) {
    context = Sha1Context{};
    std::copy(std::begin(kInitialHash), std::end(kInitialHash), context.intermediate_hash);
}

void sha1Input(Sha1Context& context, const std::uint8_t* data, std::size_t length) {
    if (!data) throw std::logic_error("Empty array paased to sha1Input");
    if (context.computed) context.corrupted = true;
    if (context.corrupted) return;
    for (std::size_t i = 0; i < length; ++i) {
        context.block[context.block_index++] = data[i];
        context.length_low += 8;
        if (context.length_low == 0) ++context.length_high;
        if (context.block_index == 64) processBlock(context);
    }
}

void sha1Result(Sha1Context& context, std::uint8_t* digest) {
    if (!digest) throw std::logic_error("Empty array passed to sha1Result");
    if (context.corrupted) return;
    if (!context.computed) {
        padMessage(context);
        std::fill(std::begin(context.block), std::end(context.block), 0);
        context.length_low = 0;
        context.length_high = 0;
        context.computed = true;
    }
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(context.intermediate_hash[i / 4] >> (24 - 8 * (i % 4)));
}

std::pair<std::uint32_t, std::uint32_t> old_password_hash(const std::string& bytes) {
    std::uint32_t nr = 1345345333u, add = 7, nr2 = 0x12345671u;
    for (const char ch : bytes) {
        if (ch == '\0') break;
        if (ch == ' ' || ch == '\t') continue;
        const std::uint32_t c = static_cast<unsigned char>(ch);
        nr ^= (((nr & 63) + add) * c) + (nr << 8);
        nr2 += (nr2 << 8) ^ nr;
        add += c;
    }
    return {nr & 0x7FFFFFFFu, nr2 & 0x7FFFFFFFu};
}

std::optional<std::array<char, 9>> old_scramble(const std::u16string& password,
                                                const std::uint8_t* seed) {
    if (password.empty() || seed[0] == 0) return std::nullopt;
    const auto hp = old_password_hash(text::toUtf8(password));
    std::string seedText(reinterpret_cast<const char*>(seed), SHA1_HASH_SIZE);
    const auto hm = old_password_hash(bytesUpToZero(seedText));

    constexpr std::uint64_t kMax = 0x3FFFFFFF;
    std::uint64_t seed1 = (hp.first ^ hm.first) % kMax;
    std::uint64_t seed2 = (hp.second ^ hm.second) % kMax;
    const auto next = [&]() {
        seed1 = (seed1 * 3 + seed2) % kMax;
        seed2 = (seed1 + seed2 + 33) % kMax;
        return static_cast<double>(seed1) / static_cast<double>(kMax);
    };
    std::array<char, 9> reply{};
    for (int i = 0; i < 8; ++i) reply[i] = static_cast<char>(std::floor(next() * 31) + 64);
    const char extra = static_cast<char>(std::floor(next() * 31));
    for (int i = 0; i < 8; ++i) reply[i] = static_cast<char>(reply[i] ^ extra);
    reply[8] = '\0';
    return reply;
}

void secure_scramble(std::uint8_t* output, const std::uint8_t* seed, const std::string& password) {
    const std::string secret = bytesUpToZero(password);
    std::uint8_t stage1[SHA1_HASH_SIZE];
    std::uint8_t stage2[SHA1_HASH_SIZE];
    Sha1Context context;

    sha1Reset(context);
    sha1Input(context, reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size());
    sha1Result(context, stage1);

    sha1Reset(context);
    sha1Input(context, stage1, SHA1_HASH_SIZE);
    sha1Result(context, stage2);

    sha1Reset(context);
    sha1Input(context, seed, SHA1_HASH_SIZE);
    sha1Input(context, stage2, SHA1_HASH_SIZE);
    sha1Result(context, output);

    xor_bytes(output, output, stage1, SHA1_HASH_SIZE);
}

std::optional<std::array<std::uint8_t, 21>> secure_auth_token(const std::u16string& password,
                                                              const std::uint8_t* seed) {
    if (password.empty() || seed[0] == 0) return std::nullopt;
    std::array<std::uint8_t, 21> token{};
    token[0] = 0x14;
    secure_scramble(token.data() + 1, seed, text::toUtf8(password));
    return token;
}

void xor_bytes(std::uint8_t* output, const std::uint8_t* first, const std::uint8_t* second,
               std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) output[i] = first[i] ^ second[i];
}
