// SHA-256, ECDSA P-256 checks and RSA-OAEP through CNG (BCrypt), available since Windows Vista;
// a PEM public key is read through CryptoAPI (crypt32).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "platform/Crypto.h"

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

class HashObject {
  public:
    ~HashObject() {
        if (handle_) BCryptDestroyHash(handle_);
    }
    BCRYPT_HASH_HANDLE handle_ = nullptr;
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

// A PEM SubjectPublicKeyInfo as a CNG key.
bool importPemPublicKey(std::string_view pem, KeyObject& key) {
    if (pem.size() > 0xFFFFFF) return false;
    DWORD derSize = 0;
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              nullptr, &derSize, nullptr, nullptr))
        return false;
    std::vector<BYTE> der(derSize);
    if (!CryptStringToBinaryA(pem.data(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                              der.data(), &derSize, nullptr, nullptr))
        return false;
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), derSize,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &infoSize))
        return false;
    const bool imported =
        std::strcmp(info->Algorithm.pszObjId, szOID_RSA_RSA) == 0 &&
        CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key.handle_);
    LocalFree(info);
    return imported;
}

class CngCrypto final : public Crypto {
  public:
    bool sha256(std::string_view bytes, Sha256Digest& digest) override {
        if (!sha256_.get()) return false;
        HashObject hash;
        // No hash object buffer: CNG allocates it (Windows 7 and later).
        if (!BCRYPT_SUCCESS(
                BCryptCreateHash(sha256_.get(), &hash.handle_, nullptr, 0, nullptr, 0, 0)))
            return false;
        // BCryptHashData takes a ULONG count: feed large inputs in pieces.
        constexpr std::size_t kPiece = 1u << 30;
        for (std::size_t offset = 0; offset < bytes.size(); offset += kPiece) {
            const std::string_view piece = bytes.substr(offset, kPiece);
            if (!BCRYPT_SUCCESS(BCryptHashData(hash.handle_, bytesOf(piece),
                                               static_cast<ULONG>(piece.size()), 0)))
                return false;
        }
        return BCRYPT_SUCCESS(
            BCryptFinishHash(hash.handle_, digest.data(), static_cast<ULONG>(digest.size()), 0));
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
        KeyObject key;
        if (!importPemPublicKey(publicKeyPem, key) || message.size() > 0xFFFF) return false;
        BCRYPT_OAEP_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM, nullptr, 0};
        ULONG size = 0;
        if (!BCRYPT_SUCCESS(BCryptEncrypt(key.handle_, bytesOf(message),
                                          static_cast<ULONG>(message.size()), &padding, nullptr, 0,
                                          nullptr, 0, &size, BCRYPT_PAD_OAEP)))
            return false;
        encrypted.resize(size);
        if (!BCRYPT_SUCCESS(BCryptEncrypt(key.handle_, bytesOf(message),
                                          static_cast<ULONG>(message.size()), &padding, nullptr, 0,
                                          reinterpret_cast<PUCHAR>(encrypted.data()), size, &size,
                                          BCRYPT_PAD_OAEP)))
            return false;
        encrypted.resize(size);
        return true;
    }

  private:
    Algorithm sha256_{BCRYPT_SHA256_ALGORITHM};
    Algorithm ecdsa_{BCRYPT_ECDSA_P256_ALGORITHM};
};

}  // namespace

std::unique_ptr<Crypto> createNativeCrypto() {
    return std::make_unique<CngCrypto>();
}

}  // namespace platform
