#include "mysql/uMysqlNet.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "common/Text.h"
#include "mysql/uMysqlErrors.h"
#include "mysql/uMysqlPacketReader.h"
#include "platform/Registry.h"
#include "platform/System.h"

namespace {

constexpr std::int32_t kCompressMinimum = 50;  // shorter payloads are never worth compressing
constexpr std::size_t kServerMessageLimit = 199;

std::uint32_t get24(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (std::uint32_t(p[2]) << 16);
}
void put24(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
}

// Compresses in place when that makes the data shorter; `complen` is the uncompressed length
// field of the frame (0: sent as it is).
void compress_payload(std::vector<std::uint8_t>& block, std::size_t offset, std::int32_t& len,
                      std::int32_t& complen) {
    complen = 0;
    if (len < kCompressMinimum) return;
    uLongf outputLength = static_cast<uLongf>(double(len) * 120 / 100 + 12);
    std::vector<std::uint8_t> output(outputLength);
    if (::compress(output.data(), &outputLength, block.data() + offset, static_cast<uLong>(len)) !=
        Z_OK)
        return;
    if (outputLength >= static_cast<uLongf>(len)) return;
    std::memcpy(block.data() + offset, output.data(), outputLength);
    complen = len;
    len = static_cast<std::int32_t>(outputLength);
}

}  // namespace

TMysqlNet::TMysqlNet() : fvio(std::make_unique<TMysqlVio>()) {}

TMysqlNet::~TMysqlNet() = default;

int TMysqlNet::net_open(TEnumVioType VioType, const std::u16string& host,
                        const std::u16string& unix_socket, std::int32_t port,
                        std::uint32_t connect_timeout, bool trysock) {
    if (net_connected()) return 0;
    const int opened = fvio->vio_open(VioType, host, unix_socket, port, connect_timeout, trysock);
    if (opened != 0) return opened;
    fbuff.assign(MYSQL_NET_BUFFER_START, 0);
    fbuff.shrink_to_fit();
    fmax_packet = MYSQL_NET_BUFFER_START;
    fwrite_pos = 0;
    fread_pos = 0;
    fpkt_nr = 0;
    fcompress = false;
    fbuf_length = MYSQL_NET_BUFFER_START;
    fwhere_b = 0;
    fremain_in_buf = 0;
    fprotocol_version = 10;
    freading_or_writing = 0;
    fsave_char = 0;
    return 0;
}

int TMysqlNet::net_close() {
    if (!net_connected()) return 0;
    const int result = fvio->vio_close();
    fbuff.clear();
    fbuff.shrink_to_fit();
    fmax_packet = 0;
    fwrite_pos = 0;
    fread_pos = 0;
    return result;
}

bool TMysqlNet::net_pack() {
    if (freading_or_writing != 0 || fbuff.empty()) return true;
    if (!fcompress) {
        // Nothing is kept between packets in plain mode: a grown buffer goes back to its size.
        if (fbuff.size() <= static_cast<std::size_t>(MYSQL_NET_BUFFER_START)) return true;
        fbuff.assign(MYSQL_NET_BUFFER_START, 0);
        fbuff.shrink_to_fit();
        fwrite_pos = 0;
        fread_pos = 0;
        fmax_packet = MYSQL_NET_BUFFER_START;
        return true;
    }
    if (fbuf_length <= MYSQL_NET_BUFFER_START) return true;
    // Bytes of a compressed frame not handed out yet move to the front and are kept.
    std::size_t keep = 0;
    if (fremain_in_buf > 0) {
        const std::size_t start = static_cast<std::size_t>(fbuf_length - fremain_in_buf);
        keep = static_cast<std::size_t>(fremain_in_buf);
        if (start != 0) std::memmove(fbuff.data(), fbuff.data() + start, keep);
        fbuf_length = fremain_in_buf;
    }
    std::size_t size = MYSQL_NET_BUFFER_START;
    if (keep + 8 > size)
        size =
            (keep + 8 + MYSQL_NET_BUFFER_STEP - 1) / MYSQL_NET_BUFFER_STEP * MYSQL_NET_BUFFER_STEP;
    if (size >= fbuff.size()) return true;
    fbuff.resize(size);
    fbuff.shrink_to_fit();
    fwrite_pos = 0;
    fread_pos = 0;
    fmax_packet = static_cast<std::int32_t>(size);
    return true;
}

