#include "flv/flv_format.h"

std::uint32_t data_offset_of(const std::uint8_t* file_header)
{
    return get_be(file_header + FLV_DATA_OFFSET_POS, 4);
}
