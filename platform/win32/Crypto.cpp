// SHA-256 and ECDSA P-256 checks through CNG (BCrypt), available since Windows Vista; RSA-OAEP
// through CryptoAPI.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Crypto.h"
#include "platform/win32/PemText.h"

namespace platform {
namespace {

class Algorithm {
  public:
    explicit Algorithm(LPCWSTR id) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, id, nullptr, 0)))
            handle_ = nullptr;
    }
    ~Algorithm() {
        if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

  private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// A SHA-256 in progress. It shares the provider, which must outlive its hash objects.
class CngSha256Stream final : public Crypto::Sha256Stream {
  public:
    CngSha256Stream(std::shared_ptr<const Algorithm> provider, BCRYPT_HASH_HANDLE hash)
        : provider_(std::move(provider)), hash_(hash) {}
    ~CngSha256Stream() override { BCryptDestroyHash(hash_); }
    CngSha256Stream(const CngSha256Stream&) = delete;
    CngSha256Stream& operator=(const CngSha256Stream&) = delete;

    void update(const void* data, std::size_t size) override {
        // BCryptHashData takes a ULONG count: large inputs go in pieces.
        constexpr std::size_t kPiece = 1u << 30;
        auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
        for (std::size_t offset = 0; offset < size && !failed_; offset += kPiece) {
            const auto piece = static_cast<ULONG>(std::min(size - offset, kPiece));
            failed_ = !BCRYPT_SUCCESS(BCryptHashData(hash_, bytes + offset, piece, 0));
        }
    }

    bool finish(Crypto::Sha256Digest& digest) override {
        // CNG finishes a hash object once; a second finish is a failure, never another digest.
        if (failed_) return false;
        failed_ = true;
        return BCRYPT_SUCCESS(
            BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0));
    }

  private:
    std::shared_ptr<const Algorithm> provider_;
    BCRYPT_HASH_HANDLE hash_;
    bool failed_ = false;
};

class KeyObject {
  public:
    ~KeyObject() {
        if (handle_) BCryptDestroyKey(handle_);
    }
    BCRYPT_KEY_HANDLE handle_ = nullptr;
};

PUCHAR bytesOf(std::string_view text) {
    return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

// A PEM SubjectPublicKeyInfo, decoded (free with LocalFree).
CERT_PUBLIC_KEY_INFO* decodePemPublicKey(std::string_view pem) {
    const std::vector<BYTE> der = pemToDer(pem);
    if (der.empty()) return nullptr;
    const auto derSize = static_cast<DWORD>(der.size());
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), derSize,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &infoSize))
        return nullptr;
    if (std::strcmp(info->Algorithm.pszObjId, szOID_RSA_RSA) != 0) {
        LocalFree(info);
        return nullptr;
    }
    return info;
}

// RSA encryption through CryptoAPI's provider: it does OAEP with SHA-1 on every Windows version,
// and also under Wine, whose CNG has no RSA encryption.
class RsaProvider {
  public:
    RsaProvider() {
        if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            provider_ = 0;
    }
    ~RsaProvider() {
        if (key_) CryptDestroyKey(key_);
        if (provider_) CryptReleaseContext(provider_, 0);
    }
    RsaProvider(const RsaProvider&) = delete;
    RsaProvider& operator=(const RsaProvider&) = delete;

    bool encrypt(CERT_PUBLIC_KEY_INFO* info, std::string_view message, std::string& encrypted) {
        if (!provider_ || !CryptImportPublicKeyInfo(provider_, X509_ASN_ENCODING, info, &key_))
            return false;
        DWORD size = static_cast<DWORD>(message.size());
        if (!CryptEncrypt(key_, 0, TRUE, CRYPT_OAEP, nullptr, &size, 0)) return false;
        std::vector<BYTE> buffer(std::max<DWORD>(size, static_cast<DWORD>(message.size())));
        std::memcpy(buffer.data(), message.data(), message.size());
        DWORD length = static_cast<DWORD>(message.size());
        if (!CryptEncrypt(key_, 0, TRUE, CRYPT_OAEP, buffer.data(), &length,
                          static_cast<DWORD>(buffer.size())))
            return false;
        // CryptoAPI writes the number little-endian; the wire carries it big-endian.
        encrypted.assign(buffer.rbegin() + static_cast<std::ptrdiff_t>(buffer.size() - length),
                         buffer.rend());
        return true;
    }

  private:
    HCRYPTPROV provider_ = 0;
    HCRYPTKEY key_ = 0;
};

class CngCrypto final : public Crypto {
  public:
    bool sha256(std::string_view bytes, Sha256Digest& digest) override {
        const std::unique_ptr<Sha256Stream> hash = startSha256();
        if (!hash) return false;
        hash->update(bytes.data(), bytes.size());
        return hash->finish(digest);
    }

    std::unique_ptr<Sha256Stream> startSha256() override {
        if (!sha256_->get()) return nullptr;
        BCRYPT_HASH_HANDLE hash = nullptr;
        // No hash object buffer: CNG allocates it (Windows 7 and later).
        if (!BCRYPT_SUCCESS(BCryptCreateHash(sha256_->get(), &hash, nullptr, 0, nullptr, 0, 0)))
            return nullptr;
        return std::make_unique<CngSha256Stream>(sha256_, hash);
    }

    bool verifyP256Sha256(std::string_view publicKey, std::string_view message,
                          std::string_view signature) override {
        if (publicKey.size() != kP256PublicKeySize || publicKey[0] != '\x04' ||
            signature.size() != kP256SignatureSize || !ecdsa_.get())
            return false;
        // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y without the 0x04 prefix.
        BCRYPT_ECCKEY_BLOB header{};
        header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
        header.cbKey = 32;
        std::vector<UCHAR> blob(sizeof header + 64);
        std::memcpy(blob.data(), &header, sizeof header);
        std::memcpy(blob.data() + sizeof header, publicKey.data() + 1, 64);
        KeyObject key;
        if (!BCRYPT_SUCCESS(BCryptImportKeyPair(ecdsa_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                                &key.handle_, blob.data(),
                                                static_cast<ULONG>(blob.size()), 0)))
            return false;
        Sha256Digest digest;
        if (!sha256(message, digest)) return false;
        // CNG takes r and s as they come, 32 bytes each.
        return BCryptVerifySignature(key.handle_, nullptr, digest.data(),
                                     static_cast<ULONG>(digest.size()), bytesOf(signature),
                                     static_cast<ULONG>(signature.size()), 0) == 0;
    }

    bool rsaOaepEncrypt(std::string_view publicKeyPem, std::string_view message,
                        std::string& encrypted) override {
        CERT_PUBLIC_KEY_INFO* info = decodePemPublicKey(publicKeyPem);
        if (!info || message.size() > 0xFFFF) {
            if (info) LocalFree(info);
            return false;
        }
        const bool done = RsaProvider().encrypt(info, message, encrypted);
        LocalFree(info);
        return done;
    }

  private:
    std::shared_ptr<const Algorithm> sha256_ =
        std::make_shared<const Algorithm>(BCRYPT_SHA256_ALGORITHM);
    Algorithm ecdsa_{BCRYPT_ECDSA_P256_ALGORITHM};
};

}  // namespace

std::unique_ptr<Crypto> createNativeCrypto() {
    return std::make_unique<CngCrypto>();
}

}  // namespace platform