bool TMysqlNet::net_realloc(std::uint32_t len1) {
    // Room for the longest payload allowed, its header while it is read and the zero after it.
    if (std::uint64_t(len1) > std::uint64_t(fmax_allowed_packet) + 8) {
        set_last_errno(ER_NET_PACKET_TOO_LARGE);
        return false;
    }
    const std::size_t size = (std::size_t(len1) + MYSQL_NET_BUFFER_STEP - 1) /
                             MYSQL_NET_BUFFER_STEP * MYSQL_NET_BUFFER_STEP;
    try {
        fbuff.resize(size);
    } catch (const std::bad_alloc&) {
        set_last_errno(ER_NET_PACKET_TOO_LARGE);
        return false;
    }
    fwrite_pos = 0;
    fread_pos = 0;
    fmax_packet = static_cast<std::int32_t>(size);
    return true;
}

void TMysqlNet::net_clear() {
    const bool wasBlocking = (fvio->fcntl_mode() & 1) == 0;
    if (wasBlocking) fvio->vio_blocking(false);
    if ((fvio->fcntl_mode() & 1) != 0 && !fbuff.empty()) {
        // Whatever the server sent that nobody read is stale now.
        while (fvio->vio_read(fbuff.data(), fmax_packet) > 0) {
        }
        if (wasBlocking) fvio->vio_blocking(true);
    }
    fpkt_nr = 0;
    fwrite_pos = 0;
    freceived = 0;
    fsent = 0;
    fread_timed_out = false;
}

std::int32_t TMysqlNet::net_flush() {
    if (fwrite_pos == 0) return 0;
    const std::int32_t result = net_real_write(fbuff.data(), static_cast<std::int32_t>(fwrite_pos));
    fwrite_pos = 0;
    return result;
}

std::int32_t TMysqlNet::net_write_buff(const void* packet, std::int32_t len1) {
    if (fbuff.empty() || len1 < 0) return 1;
    const std::uint8_t* data = static_cast<const std::uint8_t*>(packet);
    std::size_t room = static_cast<std::size_t>(fmax_packet) - fwrite_pos;
    std::size_t left = static_cast<std::size_t>(len1);
    while (left > room) {
        std::memcpy(fbuff.data() + fwrite_pos, data, room);
        if (net_real_write(fbuff.data(), fmax_packet) != 0) return 1;
        fwrite_pos = 0;
        data += room;
        left -= room;
        room = static_cast<std::size_t>(fmax_packet);
    }
    if (left > 0) std::memcpy(fbuff.data() + fwrite_pos, data, left);
    fwrite_pos += left;
    return 0;
}

std::int32_t TMysqlNet::write_packets(const std::uint8_t* command, const std::uint8_t* data,
                                      std::uint64_t length) {
    std::uint64_t left = length + (command ? 1 : 0);
    for (;;) {
        // A payload that fills whole packets is ended by an empty one, or the peer would wait
        // for more.
        const auto chunk =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(left, fmax_packet_payload));
        std::uint8_t header[5];
        put24(header, chunk);
        header[3] = fcompress ? 0 : fpkt_nr++;
        std::uint32_t dataBytes = chunk;
        std::int32_t headerSize = 4;
        if (command && chunk > 0) {
            header[4] = *command;
            command = nullptr;
            headerSize = 5;
            --dataBytes;
        }
        if (net_write_buff(header, headerSize) != 0) return 1;
        if (dataBytes > 0 && net_write_buff(data, static_cast<std::int32_t>(dataBytes)) != 0)
            return 1;
        data += dataBytes;
        left -= chunk;
        if (chunk < fmax_packet_payload) return 0;
    }
}

std::int32_t TMysqlNet::my_net_write(const void* packet, std::uint32_t len1) {
    return write_packets(nullptr, static_cast<const std::uint8_t*>(packet), len1);
}

