// The TLS client through Schannel (SSPI): the handshake tokens and the records travel over the
// caller's stream; the certificate is checked by TlsCertificate.cpp.
#define SECURITY_WIN32
#include <windows.h>
// windows.h first: the SSPI headers need its types.
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <vector>

#include "platform/Tls.h"
#include "platform/win32/TlsCertificate.h"

namespace platform {
namespace {

// A handshake message or record is at most 16 KiB plus its overhead; more without progress is
// not a TLS peer.
constexpr std::size_t kMaxIncoming = 64 * 1024;

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // host names and addresses are ASCII
}

std::string statusText(const char* what, SECURITY_STATUS status) {
    char text[96];
    std::snprintf(text, sizeof text, "%s (0x%08lX)", what, static_cast<unsigned long>(status));
    return text;
}

class Credentials {
  public:
    ~Credentials() {
        if (facquired) FreeCredentialsHandle(&fhandle);
    }
    SECURITY_STATUS acquire() {
        SCHANNEL_CRED cred{};
        cred.dwVersion = SCHANNEL_CRED_VERSION;
        // We check the certificate ourselves, against the caller's CA when one is given.
        cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
        TimeStamp expiry;
        const SECURITY_STATUS status = AcquireCredentialsHandleW(
            nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr, &cred,
            nullptr, nullptr, &fhandle, &expiry);
        facquired = status == SEC_E_OK;
        return status;
    }
    CredHandle* get() { return &fhandle; }

  private:
    CredHandle fhandle{};
    bool facquired = false;
};

class SchannelSession final : public Tls::Session {
  public:
    SchannelSession(Tls::Stream& stream, std::string host) : fstream(stream), fhost(wide(host)) {}
    ~SchannelSession() override {
        if (fcontext_made) DeleteSecurityContext(&fcontext);
    }

    bool handshake(std::string& error) {
        SECURITY_STATUS status = fcredentials.acquire();
        if (status != SEC_E_OK) {
            error = statusText("TLS could not be started", status);
            return false;
        }
        status = step(false);
        while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
            // Read when Schannel has nothing left to work on.
            if ((fincoming.empty() || status == SEC_E_INCOMPLETE_MESSAGE) && !receiveMore()) {
                error = "the server closed the connection during the TLS handshake";
                return false;
            }
            status = step(true);
        }
        if (status != SEC_E_OK) {
            error = statusText("the TLS handshake failed", status);
            return false;
        }
        if (QueryContextAttributesW(&fcontext, SECPKG_ATTR_STREAM_SIZES, &fsizes) != SEC_E_OK) {
            error = "the TLS record sizes are unknown";
            return false;
        }
        return true;
    }

    PCCERT_CONTEXT serverCertificate() {
        PCCERT_CONTEXT certificate = nullptr;
        if (QueryContextAttributesW(&fcontext, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
            SEC_E_OK)
            return nullptr;
        return certificate;
    }

    int read(void* buffer, int size) override {
        while (fplain.empty()) {
            const int got = decryptRecord();
            if (got <= 0) return got;
        }
        const int count = static_cast<int>(std::min<std::size_t>(fplain.size(), size));
        std::memcpy(buffer, fplain.data(), static_cast<std::size_t>(count));
        fplain.erase(fplain.begin(), fplain.begin() + count);
        return count;
    }

    int write(const void* data, int size) override {
        const int count = static_cast<int>(std::min<unsigned long>(size, fsizes.cbMaximumMessage));
        std::vector<char> record(fsizes.cbHeader + count + fsizes.cbTrailer);
        std::memcpy(record.data() + fsizes.cbHeader, data, static_cast<std::size_t>(count));
        SecBuffer buffers[4] = {
            {fsizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(count), SECBUFFER_DATA, record.data() + fsizes.cbHeader},
            {fsizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + fsizes.cbHeader + count},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&fcontext, 0, &description, 0) != SEC_E_OK) return -1;
        const std::size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        return sendAll(record.data(), total) ? count : -1;
    }

