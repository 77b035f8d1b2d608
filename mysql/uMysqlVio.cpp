#include "mysql/uMysqlVio.h"

#include <algorithm>
#include <cstring>

#include "platform/Registry.h"
#include "platform/Sockets.h"
#include "platform/System.h"
#include "platform/Tls.h"

namespace {

platform::Sockets& sockets() {
    return platform::get<platform::Sockets>();
}

constexpr std::size_t kErrorTextLimit = 200;
constexpr std::int32_t kDefaultPort = 3306;

// Seconds to milliseconds without overflowing the platform's argument.
int toMilliseconds(std::uint32_t seconds) {
    const std::uint64_t milliseconds = std::uint64_t(seconds) * 1000;
    return static_cast<int>(std::min<std::uint64_t>(milliseconds, 0x7FFFFFFF));
}

}  // namespace

// The socket under a TLS session, with the same deadline as plain reads and writes.
class TMysqlVio::RawSocket final : public platform::Tls::Stream {
  public:
    explicit RawSocket(TMysqlVio& vio) : fvio(vio) {}
    int read(void* buffer, int size) override { return fvio.raw_receive(buffer, size); }
    int write(const void* data, int size) override { return fvio.raw_send(data, size); }

  private:
    TMysqlVio& fvio;
};

TMysqlVio::TMysqlVio() = default;

TMysqlVio::~TMysqlVio() {
    if (ftype != VIO_CLOSED) vio_close();
}

std::u16string TMysqlVio::last_error() const {
    return platform::get<platform::System>().fromAnsi(flast_error);
}

void TMysqlVio::set_last_error(const std::u16string& text) {
    if (text.empty()) {
        flast_error.clear();
        return;
    }
    // Characters, not bytes: where the code page is UTF-8 a byte cut would split one.
    flast_error = platform::get<platform::System>().toAnsi(cut_characters(text, kErrorTextLimit));
}

void TMysqlVio::record_error(std::uint32_t number, std::initializer_list<ErrorArgument> arguments) {
    set_last_errno(number);
    set_last_error(client_error_text(number, arguments));
}

int TMysqlVio::vio_open(TEnumVioType _type, const std::u16string& host,
                        const std::u16string& /*unix_socket: the pipe name is always MySQL*/,
                        std::int32_t port, std::uint32_t connect_timeout, bool trysock) {
    if (ftype != VIO_CLOSED) return -20;
    if (_type == VIO_TYPE_SSL) return -2;
    // A socket kind always connects by TCP/IP, also when trysock was not given: otherwise the
    // transport would count as open without any socket.
    const bool wantsSocket = _type == VIO_TYPE_TCPIP || _type == VIO_TYPE_SOCKET || trysock;
    if (wantsSocket && !sockets().startup()) return -1;
    const std::u16string givenHost = host;

    if (_type == VIO_TYPE_NAMEDPIPE) {
        // Always the local default pipe, whatever host and pipe name were given.
        const std::u16string pipeHost = u".";
        const std::u16string pipeName = u"MySQL";
        const std::string path = "\\\\.\\pipe\\MySQL";
        const auto opened = sockets().openLocalChannel(
            path,
            static_cast<std::uint32_t>(
                std::min<std::uint64_t>(std::uint64_t(connect_timeout) * 1000, 0xFFFFFFFE)),
            toMilliseconds(fread_timeout), toMilliseconds(fwrite_timeout));
        using Failure = platform::Sockets::ChannelFailure;
        const std::uint64_t error = opened.error;
        switch (opened.failure) {
            case Failure::None:
                ftype = VIO_TYPE_NAMEDPIPE;
                FSd = 0;
                FHPipe = opened.handle;
                return 0;
            case Failure::WaitFailed:
                record_error(CR_NAMEDPIPEWAIT_ERROR, {pipeHost, pipeName, error});
                break;
            case Failure::OpenFailed:
                record_error(CR_NAMEDPIPEOPEN_ERROR, {pipeHost, pipeName, error});
                break;
            case Failure::StateFailed:
                record_error(CR_NAMEDPIPESETSTATE_ERROR, {pipeHost, pipeName, error});
                break;
        }
        if (opened.failure != Failure::StateFailed && trysock)
            record_error(CR_NAMEDPIPEOPEN_ERROR, {pipeHost, pipeName, error});
        // Where a Unix-domain socket stands in for the pipe, the error names its path.
        if (!opened.socketPath.empty())
            record_error(CR_CONNECTION_ERROR,
                         {platform::get<platform::System>().fromAnsi(opened.socketPath),
                          std::int64_t(opened.error)});
        if (!trysock) return -9;
    }

    const std::u16string tcpHost = givenHost.empty() ? u"localhost" : givenHost;
    const std::int32_t tcpPort = port == 0 ? kDefaultPort : port;
    const platform::Sockets::Handle socket = sockets().createStreamSocket();
    if (socket == platform::Sockets::kInvalid) {
        record_error(CR_IPSOCK_ERROR, {std::int64_t(sockets().lastSocketError())});
        return -8;
    }
    std::uint32_t address = 0;
    int error = 0;
    if (!sockets().resolveIPv4(to_ansi(tcpHost), address, error)) {
        sockets().shutdownAndClose(socket);
        record_error(CR_UNKNOWN_HOST, {tcpHost, std::int64_t(error)});
        return -7;
    }
    if (!sockets().connect(socket, address, static_cast<std::uint16_t>(tcpPort),
                           toMilliseconds(connect_timeout))) {
        error = sockets().lastSocketError();
        sockets().shutdownAndClose(socket);
        record_error(CR_CONN_HOST_ERROR, {tcpHost, std::int64_t(error)});
        return -6;
    }
    sockets().setNoDelayAndKeepAlive(socket);
    if (fread_timeout != 0 || fwrite_timeout != 0)
        sockets().setTimeouts(socket, toMilliseconds(fread_timeout),
                              toMilliseconds(fwrite_timeout));
    ftype = VIO_TYPE_TCPIP;
    fdeadline_passed = false;
    FSd = socket;
    FHPipe = 0;
    flast_error.clear();
    flast_errno = 0;
    return 0;
}

