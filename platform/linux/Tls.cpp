// The TLS client through OpenSSL, its records carried by the caller's stream (a BIO of ours).
#include "platform/Tls.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace platform {
namespace {

template <class Type, void (*Free)(Type*)>
struct Deleter {
    void operator()(Type* object) const { Free(object); }
};
using OwnedContext = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX, SSL_CTX_free>>;
using OwnedSsl = std::unique_ptr<SSL, Deleter<SSL, SSL_free>>;

Tls::Stream* streamOf(BIO* bio) {
    return static_cast<Tls::Stream*>(BIO_get_data(bio));
}

int bioRead(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    const int got = streamOf(bio)->read(buffer, size);
    return got > 0 ? got : -1;
}

int bioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const int sent = streamOf(bio)->write(data, size);
    return sent > 0 ? sent : -1;
}

long bioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BIO_METHOD* streamMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "orvelle-stream");
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_ctrl(m, bioControl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

// The first queued OpenSSL error as text, or `fallback`.
std::string lastErrorText(const std::string& fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return fallback;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

class OpenSslSession final : public Tls::Session {
  public:
    OpenSslSession(OwnedContext context, OwnedSsl ssl)
        : fcontext(std::move(context)), fssl(std::move(ssl)) {}
    ~OpenSslSession() override { SSL_shutdown(fssl.get()); }

    int read(void* buffer, int size) override {
        const int got = SSL_read(fssl.get(), buffer, size);
        if (got > 0) return got;
        const int reason = SSL_get_error(fssl.get(), got);
        ERR_clear_error();
        return reason == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    int write(const void* data, int size) override {
        const int sent = SSL_write(fssl.get(), data, size);
        ERR_clear_error();
        return sent > 0 ? sent : -1;
    }
    std::string version() override { return SSL_get_version(fssl.get()); }
    std::string cipher() override { return SSL_get_cipher_name(fssl.get()); }

  private:
    OwnedContext fcontext;
    OwnedSsl fssl;
};

class OpenSslTls final : public Tls {
  public:
    std::unique_ptr<Session> connect(Stream& stream, const Options& options,
                                     std::string& error) override {
        ERR_clear_error();
        OwnedContext context(SSL_CTX_new(TLS_client_method()));
        if (!context) {
            error = lastErrorText("TLS could not be started");
            return nullptr;
        }
        SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
        if (options.verify != Verify::None) {
            const bool loaded = options.caFile.empty()
                                    ? SSL_CTX_set_default_verify_paths(context.get()) == 1
                                    : SSL_CTX_load_verify_locations(
                                          context.get(), options.caFile.c_str(), nullptr) == 1;
            if (!loaded) {
                error = lastErrorText("the CA file could not be read");
                return nullptr;
            }
            SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
        }
        OwnedSsl ssl(SSL_new(context.get()));
        BIO* bio = ssl ? BIO_new(streamMethod()) : nullptr;
        if (!bio) {
            error = lastErrorText("TLS could not be started");
            return nullptr;
        }
        BIO_set_data(bio, &stream);
        SSL_set_bio(ssl.get(), bio, bio);
        // An address is matched against the certificate's IP entries, a name against its DNS
        // entries; only a name goes into the server name indication.
        ASN1_OCTET_STRING* address = a2i_IPADDRESS(options.host.c_str());
        const bool isAddress = address != nullptr;
        ASN1_OCTET_STRING_free(address);
        ERR_clear_error();
        if (!isAddress && !options.host.empty())
            SSL_set_tlsext_host_name(ssl.get(), options.host.c_str());
        if (options.verify == Verify::Identity) {
            X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
            if (isAddress)
                X509_VERIFY_PARAM_set1_ip_asc(param, options.host.c_str());
            else
                X509_VERIFY_PARAM_set1_host(param, options.host.c_str(), 0);
        }
        if (SSL_connect(ssl.get()) != 1) {
            const long verified = SSL_get_verify_result(ssl.get());
            error = verified != X509_V_OK ? X509_verify_cert_error_string(verified)
                                          : lastErrorText("the TLS handshake failed");
            ERR_clear_error();
            return nullptr;
        }
        return std::make_unique<OpenSslSession>(std::move(context), std::move(ssl));
    }
};

}  // namespace

std::unique_ptr<Tls> createNativeTls() {
    return std::make_unique<OpenSslTls>();
}

}  // namespace platform