std::int32_t TMysqlNet::net_write_command(std::uint8_t command, const void* packet,
                                          std::uint32_t len1) {
    if (write_packets(&command, static_cast<const std::uint8_t*>(packet), len1) != 0) return 1;
    return net_flush() != 0 ? 1 : 0;
}

std::int32_t TMysqlNet::net_real_write(const void* packet1, std::int32_t len1) {
    if (!net_connected()) return -1;
    freading_or_writing = 2;
    const std::uint8_t* data = static_cast<const std::uint8_t*>(packet1);
    std::vector<std::uint8_t> frame;
    if (fcompress) {
        frame.resize(static_cast<std::size_t>(len1) + 7);
        if (len1 > 0) std::memcpy(frame.data() + 7, packet1, static_cast<std::size_t>(len1));
        std::int32_t complen = 0;
        compress_payload(frame, 7, len1, complen);
        put24(frame.data(), static_cast<std::uint32_t>(len1));
        frame[3] = fpkt_nr++;
        put24(frame.data() + 4, static_cast<std::uint32_t>(complen));
        len1 += 7;
        data = frame.data();
    }
    std::int32_t sent = 0;
    while (sent < len1) {
        const int count = fvio->vio_write(data + sent, len1 - sent);
        if (count <= 0) {
            if (fvio->vio_intrerupted() && net_connected()) continue;
            break;
        }
        sent += count;
        fsent += static_cast<std::uint64_t>(count);
    }
    freading_or_writing = 0;
    return sent == len1 ? 0 : 2;
}

bool TMysqlNet::read_exactly(std::size_t offset, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const int got =
            fvio->vio_read(fbuff.data() + offset + done, static_cast<std::int32_t>(count - done));
        if (got == 0) return false;
        if (got < 0) {
            if (fvio->vio_intrerupted() && net_connected()) continue;
            fread_timed_out = fvio->vio_timed_out();
            return false;
        }
        done += static_cast<std::size_t>(got);
        freceived += static_cast<std::uint64_t>(got);
    }
    return true;
}

std::int32_t TMysqlNet::my_real_read(std::int32_t& complen) {
    complen = 0;
    if (!net_connected() || fbuff.empty()) return -1;
    freading_or_writing = 1;
    const std::size_t headerSize = fcompress ? 7 : 4;
    auto fail = [this] {
        freading_or_writing = 0;
        return -1;
    };
    if (static_cast<std::size_t>(fwhere_b) + headerSize >= static_cast<std::size_t>(fmax_packet) &&
        !net_realloc(static_cast<std::uint32_t>(fwhere_b + headerSize + 1)))
        return fail();
    if (!read_exactly(static_cast<std::size_t>(fwhere_b), headerSize)) return fail();
    const std::uint8_t* header = fbuff.data() + fwhere_b;
    if (header[3] != fpkt_nr) return fail();
    ++fpkt_nr;
    const std::uint32_t length = get24(header);
    if (fcompress) complen = static_cast<std::int32_t>(get24(header + 4));
    const std::uint64_t needed =
        std::uint64_t(std::max<std::uint32_t>(length, static_cast<std::uint32_t>(complen))) +
        static_cast<std::uint64_t>(fwhere_b);
    // Checked whatever room the buffer has: an earlier packet may have grown it past the limit.
    if (needed > std::uint64_t(fmax_allowed_packet)) {
        set_last_errno(ER_NET_PACKET_TOO_LARGE);
        return fail();
    }
    if (needed >= static_cast<std::uint64_t>(fmax_packet) &&
        !net_realloc(static_cast<std::uint32_t>(needed + 1)))
        return fail();
    if (!read_exactly(static_cast<std::size_t>(fwhere_b), length)) return fail();
    freading_or_writing = 0;
    return static_cast<std::int32_t>(length);
}

