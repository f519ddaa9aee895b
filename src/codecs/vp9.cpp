#include "codecs/vp9.h"

#include "codecs/bit_reader.h"

std::vector<std::uint8_t> vp9_config_record(unsigned profile)
{
    // Version 1, no flags; profile, level 0 (unknown); 8 bits, 4:2:0
    // colocated with luma, limited range; primaries, transfer and matrix 2
    // (unspecified); no codec initialisation data.
    return {1, 0, 0, 0, static_cast<std::uint8_t>(profile), 0, 8 << 4 | 1 << 1, 2, 2, 2, 0, 0};
}

bool vp9_picture_size(const std::uint8_t* frame, std::size_t size, unsigned& width, unsigned& height)
{
    bit_reader in{frame, size};
    if (read_bits(in, 2) != 2) // frame_marker
        return false;
    const unsigned profile = read_bits(in, 1) | read_bits(in, 1) << 1;
    if (profile == 3)
        read_bits(in, 1);
    if (read_bits(in, 1) != 0 || read_bits(in, 1) != 0) // show_existing_frame, frame_type (0: key)
        return false;
    read_bits(in, 2); // show_frame, error_resilient_mode
    if (read_bits(in, 24) != 0x498342)
        return false;
    if (profile >= 2)
        read_bits(in, 1); // ten_or_twelve_bit
    const unsigned color_space = read_bits(in, 3);
    if (color_space != 7) { // not RGB
        read_bits(in, 1); // color_range
        if (profile == 1 || profile == 3)
            read_bits(in, 3);
    } else if (profile == 1 || profile == 3) {
        read_bits(in, 1);
    }
    width = read_bits(in, 16) + 1;
    height = read_bits(in, 16) + 1;
    return !in.short_read;
}

random_access vp9_random_access(const std::uint8_t* frame, std::size_t size)
{
    bit_reader in{frame, size};
    if (read_bits(in, 2) != 2) // frame_marker
        return {};
    const unsigned profile = read_bits(in, 1) | read_bits(in, 1) << 1;
    if (profile == 3)
        read_bits(in, 1);
    const bool show_existing_frame = read_bits(in, 1) == 1;
    const bool key = read_bits(in, 1) == 0; // frame_type
    if (in.short_read)
        return {};
    return {!show_existing_frame && key ? access_kind::clean : access_kind::none, 0};
}
