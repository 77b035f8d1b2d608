// SHA-256, ECDSA P-256 checks and RSA-OAEP through OpenSSL's libcrypto (EVP).
#include "platform/Crypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <utility>

namespace platform {
namespace {

template <class Type, void (*Free)(Type*)>
struct Deleter {
    void operator()(Type* object) const { Free(object); }
};
template <class Type, void (*Free)(Type*)>
using Owned = std::unique_ptr<Type, Deleter<Type, Free>>;

using OwnedKey = Owned<EVP_PKEY, EVP_PKEY_free>;
using OwnedKeyContext = Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using OwnedDigestContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using OwnedSignature = Owned<ECDSA_SIG, ECDSA_SIG_free>;
using OwnedNumber = Owned<BIGNUM, BN_free>;
using OwnedBio = Owned<BIO, BIO_free_all>;

void freeBytes(unsigned char* bytes) {
    OPENSSL_free(bytes);
}
using OwnedBytes = Owned<unsigned char, freeBytes>;

const unsigned char* bytesOf(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

OwnedKey publicKeyFromPoint(std::string_view point) {
    if (point.size() != Crypto::kP256PublicKeySize || point[0] != '\x04') return nullptr;
    OwnedKeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1) return nullptr;
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, const_cast<char*>(point.data()),
                                          point.size()),
        OSSL_PARAM_construct_end()};
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) return nullptr;
    OwnedKey owned(key);
    // A point off the curve must never verify anything.
    OwnedKeyContext check(EVP_PKEY_CTX_new_from_pkey(nullptr, owned.get(), nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) != 1) return nullptr;
    return owned;
}

// libcrypto takes ECDSA signatures in their DER form; let it build that from r and s.
bool derSignature(std::string_view raw, OwnedBytes& der, int& size) {
    if (raw.size() != Crypto::kP256SignatureSize) return false;
    OwnedNumber r(BN_bin2bn(bytesOf(raw), 32, nullptr));
    OwnedNumber s(BN_bin2bn(bytesOf(raw) + 32, 32, nullptr));
    OwnedSignature signature(ECDSA_SIG_new());
    if (!r || !s || !signature || ECDSA_SIG_set0(signature.get(), r.get(), s.get()) != 1)
        return false;
    r.release();  // owned by signature now
    s.release();
    unsigned char* out = nullptr;
    size = i2d_ECDSA_SIG(signature.get(), &out);
    der.reset(out);
    return size > 0;
}

class OpenSslSha256 final : public Crypto::Sha256Stream {
  public:
    OpenSslSha256() : context_(EVP_MD_CTX_new()) {
        ok_ = context_ && EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) == 1;
    }
    bool started() const { return ok_; }
    void update(const void* data, std::size_t size) override {
        ok_ = ok_ && EVP_DigestUpdate(context_.get(), data, size) == 1;
    }
    bool finish(Crypto::Sha256Digest& digest) override {
        unsigned int size = 0;
        ok_ = ok_ && EVP_DigestFinal_ex(context_.get(), digest.data(), &size) == 1 &&
              size == digest.size();
        return std::exchange(ok_, false);
    }

  private:
    OwnedDigestContext context_;
    bool ok_ = false;
};

class OpenSslCrypto final : public Crypto {
  public:
    std::unique_ptr<Sha256Stream> startSha256() override {
        auto hash = std::make_unique<OpenSslSha256>();
        if (!hash->started()) return nullptr;
        return hash;
    }

    bool sha256(std::string_view bytes, Sha256Digest& digest) override {
        unsigned int size = 0;
        return EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(),
                          nullptr) == 1 &&
               size == digest.size();
    }

    bool verifyP256Sha256(std::string_view publicKey, std::string_view message,
                          std::string_view signature) override {
        const OwnedKey key = publicKeyFromPoint(publicKey);
        OwnedBytes der;
        int derSize = 0;
        if (!key || !derSignature(signature, der, derSize)) return false;
        OwnedDigestContext context(EVP_MD_CTX_new());
        if (!context ||
            EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
            return false;
        return EVP_DigestVerify(context.get(), der.get(), static_cast<std::size_t>(derSize),
                                bytesOf(message), message.size()) == 1;
    }

    bool rsaOaepEncrypt(std::string_view publicKeyPem, std::string_view message,
                        std::string& encrypted) override {
        if (publicKeyPem.size() > 0x7FFFFFFF) return false;
        OwnedBio source(
            BIO_new_mem_buf(publicKeyPem.data(), static_cast<int>(publicKeyPem.size())));
        if (!source) return false;
        OwnedKey key(PEM_read_bio_PUBKEY(source.get(), nullptr, nullptr, nullptr));
        if (!key || EVP_PKEY_base_id(key.get()) != EVP_PKEY_RSA) return false;
        OwnedKeyContext context(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
        std::size_t size = 0;
        if (!context || EVP_PKEY_encrypt_init(context.get()) != 1 ||
            EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
            EVP_PKEY_CTX_set_rsa_oaep_md(context.get(), EVP_sha1()) != 1 ||
            EVP_PKEY_CTX_set_rsa_mgf1_md(context.get(), EVP_sha1()) != 1 ||
            EVP_PKEY_encrypt(context.get(), nullptr, &size, bytesOf(message), message.size()) != 1)
            return false;
        encrypted.resize(size);
        if (EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char*>(encrypted.data()),
                             &size, bytesOf(message), message.size()) != 1)
            return false;
        encrypted.resize(size);
        return true;
    }
};

}  // namespace

std::unique_ptr<Crypto> createNativeCrypto() {
    return std::make_unique<OpenSslCrypto>();
}

}  // namespace platform
