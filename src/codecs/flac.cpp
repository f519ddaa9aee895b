#include "codecs/flac.h"

#include <algorithm>

const char* stream_info_fault(const std::uint8_t* block, std::size_t size)
{
    return size < STREAMINFO_BLOCK_SIZE || (block[0] & 0x7F) != 0 ? "no FLAC STREAMINFO block" : nullptr;
}

bool flac_stream_info(const std::uint8_t* block, std::size_t size, flac_format& format)
{
    if (size < 4 + 13 || (block[0] & 0x7F) != 0)
        return false;
    const std::uint8_t* info = block + 4 + 10;
    format.sample_rate = std::uint32_t{info[0]} << 12 | std::uint32_t{info[1]} << 4 | info[2] >> 4;
    format.channels = ((info[2] >> 1) & 7) + 1;
    format.sample_size = ((info[2] & 1) << 4 | info[3] >> 4) + 1;
    return format.sample_rate > 0;
}

std::vector<std::uint8_t> flac_file_header(const std::vector<std::uint8_t>& stream_info_block)
{
    std::vector<std::uint8_t> header(4 + STREAMINFO_BLOCK_SIZE);
    const char marker[] = "fLaC";
    std::copy(marker, marker + 4, header.begin());
    std::copy(stream_info_block.begin(), stream_info_block.begin() + STREAMINFO_BLOCK_SIZE, header.begin() + 4);
    header[4] = 0x80; // the last metadata block, STREAMINFO
    return header;
}
