// The platform's own cryptography: SHA-256, ECDSA P-256 signature checks and RSA-OAEP
// encryption to a public key; nothing written here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class Crypto {
  public:
    using Sha256Digest = std::array<std::uint8_t, 32>;
    // An uncompressed P-256 point: 0x04, X, Y (32 bytes each, big-endian).
    static constexpr std::size_t kP256PublicKeySize = 65;
    // r then s, 32 bytes each, big-endian.
    static constexpr std::size_t kP256SignatureSize = 64;

    // SHA-256 over bytes handed in pieces, as a file is received.
    class Sha256Stream {
      public:
        virtual ~Sha256Stream() = default;
        virtual void update(const void* data, std::size_t size) = 0;
        // False when the provider failed at any step.
        virtual bool finish(Sha256Digest& digest) = 0;
    };

    virtual ~Crypto() = default;

    // False only when the platform's provider fails.
    virtual bool sha256(std::string_view bytes, Sha256Digest& digest) = 0;
    // A new hash over no bytes yet; null only when the provider fails.
    virtual std::unique_ptr<Sha256Stream> startSha256() = 0;
    // True only when signature is a valid ECDSA P-256 signature with SHA-256 over message by
    // publicKey. A key or signature of the wrong size or not on the curve is never valid.
    virtual bool verifyP256Sha256(std::string_view publicKey, std::string_view message,
                                  std::string_view signature) = 0;
    // RSA-OAEP with SHA-1 and MGF1-SHA-1 (what MySQL servers decrypt) of message to the RSA
    // public key in publicKeyPem ("-----BEGIN PUBLIC KEY-----", SubjectPublicKeyInfo). False
    // when the key does not load or the message is too long for it.
    virtual bool rsaOaepEncrypt(std::string_view publicKeyPem, std::string_view message,
                                std::string& encrypted) = 0;
};

std::unique_ptr<Crypto> createNativeCrypto();

}  // namespace platform