int TMysqlVio::vio_close() {
    ftls.reset();
    fraw.reset();
    int result = 0;
    if (ftype == VIO_TYPE_NAMEDPIPE) {
        result = sockets().channelClose(FHPipe);
    } else if (ftype != VIO_CLOSED) {
        result = sockets().shutdownAndClose(FSd);
    }
    ftype = VIO_CLOSED;
    FSd = -1;
    FHPipe = -1;
    ffcntl_mode = 0;
    fahead_pos = fahead_end = 0;
    return result;
}

int TMysqlVio::vio_read(void* buf, std::int32_t sz) {
    if (ftype == VIO_CLOSED) return -1;
    if (ftype == VIO_TYPE_NAMEDPIPE) return sockets().channelRead(FHPipe, buf, sz);
    if (sz <= 0) return sockets().receive(FSd, buf, sz);
    // A non-blocking read only drains what is stale; a TLS record cannot be read in part.
    if (ftls) return (ffcntl_mode & 1) ? -1 : ftls->read(buf, sz);
    if (fahead_pos == fahead_end) {
        // Large reads go straight to the caller; small ones fill the read-ahead first.
        if (sz >= kReadAhead) return raw_receive(buf, sz);
        if (!fahead) fahead = std::make_unique<std::uint8_t[]>(kReadAhead);
        const int got = raw_receive(fahead.get(), kReadAhead);
        if (got <= 0) return got;
        fahead_pos = 0;
        fahead_end = got;
    }
    const int count = std::min(sz, fahead_end - fahead_pos);
    std::memcpy(buf, fahead.get() + fahead_pos, static_cast<std::size_t>(count));
    fahead_pos += count;
    return count;
}

int TMysqlVio::vio_write(const void* buf, std::int32_t size) {
    if (ftype == VIO_CLOSED) return -1;
    if (ftype == VIO_TYPE_NAMEDPIPE) return sockets().channelWrite(FHPipe, buf, size);
    if (ftls) return ftls->write(buf, size);
    return raw_send(buf, size);
}

bool TMysqlVio::wait_before(int condition) {
    if (!fdeadline || (ffcntl_mode & 1)) return true;
    const std::uint64_t now = platform::get<platform::System>().monotonicMilliseconds();
    if (now < *fdeadline && sockets().waitSocket(FSd, condition,
                                                 static_cast<int>(std::min<std::uint64_t>(
                                                     *fdeadline - now, 0x7FFFFFFF))) != 0)
        return true;
    fdeadline_passed = true;
    return false;
}

int TMysqlVio::raw_receive(void* buf, int size) {
    if (!wait_before(platform::Sockets::kReadable)) return -1;
    return sockets().receive(FSd, buf, size);
}

int TMysqlVio::raw_send(const void* buf, int size) {
    // The login's packets are small: the socket's own write time-out bounds them.
    return sockets().send(FSd, buf, size);
}

bool TMysqlVio::start_tls(const platform::Tls::Options& options, std::string& error) {
    if (ftype != VIO_TYPE_TCPIP || ftls) {
        error = "TLS needs an open TCP/IP connection";
        return false;
    }
    if (!platform::installed<platform::Tls>()) {
        error = "TLS is not available in this program";
        return false;
    }
    // The server sends nothing between the request for TLS and the handshake.
    fahead_pos = fahead_end = 0;
    fraw = std::make_unique<RawSocket>(*this);
    ftls = platform::get<platform::Tls>().connect(*fraw, options, error);
    if (!ftls) fraw.reset();
    return ftls != nullptr;
}

int TMysqlVio::vio_blocking(bool onoff) {
    if (ftype == VIO_CLOSED) return -1;
    if (ftype == VIO_TYPE_NAMEDPIPE) return 0;
    const std::int32_t previous = ffcntl_mode;
    if (onoff)
        ffcntl_mode &= ~1;
    else
        ffcntl_mode |= 1;
    if (ffcntl_mode == previous) return 0;
    return sockets().setNonBlocking(FSd, !onoff);
}

bool TMysqlVio::vio_should_retry() {
    if (ftype == VIO_CLOSED) return false;
    const int error = sockets().lastSocketError();
    return sockets().isInterrupted(error) || sockets().isWouldBlock(error) ||
           sockets().isInProgress(error);
}

bool TMysqlVio::vio_intrerupted() {
    return sockets().isInterrupted(sockets().lastSocketError());
}

bool TMysqlVio::vio_timed_out() {
    return fdeadline_passed || sockets().isTimedOut(sockets().lastSocketError());
}

bool TMysqlVio::vio_poll_read(std::uint32_t timeout) {
    if (ftype == VIO_CLOSED) return false;
    if (ftype == VIO_TYPE_NAMEDPIPE) return false;  // cannot be polled: go on and read
    if (fahead_pos != fahead_end) return false;     // bytes are already here
    const int answer = socket_poll(FSd, platform::Sockets::kReadable, toMilliseconds(timeout));
    if (answer < 0) return false;
    return answer == 0;
}

int TMysqlVio::socket_poll(std::intptr_t socket, int wanted, int timeoutMilliseconds) {
    const int result = sockets().waitSocket(socket, wanted, timeoutMilliseconds);
    sockets().debugOutput(u"SQL Point1");
    return result;
}