    std::string version() override {
        SecPkgContext_ConnectionInfo info{};
        if (QueryContextAttributesW(&fcontext, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
            return {};
        if (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) return "TLSv1.3";
        if (info.dwProtocol & SP_PROT_TLS1_2_CLIENT) return "TLSv1.2";
        if (info.dwProtocol & SP_PROT_TLS1_1_CLIENT) return "TLSv1.1";
        if (info.dwProtocol & SP_PROT_TLS1_0_CLIENT) return "TLSv1";
        return "unknown";
    }

    std::string cipher() override {
        SecPkgContext_CipherInfo info{};
        info.dwVersion = SECPKGCONTEXT_CIPHERINFO_V1;
        if (QueryContextAttributesW(&fcontext, SECPKG_ATTR_CIPHER_INFO, &info) == SEC_E_OK &&
            info.szCipherSuite[0]) {
            std::string name;
            bool plain = true;  // Wine names parts it does not know "<unknown>"
            for (const wchar_t* c = info.szCipherSuite; *c; ++c) {
                plain = plain && (std::iswalnum(*c) || *c == L'_');
                name.push_back(static_cast<char>(*c));
            }
            if (plain) return name;
        }
        SecPkgContext_ConnectionInfo connection{};
        if (QueryContextAttributesW(&fcontext, SECPKG_ATTR_CONNECTION_INFO, &connection) !=
            SEC_E_OK)
            return "unknown";
        if (connection.aiCipher == CALG_AES_128) return "AES_128";
        if (connection.aiCipher == CALG_AES_256) return "AES_256";
        char text[32];
        std::snprintf(text, sizeof text, "ALG_%X", static_cast<unsigned>(connection.aiCipher));
        return text;
    }

  private:
    // One call of the handshake with what has arrived; sends what Schannel answers.
    SECURITY_STATUS step(bool withInput) {
        const unsigned long wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                     ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                                     ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                     ISC_REQ_MANUAL_CRED_VALIDATION;
        SecBuffer input[2] = {
            {static_cast<unsigned long>(fincoming.size()), SECBUFFER_TOKEN, fincoming.data()},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, input};
        SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outputDescription{SECBUFFER_VERSION, 1, output};
        unsigned long attributes = 0;
        // The name for the server name indication; an address has none.
        wchar_t* target =
            fhost.empty() || fhost.find_first_not_of(L"0123456789.") == std::wstring::npos
                ? nullptr
                : fhost.data();
        const SECURITY_STATUS status = InitializeSecurityContextW(
            fcredentials.get(), withInput ? &fcontext : nullptr, target, wanted, 0, 0,
            withInput ? &inputDescription : nullptr, 0, withInput ? nullptr : &fcontext,
            &outputDescription, &attributes, nullptr);
        if (!withInput) fcontext_made = status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK;
        if (output[0].pvBuffer) {
            const bool sent =
                output[0].cbBuffer == 0 ||
                sendAll(static_cast<const char*>(output[0].pvBuffer), output[0].cbBuffer);
            FreeContextBuffer(output[0].pvBuffer);
            if (!sent) return SEC_E_INTERNAL_ERROR;
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE) return status;
        keepExtra(withInput ? &input[1] : nullptr);
        return status;
    }

    // Keeps the bytes Schannel did not use (the start of the next message) and drops the rest.
    void keepExtra(const SecBuffer* extra) {
        if (extra && extra->BufferType == SECBUFFER_EXTRA && extra->cbBuffer <= fincoming.size())
            fincoming.erase(fincoming.begin(), fincoming.end() - extra->cbBuffer);
        else
            fincoming.clear();
    }

    // > 0 when a record was decrypted (its bytes may be none), 0 at the peer's close, -1 on
    // failure.
    int decryptRecord() {
        for (;;) {
            if (!fincoming.empty()) {
                SecBuffer buffers[4] = {{static_cast<unsigned long>(fincoming.size()),
                                         SECBUFFER_DATA, fincoming.data()},
                                        {0, SECBUFFER_EMPTY, nullptr},
                                        {0, SECBUFFER_EMPTY, nullptr},
                                        {0, SECBUFFER_EMPTY, nullptr}};
                SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
                const SECURITY_STATUS status = DecryptMessage(&fcontext, &description, 0, nullptr);
                if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE) {
                    const SecBuffer* extra = nullptr;
                    for (const SecBuffer& buffer : buffers) {
                        if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer)
                            fplain.insert(fplain.end(), static_cast<char*>(buffer.pvBuffer),
                                          static_cast<char*>(buffer.pvBuffer) + buffer.cbBuffer);
                        if (buffer.BufferType == SECBUFFER_EXTRA) extra = &buffer;
                    }
                    keepExtra(extra);
                    // A message of the handshake after it (a TLS 1.3 ticket): Schannel takes
                    // it through the handshake call.
                    if (status == SEC_I_RENEGOTIATE && step(true) != SEC_E_OK) return -1;
                    return 1;
                }
                if (status == SEC_I_CONTEXT_EXPIRED) return 0;
                if (status != SEC_E_INCOMPLETE_MESSAGE) return -1;
            }
            const int got = receive();
            if (got <= 0) return got;
        }
    }

    int receive() {
        if (fincoming.size() >= kMaxIncoming) return -1;
        char block[16 * 1024 + 512];
        const int got = fstream.read(block, sizeof block);
        if (got > 0) fincoming.insert(fincoming.end(), block, block + got);
        return got;
    }
    bool receiveMore() { return receive() > 0; }

    bool sendAll(const char* data, std::size_t size) {
        while (size > 0) {
            const int sent = fstream.write(data, static_cast<int>(size));
            if (sent <= 0) return false;
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
        return true;
    }

    Tls::Stream& fstream;
    std::wstring fhost;
    Credentials fcredentials;
    CtxtHandle fcontext{};
    bool fcontext_made = false;
    SecPkgContext_StreamSizes fsizes{};
    std::vector<char> fincoming;  // received, not yet used by Schannel
    std::vector<char> fplain;     // decrypted, not yet read
};

class SchannelTls final : public Tls {
  public:
    std::unique_ptr<Session> connect(Stream& stream, const Options& options,
                                     std::string& error) override {
        auto session = std::make_unique<SchannelSession>(stream, options.host);
        if (!session->handshake(error)) return nullptr;
        const PCCERT_CONTEXT certificate = session->serverCertificate();
        const bool trusted = schannel::checkServerCertificate(certificate, options, error);
        if (certificate) CertFreeCertificateContext(certificate);
        if (!trusted) return nullptr;
        return session;
    }
};

}  // namespace

std::unique_ptr<Tls> createNativeTls() {
    return std::make_unique<SchannelTls>();
}

}  // namespace platform
