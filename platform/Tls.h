// The platform's TLS client (OpenSSL on Linux, Schannel on Windows) over a byte stream the
// caller owns, so that the caller's own time limits bound every read and write it makes.
#pragma once

#include <memory>
#include <string>

namespace platform {

class Tls {
  public:
    // The connection the session runs over: the raw bytes, with the results of recv/send
    // (bytes moved; 0 when the peer closed; -1 on failure).
    class Stream {
      public:
        virtual ~Stream() = default;
        virtual int read(void* buffer, int size) = 0;
        virtual int write(const void* data, int size) = 0;
    };

    enum class Verify {
        None,      // encrypted, the certificate is not checked
        Ca,        // the certificate chains to the CA file (the system's roots when none)
        Identity,  // and it names the host (a DNS name or an IP address)
    };
    struct Options {
        Verify verify = Verify::None;
        std::string caFile;  // PEM; empty: the system's roots
        std::string host;    // the name or address the caller connected to
    };

    class Session {
      public:
        virtual ~Session() = default;
        // As Stream: bytes moved, 0 when the peer closed, -1 on failure.
        virtual int read(void* buffer, int size) = 0;
        virtual int write(const void* data, int size) = 0;
        // E.g. "TLSv1.3" and "TLS_AES_256_GCM_SHA384".
        virtual std::string version() = 0;
        virtual std::string cipher() = 0;
    };

    virtual ~Tls() = default;
    // Runs the client handshake over stream (which must outlive the session); nullptr with a
    // readable reason in `error` when it fails or the certificate is refused.
    virtual std::unique_ptr<Session> connect(Stream& stream, const Options& options,
                                             std::string& error) = 0;
};

std::unique_ptr<Tls> createNativeTls();

}  // namespace platform
