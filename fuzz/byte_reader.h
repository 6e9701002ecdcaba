// byte_reader.h - reads a fuzz input front to back as a sequence of small
// fields. Past the end every field reads as zero or empty, so any input is a
// complete program of actions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class ByteReader {
public:
    ByteReader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const noexcept { return m_pos >= m_size; }

    uint8_t u8() noexcept { return empty() ? 0 : m_data[m_pos++]; }

    uint16_t u16() noexcept {
        const uint16_t lo = u8();
        return static_cast<uint16_t>(lo | u8() << 8);
    }

    uint32_t u32() noexcept {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(u8()) << (8 * i);
        return v;
    }

    int32_t i32() noexcept {
        const uint32_t u = u32();
        int32_t v;
        std::memcpy(&v, &u, sizeof v);
        return v;
    }

    // A number that is usually small: one byte gives -8..119; a byte with
    // the top bit set is followed by a full 32-bit number.
    int32_t number() noexcept {
        const uint8_t head = u8();
        if (head & 0x80)
            return i32();
        return static_cast<int32_t>(head) - 8;
    }

    // Up to `n` raw bytes, fewer at the end of the input.
    std::string bytes(size_t n) {
        const size_t take = n < m_size - m_pos ? n : m_size - m_pos;
        std::string s(reinterpret_cast<const char *>(m_data + m_pos), take);
        m_pos += take;
        return s;
    }

    // A text of any bytes: its length byte, then that many bytes.
    std::string text() { return bytes(u8()); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};
