// TMysqlVio: one byte-stream connection to a MySQL server (TCP/IP socket or local channel)
// and the error state (number and text) that the whole client stack reports through.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "mysql/uMysqlCT.h"
#include "mysql/uMysqlErrors.h"
#include "platform/Tls.h"

namespace platform {
class Sockets;
}

class TMysqlVio {
  public:
    TMysqlVio();
    ~TMysqlVio();
    TMysqlVio(const TMysqlVio&) = delete;
    TMysqlVio& operator=(const TMysqlVio&) = delete;

    // 0 success; -20 already open; -2 SSL requested; -1 sockets failed to start; -9 local
    // channel failed without TCP/IP fallback; -8 no socket; -7 host not resolved; -6 connect
    // failed (also when it took longer than `connect_timeout` seconds; 0: no limit of its own).
    // A socket kind is always served by TCP/IP.
    int vio_open(TEnumVioType _type, const std::u16string& host, const std::u16string& unix_socket,
                 std::int32_t port, std::uint32_t connect_timeout, bool trysock);
    // 0 done (also when closed); -1 when shutting down or closing a socket failed; for the
    // local channel the platform's own close result.
    int vio_close();
    // Bytes read (> 0); 0 when a socket's peer closed; -1 on error or when closed.
    int vio_read(void* buf, std::int32_t sz);
    // Bytes written; -1 on error or when closed.
    int vio_write(const void* buf, std::int32_t size);
    // onoff true = blocking. 0 done or nothing to do; the platform's error result; -1 closed.
    int vio_blocking(bool onoff);
    bool vio_should_retry();
    bool vio_intrerupted();
    // True when the last failed read or write gave up at its time-out.
    bool vio_timed_out();
    // True when nothing arrived within `timeout` seconds. The local channel cannot be polled
    // and answers false, so the caller goes on and reads.
    bool vio_poll_read(std::uint32_t timeout);

    // Until cleared (nullopt), every socket read fails once the monotonic clock
    // passes `deadline` (milliseconds): the login's time-out bounds all of its steps.
    void set_deadline(std::optional<std::uint64_t> deadline) { fdeadline = deadline; }
    // Switches the open socket to TLS (the server has been asked for it); false with the
    // reason in `error`. Reads and writes go through the session until vio_close.
    bool start_tls(const platform::Tls::Options& options, std::string& error);
    bool tls_active() const { return ftls != nullptr; }
    // E.g. "TLSv1.3" and "TLS_AES_256_GCM_SHA384"; empty without TLS.
    std::string tls_version() const { return ftls ? ftls->version() : std::string(); }
    std::string tls_cipher() const { return ftls ? ftls->cipher() : std::string(); }

    // Seconds a later read or write may wait before it fails (0: no limit); takes effect at
    // the next vio_open.
    void set_timeouts(std::uint32_t readSeconds, std::uint32_t writeSeconds) {
        fread_timeout = readSeconds;
        fwrite_timeout = writeSeconds;
    }

    std::int32_t fcntl_mode() const { return ffcntl_mode; }
    std::u16string last_error() const;
    // Cut to 200 characters (never inside one), stored in the ANSI code page; empty clears.
    void set_last_error(const std::u16string& text);
    std::uint32_t last_errno() const { return flast_errno; }
    void set_last_errno(std::uint32_t number) { flast_errno = number; }
    TEnumVioType VIO_type() const { return ftype; }

    // Records client error `number` with its placeholders filled.
    void record_error(std::uint32_t number, std::initializer_list<ErrorArgument> arguments = {});

    // Socket handle: -1 none, 0 while the local channel is open (pointer width on 64-bit).
    std::intptr_t FSd = -1;
    // Local channel handle: -1 none, 0 while a socket is open.
    std::intptr_t FHPipe = -1;
    std::int32_t ffcntl_mode = 0;  // bit 0: switched to non-blocking
    TEnumVioType ftype = VIO_CLOSED;
    std::string flast_error;  // ANSI code page, at most 200 characters
    std::uint32_t flast_errno = 0;

  private:
    class RawSocket;
    int socket_poll(std::intptr_t socket, int wanted, int timeoutMilliseconds);
    // False (and the deadline marked as passed) when the deadline comes first.
    bool wait_before(int condition);
    int raw_receive(void* buf, int size);
    int raw_send(const void* buf, int size);

    // Socket reads go through a read-ahead block, so that a packet's header and payload (and
    // the next packets) usually come from one receive call instead of two each.
    static constexpr int kReadAhead = 16384;
    std::unique_ptr<std::uint8_t[]> fahead;
    int fahead_pos = 0;
    int fahead_end = 0;
    std::uint32_t fread_timeout = 0;
    std::uint32_t fwrite_timeout = 0;
    std::optional<std::uint64_t> fdeadline;
    bool fdeadline_passed = false;
    std::unique_ptr<RawSocket> fraw;
    std::unique_ptr<platform::Tls::Session> ftls;
};
