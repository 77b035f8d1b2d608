// TMysqlNet: MySQL packet framing over one TMysqlVio — the 4-byte header, sequence numbers,
// server error packets, the growable buffer, and the zlib-compressed variant.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mysql/uMysqlCT.h"
#include "mysql/uMysqlVio.h"

// The largest payload one packet carries; longer payloads travel as a sequence of such packets
// ended by a shorter one (possibly empty).
constexpr std::uint32_t MYSQL_MAX_PACKET_PAYLOAD = 0xFFFFFF;
// Default limit of a joined payload (the caller's maximum packet size); a longer one is
// refused (2020).
constexpr std::uint32_t MYSQL_DEFAULT_MAX_ALLOWED_PACKET = 64 * 1024 * 1024;
constexpr std::uint32_t MYSQL_MAX_ALLOWED_PACKET_LIMIT = 1024 * 1024 * 1024;
constexpr std::int32_t MYSQL_NET_BUFFER_START = 8192;
constexpr std::uint32_t MYSQL_NET_BUFFER_STEP = 4096;

class TMysqlNet {
  public:
    TMysqlNet();
    ~TMysqlNet();
    TMysqlNet(const TMysqlNet&) = delete;
    TMysqlNet& operator=(const TMysqlNet&) = delete;

    // 0, or vio_open's negative code. An open connection is kept as it is.
    int net_open(TEnumVioType VioType, const std::u16string& host,
                 const std::u16string& unix_socket, std::int32_t port,
                 std::uint32_t connect_timeout, bool trysock);
    // vio_close's result; 0 when already closed (the buffer is then kept).
    int net_close();
    // Shrinks a grown buffer back to 8192 bytes when idle; bytes not yet handed out by the
    // compressed reader are kept (the buffer is never made smaller than they need).
    bool net_pack();
    bool net_realloc(std::uint32_t len1);
    void net_clear();
    std::int32_t net_flush();
    // 0 ok, 1 error. Collect only; net_flush sends. A payload of 0xFFFFFF bytes or more is
    // split into packets of that size, ended by a shorter one.
    std::int32_t my_net_write(const void* packet, std::uint32_t len1);
    // Collects the command packet (split as above) and flushes it: 0 ok, 1 error.
    std::int32_t net_write_command(std::uint8_t command, const void* packet, std::uint32_t len1);
    std::int32_t net_write_buff(const void* packet, std::int32_t len1);
    // 0 all sent; 2 sending failed; 1 no memory for a compressed frame; -1 transport closed.
    std::int32_t net_real_write(const void* packet1, std::int32_t len1);
    // Payload length of the packet (or frame) read at fwhere_b, or -1.
    std::int32_t my_real_read(std::int32_t& complen);
    // Payload length of the next packet, at read_pos() with a 0 byte after it; or -1. A
    // sequence of full-size packets is joined with the shorter one that ends it (plain mode).
    std::int32_t my_net_read();
    // Length (at least 1) of a packet that is not an error packet, or -1 with the error
    // recorded (server errors keep the connection; everything else closes it).
    std::int32_t net_safe_read();
    // True when nothing arrived within `timeout` seconds.
    bool net_vio_poll_read(std::uint32_t timeout);

    // Properties.
    std::u16string last_error() const { return fvio->last_error(); }
    void set_last_error(const std::u16string& text) { fvio->set_last_error(text); }
    std::uint32_t last_errno() const { return fvio->last_errno(); }
    void set_last_errno(std::uint32_t number) { fvio->set_last_errno(number); }
    // Start of the last packet's payload; valid until the next read or write.
    const std::uint8_t* read_pos() const { return fbuff.data() + fread_pos; }
    std::uint32_t protocol_version() const { return fprotocol_version; }
    void set_protocol_version(std::uint32_t value) { fprotocol_version = value; }
    bool compress() const { return fcompress; }
    void set_compress(bool value) { fcompress = value; }
    bool net_connected() const { return fvio->VIO_type() != VIO_CLOSED; }
    std::uint32_t max_allowed_packet() const { return fmax_allowed_packet; }
    // At most 1 GiB, as servers allow: lengths stay within a signed 32-bit count.
    void set_max_allowed_packet(std::uint32_t value) {
        fmax_allowed_packet =
            value < MYSQL_MAX_ALLOWED_PACKET_LIMIT ? value : MYSQL_MAX_ALLOWED_PACKET_LIMIT;
    }
    // Bytes of reply read since the last net_clear: 0 means the peer has not answered yet.
    std::uint64_t received_since_clear() const { return freceived; }
    // Bytes sent since the last net_clear: 0 means no part of the command reached the peer.
    std::uint64_t sent_since_clear() const { return fsent; }
    // True when the last read failed because the peer stayed silent past the time-out (it
    // may still be working on the command), not because the connection broke.
    bool read_timed_out() const { return fread_timed_out; }
    TEnumVioType vio_type() const { return fvio->VIO_type(); }
    TMysqlVio& vio() { return *fvio; }

    // Fields. The buffer is owned storage; positions in it are offsets, since growing it
    // moves it.
    std::unique_ptr<TMysqlVio> fvio;
    bool fcompress = false;
    std::uint8_t freading_or_writing = 0;  // 0 idle, 1 reading, 2 writing
    std::vector<std::uint8_t> fbuff;       // empty before the first open and after close
    std::uint8_t fpkt_nr = 0;
    std::int32_t fmax_packet = 0;  // size of fbuff
    std::size_t fwrite_pos = 0;    // end of the collected output
    std::size_t fread_pos = 0;     // payload of the last packet read
    std::int32_t fbuf_length = 0;
    std::int32_t fwhere_b = 0;
    std::int32_t fremain_in_buf = 0;
    std::uint8_t fsave_char = 0;
    std::uint32_t fprotocol_version = 10;
    std::uint32_t fmax_allowed_packet = MYSQL_DEFAULT_MAX_ALLOWED_PACKET;
    // The protocol's 0xFFFFFF; smaller only so that fuzzing reaches the joining of packets.
    std::uint32_t fmax_packet_payload = MYSQL_MAX_PACKET_PAYLOAD;
    std::uint64_t freceived = 0;
    std::uint64_t fsent = 0;
    bool fread_timed_out = false;

  private:
    std::int32_t write_packets(const std::uint8_t* command, const std::uint8_t* data,
                               std::uint64_t length);
    bool read_exactly(std::size_t offset, std::size_t count);
};
