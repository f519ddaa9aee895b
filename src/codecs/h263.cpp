#include "codecs/h263.h"

#include "codecs/bit_reader.h"

bool h263_picture_size(const std::uint8_t* data, std::size_t size, unsigned& width, unsigned& height)
{
    bit_reader in{data, size};
    if (read_bits(in, 17) != 1)
        return false;
    read_bits(in, 13);
    static const unsigned sizes[][2] = {{352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}};
    const unsigned code = read_bits(in, 3);
    if (code == 0 || code == 1) {
        width = read_bits(in, code == 0 ? 8 : 16);
        height = read_bits(in, code == 0 ? 8 : 16);
    } else if (code <= 6) {
        width = sizes[code - 2][0];
        height = sizes[code - 2][1];
    }
    return !in.short_read && width > 0 && height > 0;
}
