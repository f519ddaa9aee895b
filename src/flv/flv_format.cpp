#include "flv/flv_format.h"

std::uint32_t get_be(const std::uint8_t* bytes, std::int8_t length)
{
    std::uint32_t value = 0;
    for (std::int8_t i = 0; i < length; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

void put_be(std::uint8_t* bytes, std::int8_t length, std::uint32_t value)
{
    for (std::int8_t i = length - 1; i >= 0; --i) {
        bytes[i] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

std::uint32_t data_offset_of(const std::uint8_t* file_header)
{
    return get_be(file_header + FLV_DATA_OFFSET_POS, 4);
}
