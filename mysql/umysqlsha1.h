// SHA-1 and the two password answers of the MySQL handshake: the old scramble and the
// SHA-1 based secure scramble. Pure functions of their inputs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

struct Sha1Context {
    std::uint32_t length_low = 0;   // message length in bits, low half
    std::uint32_t length_high = 0;  // and high half
    std::uint32_t intermediate_hash[5] = {};
    bool computed = false;
    bool corrupted = false;  // input arrived after the digest was finished
    std::uint8_t block_index = 0;
    std::uint8_t block[64] = {};
};

constexpr std::size_t SHA1_HASH_SIZE = 20;
constexpr std::size_t SCRAMBLE_BUFFER_SIZE = 256;  // the greeting's seed, bytes 0..19 used

void sha1Reset(Sha1Context& context);
// A null data pointer is a programming error: throws std::logic_error.
void sha1Input(Sha1Context& context, const std::uint8_t* data, std::size_t length);
// A null output pointer is a programming error: throws std::logic_error.
void sha1Result(Sha1Context& context, std::uint8_t* digest);

// Hash of the bytes up to the first zero byte (or the end), blanks and tabs skipped.
std::pair<std::uint32_t, std::uint32_t> old_password_hash(const std::string& bytes);

// 8 characters and a terminating zero; nothing for an empty password or a zero first seed byte.
std::optional<std::array<char, 9>> old_scramble(const std::u16string& password,
                                                const std::uint8_t* seed);
// SHA1(seed + SHA1(SHA1(password))) XOR SHA1(password); password read up to its first zero.
void secure_scramble(std::uint8_t* output, const std::uint8_t* seed, const std::string& password);
// 0x14 followed by secure_scramble; nothing for an empty password or a zero first seed byte.
std::optional<std::array<std::uint8_t, 21>> secure_auth_token(const std::u16string& password,
                                                              const std::uint8_t* seed);
void xor_bytes(std::uint8_t* output, const std::uint8_t* first, const std::uint8_t* second,
               std::size_t count);
