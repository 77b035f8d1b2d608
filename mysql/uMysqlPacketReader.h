// PacketReader: the one bounds-checked cursor through which every server packet is read.
// Each read checks what remains first, then reads and advances; a failed read moves nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

class PacketReader {
  public:
    PacketReader(const std::uint8_t* data, std::size_t size) : fdata(data), fsize(size) {}

    std::size_t position() const { return fposition; }
    std::size_t remaining() const { return fsize - fposition; }
    bool atEnd() const { return fposition >= fsize; }
    const std::uint8_t* current() const { return fdata + fposition; }
    // What remains, as bytes; moves nothing.
    std::string_view rest() const {
        return {reinterpret_cast<const char*>(fdata + fposition), remaining()};
    }

    bool skip(std::size_t count) {
        if (count > remaining()) return false;
        fposition += count;
        return true;
    }
    bool peekByte(std::uint8_t& value) const {
        if (atEnd()) return false;
        value = fdata[fposition];
        return true;
    }
    // Little-endian unsigned integer of `width` bytes (1..8).
    bool readUint(std::size_t width, std::uint64_t& value) {
        if (width > remaining()) return false;
        value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value |= std::uint64_t(fdata[fposition + i]) << (8 * i);
        fposition += width;
        return true;
    }
    // The little-endian value of `width` bytes at `offset` from the start, bytes past the end
    // reading as zero (the zero byte that follows every payload, and beyond). Moves nothing.
    std::uint64_t uintAt(std::size_t offset, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i)
            if (offset + i < fsize) value |= std::uint64_t(fdata[offset + i]) << (8 * i);
        return value;
    }
    // True when the packet's first byte is `marker`.
    bool startsWith(std::uint8_t marker) const { return fsize > 0 && fdata[0] == marker; }
    std::size_t size() const { return fsize; }
    bool readByte(std::uint8_t& value) {
        if (atEnd()) return false;
        value = fdata[fposition++];
        return true;
    }
    bool readBytes(std::size_t count, const std::uint8_t*& bytes) {
        if (count > remaining()) return false;
        bytes = fdata + fposition;
        fposition += count;
        return true;
    }
    // Bytes up to the next zero byte (the zero is consumed) or, when there is none, to the end.
    std::string_view readZeroTerminated() {
        std::size_t end = fposition;
        while (end < fsize && fdata[end] != 0) ++end;
        std::string_view text(reinterpret_cast<const char*>(fdata + fposition), end - fposition);
        fposition = end < fsize ? end + 1 : end;
        return text;
    }

    enum class Coded { Value, Null, Incomplete };
    // A length-coded number: < 251 itself, 251 NULL, 252 + 2 bytes, 253 + 3, 254/255 + 8.
    Coded readLengthCoded(std::uint64_t& value) {
        std::uint8_t first = 0;
        if (!peekByte(first)) return Coded::Incomplete;
        std::size_t width = 0;
        if (first < 251) {
            value = first;
            ++fposition;
            return Coded::Value;
        }
        if (first == 251) {
            ++fposition;
            value = 0;
            return Coded::Null;
        }
        width = first == 252 ? 2 : first == 253 ? 3 : 8;
        if (width + 1 > remaining()) return Coded::Incomplete;
        ++fposition;
        readUint(width, value);
        return Coded::Value;
    }
    // A length-coded string; Incomplete when the stated length runs past the end.
    Coded readLengthCodedString(std::string_view& text) {
        const std::size_t start = fposition;
        std::uint64_t length = 0;
        const Coded coded = readLengthCoded(length);
        if (coded != Coded::Value) {
            text = {};
            return coded;
        }
        if (length > remaining()) {
            fposition = start;
            return Coded::Incomplete;
        }
        text = std::string_view(reinterpret_cast<const char*>(fdata + fposition),
                                static_cast<std::size_t>(length));
        fposition += static_cast<std::size_t>(length);
        return Coded::Value;
    }

  private:
    const std::uint8_t* fdata;
    std::size_t fsize;
    std::size_t fposition = 0;
};
