#include "flv/hevc.h"

#include "flv/bit_reader.h"

#include <vector>

namespace {

constexpr unsigned NAL_SPS = 33;
// The record's fixed fields before numOfArrays.
constexpr std::size_t HVCC_HEAD = 22;

// Bits read in pieces of at most 32.
void skip_bits(bit_reader& in, unsigned count)
{
    for (; count > 32; count -= 32)
        read_bits(in, 32);
    read_bits(in, count);
}

// profile_tier_level with its profile: the general part, then what each sub
// layer says it holds.
void skip_profile_tier_level(bit_reader& in, unsigned max_sub_layers_minus1)
{
    constexpr unsigned PROFILE_BITS = 88, LEVEL_BITS = 8;
    skip_bits(in, PROFILE_BITS + LEVEL_BITS);
    bool profile_present[8] = {}, level_present[8] = {};
    for (unsigned i = 0; i < max_sub_layers_minus1; ++i) {
        profile_present[i] = read_bits(in, 1) != 0;
        level_present[i] = read_bits(in, 1) != 0;
    }
    if (max_sub_layers_minus1 > 0)
        skip_bits(in, 2 * (8 - max_sub_layers_minus1));
    for (unsigned i = 0; i < max_sub_layers_minus1; ++i)
        skip_bits(in, (profile_present[i] ? PROFILE_BITS : 0) + (level_present[i] ? LEVEL_BITS : 0));
}

bool sps_picture_size(const std::uint8_t* nal, std::size_t size, unsigned& width, unsigned& height)
{
    const std::vector<std::uint8_t> rbsp = nal_payload(nal, size, 2);
    bit_reader in{rbsp.data(), rbsp.size()};
    read_bits(in, 4); // sps_video_parameter_set_id
    const unsigned max_sub_layers_minus1 = read_bits(in, 3);
    read_bits(in, 1); // sps_temporal_id_nesting_flag
    if (max_sub_layers_minus1 > 6)
        return false;
    skip_profile_tier_level(in, max_sub_layers_minus1);
    read_ue(in); // sps_seq_parameter_set_id
    const unsigned chroma_format = read_ue(in);
    const bool separate_planes = chroma_format == 3 && read_bits(in, 1) != 0;
    unsigned w = read_ue(in), h = read_ue(in);
    if (read_bits(in, 1) != 0) { // conformance_window_flag
        // Offsets count in chroma samples: two luma samples across 4:2:0
        // and 4:2:2, two down 4:2:0.
        const unsigned sub_width = !separate_planes && (chroma_format == 1 || chroma_format == 2) ? 2 : 1;
        const unsigned sub_height = !separate_planes && chroma_format == 1 ? 2 : 1;
        const unsigned left = read_ue(in), right = read_ue(in), top = read_ue(in), bottom = read_ue(in);
        const unsigned long long cut_w = (0ULL + left + right) * sub_width, cut_h = (0ULL + top + bottom) * sub_height;
        if (cut_w >= w || cut_h >= h)
            return false;
        w -= static_cast<unsigned>(cut_w);
        h -= static_cast<unsigned>(cut_h);
    }
    if (in.short_read || w == 0 || h == 0)
        return false;
    width = w;
    height = h;
    return true;
}

}  // namespace

bool hevc_config_picture_size(const std::uint8_t* record, std::size_t size, unsigned& width, unsigned& height)
{
    if (size <= HVCC_HEAD)
        return false;
    std::size_t at = HVCC_HEAD + 1;
    for (unsigned array = 0, arrays = record[HVCC_HEAD]; array < arrays; ++array) {
        if (at + 3 > size)
            return false;
        const unsigned type = record[at] & 0x3F, count = static_cast<unsigned>(record[at + 1] << 8 | record[at + 2]);
        at += 3;
        for (unsigned n = 0; n < count; ++n) {
            if (at + 2 > size)
                return false;
            const std::size_t length = static_cast<std::size_t>(record[at] << 8 | record[at + 1]);
            at += 2;
            if (length > size - at)
                return false;
            if (type == NAL_SPS && length > 2)
                return sps_picture_size(record + at, length, width, height);
            at += length;
        }
    }
    return false;
}
