// Big-endian fields, as FLV, AMF and the codecs' records all store them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A big-endian field of the given bytes appended to out.
inline void append_be(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// Fields of 0 to 4 bytes; a length of 0 or less yields 0.
inline std::uint32_t get_be(const std::uint8_t* bytes, std::int8_t length)
{
    std::uint32_t value = 0;
    for (std::int8_t i = 0; i < length; ++i)
        value = (value << 8) | bytes[i];
    return value;
}
inline void put_be(std::uint8_t* bytes, std::int8_t length, std::uint32_t value)
{
    for (std::int8_t i = length - 1; i >= 0; --i) {
        bytes[i] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

// The 24-bit fields of tag headers; inline, as every tag passes them twice.
inline std::uint32_t get_be24(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 16 | std::uint32_t{bytes[1]} << 8 | bytes[2];
}
inline void put_be24(std::uint8_t* bytes, std::uint32_t value)
{
    bytes[0] = static_cast<std::uint8_t>(value >> 16);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
    bytes[2] = static_cast<std::uint8_t>(value);
}
