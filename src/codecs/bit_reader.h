// Bit fields most significant bit first, as codec configurations and
// parameter sets hold them; reading past the end sets short_read and
// yields 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct bit_reader {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t pos = 0;
    bool short_read = false;
};

inline unsigned read_bits(bit_reader& in, unsigned count)
{
    unsigned value = 0;
    for (unsigned i = 0; i < count; ++i, ++in.pos) {
        if (in.pos >= in.size * 8) {
            in.short_read = true;
            return 0;
        }
        value = (value << 1) | ((in.bytes[in.pos / 8] >> (7 - in.pos % 8)) & 1u);
    }
    return value;
}

// Exp-Golomb codes of H.264 and HEVC parameter sets.
inline unsigned read_ue(bit_reader& in)
{
    unsigned zeros = 0;
    while (read_bits(in, 1) == 0 && !in.short_read && zeros < 32)
        ++zeros;
    if (zeros >= 32)
        in.short_read = true;
    return zeros == 0 || in.short_read ? 0 : (1u << zeros) - 1 + read_bits(in, zeros);
}

inline int read_se(bit_reader& in)
{
    const unsigned code = read_ue(in);
    return code % 2 == 1 ? static_cast<int>((code + 1) / 2) : -static_cast<int>(code / 2);
}

// The RBSP of a NAL unit (its header_size header bytes left out), without
// its emulation prevention bytes.
inline std::vector<std::uint8_t> nal_payload(const std::uint8_t* nal, std::size_t size, std::size_t header_size)
{
    std::vector<std::uint8_t> rbsp;
    int zeros = 0;
    for (std::size_t i = header_size; i < size; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(nal[i]);
    }
    return rbsp;
}
