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

tag_header decode_tag_header(const std::uint8_t* bytes)
{
    tag_header tag;
    tag.type = bytes[TAG_TYPE_POS];
    tag.data_size = get_be(bytes + TAG_DATA_SIZE_POS, 3);
    tag.timestamp = get_be(bytes + TAG_TIMESTAMP_POS, 3) | std::uint32_t{bytes[TAG_TIMESTAMP_EXT_POS]} << 24;
    tag.stream_id = get_be(bytes + TAG_STREAM_ID_POS, 3);
    return tag;
}

void encode_tag_header(const tag_header& tag, std::uint8_t* bytes)
{
    bytes[TAG_TYPE_POS] = tag.type;
    put_be(bytes + TAG_DATA_SIZE_POS, 3, tag.data_size);
    put_tag_timestamp(bytes, tag.timestamp);
    put_be(bytes + TAG_STREAM_ID_POS, 3, tag.stream_id);
}

void put_tag_timestamp(std::uint8_t* bytes, std::uint32_t timestamp)
{
    put_be(bytes + TAG_TIMESTAMP_POS, 3, timestamp & 0xFFFFFF);
    bytes[TAG_TIMESTAMP_EXT_POS] = static_cast<std::uint8_t>(timestamp >> 24);
}

std::uint32_t data_offset_of(const std::uint8_t* file_header)
{
    return get_be(file_header + FLV_DATA_OFFSET_POS, 4);
}