std::int32_t TMysqlNet::my_net_read() {
    std::int32_t complen = 0;
    if (!fcompress) {
        // Each further packet of a long payload is read in right behind what is there (its
        // header lands where the payload goes on, and is overwritten by it).
        std::int32_t total = 0;
        for (;;) {
            fwhere_b = total;
            const std::int32_t length = my_real_read(complen);
            fwhere_b = 0;
            if (length == -1) {
                fread_pos = 0;
                return -1;
            }
            total += length;
            if (static_cast<std::uint32_t>(length) != fmax_packet_payload) break;
        }
        fread_pos = 0;
        fbuff[static_cast<std::size_t>(total)] = 0;
        return total;
    }
    if (fremain_in_buf != 0)
        fbuff[static_cast<std::size_t>(fbuf_length - fremain_in_buf)] = fsave_char;
    std::int32_t length = 0;
    for (;;) {
        if (fremain_in_buf != 0) {
            const std::size_t start = static_cast<std::size_t>(fbuf_length - fremain_in_buf);
            if (fremain_in_buf >= 4) {
                const std::uint32_t inner = get24(fbuff.data() + start);
                if (std::uint64_t(inner) + 4 <= static_cast<std::uint64_t>(fremain_in_buf)) {
                    fremain_in_buf -= static_cast<std::int32_t>(inner) + 4;
                    fread_pos = start + 4;
                    length = static_cast<std::int32_t>(inner);
                    break;
                }
            }
            if (start != 0)
                std::memmove(fbuff.data(), fbuff.data() + start,
                             static_cast<std::size_t>(fremain_in_buf));
            fbuf_length = fremain_in_buf;
            fwhere_b = fbuf_length;
        } else {
            fwhere_b = 0;
            fbuf_length = 0;
        }
        const std::int32_t read = my_real_read(complen);
        if (read == -1) return -1;
        std::int32_t unpacked = read;
        if (complen != 0) {
            uLongf outputLength = static_cast<uLongf>(complen);
            std::vector<std::uint8_t> output(static_cast<std::size_t>(complen));
            if (::uncompress(output.data(), &outputLength, fbuff.data() + fwhere_b,
                             static_cast<uLong>(read)) != Z_OK)
                return -1;
            std::memcpy(fbuff.data() + fwhere_b, output.data(), outputLength);
            unpacked = static_cast<std::int32_t>(outputLength);
        }
        fbuf_length += unpacked;
        fremain_in_buf += unpacked;
    }
    const std::size_t after = fread_pos + static_cast<std::size_t>(length);
    fsave_char = fbuff[after];
    fbuff[after] = 0;
    return length;
}

std::int32_t TMysqlNet::net_safe_read() {
    const std::int32_t length = fbuff.empty() && !net_connected() ? -1 : my_net_read();
    if (length <= 0) {
        fvio->vio_close();
        const std::uint32_t number =
            last_errno() == ER_NET_PACKET_TOO_LARGE ? CR_NET_PACKET_TOO_LARGE : CR_SERVER_LOST;
        fvio->record_error(number);
        return -1;
    }
    PacketReader reader(read_pos(), static_cast<std::size_t>(length));
    if (!reader.startsWith(0xFF)) return length;
    if (length <= 3) {
        fvio->record_error(CR_UNKNOWN_ERROR);
        return -1;
    }
    reader.skip(1);
    std::uint32_t number = CR_UNKNOWN_ERROR;
    if (fprotocol_version >= 10) {
        std::uint64_t code = 0;
        reader.readUint(2, code);
        number = static_cast<std::uint32_t>(code);
    }
    std::string_view message = reader.readZeroTerminated();
    // 4.1 servers put '#' and a five-character SQL state before the message.
    if (fprotocol_version >= 10 && message.size() >= 6 && message[0] == '#')
        message.remove_prefix(6);
    // The connection speaks UTF-8, so the message is UTF-8; bytes that are not are taken in
    // the ANSI code page. Cut by characters, never inside one.
    const std::u16string text =
        text::isValidUtf8(message)
            ? text::fromUtf8(message)
            : platform::get<platform::System>().fromAnsi(std::string(message));
    fvio->set_last_errno(number);
    fvio->set_last_error(cut_characters(text, kServerMessageLimit));
    return -1;
}

bool TMysqlNet::net_vio_poll_read(std::uint32_t timeout) {
    return fvio->vio_poll_read(timeout);
}
