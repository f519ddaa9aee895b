#include "codecs/avc.h"

#include "codecs/annexb.h"
#include "codecs/bit_reader.h"
#include "io/big_endian.h"

#include <algorithm>

namespace {

constexpr unsigned NAL_SPS = 7, NAL_PPS = 8;

struct parameter_sets {
    std::vector<nal_unit> sps, pps;
};

// The SPS and PPS of an avcC record, as far as it holds them whole.
parameter_sets record_units(const std::vector<std::uint8_t>& record)
{
    parameter_sets sets;
    if (record.size() < 6)
        return sets;
    std::size_t pos = 5;
    for (int list = 0; list < 2; ++list) {
        std::vector<nal_unit>& units = list == 0 ? sets.sps : sets.pps;
        if (pos >= record.size())
            break;
        const unsigned count = list == 0 ? record[pos] & 0x1F : record[pos];
        ++pos;
        for (unsigned i = 0; i < count && pos + 2 <= record.size(); ++i) {
            const std::size_t length = std::size_t{record[pos]} << 8 | record[pos + 1];
            if (pos + 2 + length > record.size())
                return sets;
            units.push_back({record.data() + pos + 2, length});
            pos += 2 + length;
        }
    }
    return sets;
}

void skip_scaling_list(bit_reader& in, int size)
{
    int last = 8, next = 8;
    for (int j = 0; j < size && !in.short_read; ++j) {
        if (next != 0)
            next = (last + read_se(in) + 256) % 256;
        last = next == 0 ? last : next;
    }
}

bool has_chroma_format(unsigned profile)
{
    for (unsigned p : {100u, 110u, 122u, 244u, 44u, 83u, 86u, 118u, 128u, 138u, 139u, 134u, 135u})
        if (profile == p)
            return true;
    return false;
}

bool sps_picture_size(const std::uint8_t* nal, std::size_t size, unsigned& width, unsigned& height)
{
    const std::vector<std::uint8_t> rbsp = nal_payload(nal, size, 1);
    bit_reader in{rbsp.data(), rbsp.size()};
    const unsigned profile = read_bits(in, 8);
    read_bits(in, 16); // constraint flags, level
    read_ue(in);       // seq_parameter_set_id
    unsigned chroma_format = 1;
    bool separate_planes = false;
    if (has_chroma_format(profile)) {
        chroma_format = read_ue(in);
        if (chroma_format == 3)
            separate_planes = read_bits(in, 1) != 0;
        read_ue(in); // bit depths
        read_ue(in);
        read_bits(in, 1);
        if (read_bits(in, 1) != 0) // scaling matrices
            for (int i = 0; i < (chroma_format == 3 ? 12 : 8); ++i)
                if (read_bits(in, 1) != 0)
                    skip_scaling_list(in, i < 6 ? 16 : 64);
    }
    read_ue(in); // log2_max_frame_num_minus4
    const unsigned poc_type = read_ue(in);
    if (poc_type == 0) {
        read_ue(in);
    } else if (poc_type == 1) {
        read_bits(in, 1);
        read_se(in);
        read_se(in);
        for (unsigned n = read_ue(in); n > 0 && !in.short_read; --n)
            read_se(in);
    }
    read_ue(in);      // max_num_ref_frames
    read_bits(in, 1); // gaps_in_frame_num_allowed
    const unsigned width_mbs = read_ue(in) + 1;
    const unsigned height_units = read_ue(in) + 1;
    const unsigned frame_mbs_only = read_bits(in, 1);
    if (frame_mbs_only == 0)
        read_bits(in, 1);
    read_bits(in, 1); // direct_8x8_inference
    unsigned crop[4] = {0, 0, 0, 0};
    if (read_bits(in, 1) != 0)
        for (unsigned& c : crop)
            c = read_ue(in);
    if (in.short_read)
        return false;
    const unsigned chroma = separate_planes ? 0 : chroma_format;
    const unsigned crop_x = chroma == 0 ? 1 : (chroma == 3 ? 1 : 2);
    const unsigned crop_y = (chroma == 1 ? 2 : 1) * (2 - frame_mbs_only);
    width = width_mbs * 16 - crop_x * (crop[0] + crop[1]);
    height = (2 - frame_mbs_only) * height_units * 16 - crop_y * (crop[2] + crop[3]);
    return width > 0 && height > 0;
}

}  // namespace

std::vector<std::uint8_t> avc_config_record(const std::uint8_t* annexb, std::size_t size,
                                            const std::vector<std::uint8_t>& also)
{
    parameter_sets sets = record_units(also);
    const std::size_t own_sps = sets.sps.size();
    bool has_own_pps = false;
    for (const nal_unit& unit : annexb_units(annexb, size)) {
        if (unit.size == 0 || unit.size > 0xFFFF)
            continue;
        if ((unit.data[0] & 0x1F) == NAL_SPS) {
            sets.sps.push_back(unit);
        } else if ((unit.data[0] & 0x1F) == NAL_PPS) {
            sets.pps.push_back(unit);
            has_own_pps = true;
        }
    }
    if (sets.sps.size() == own_sps || !has_own_pps || sets.sps[0].size < 4 || sets.sps.size() > 31 ||
        sets.pps.size() > 255)
        return {};
    // Version 1, profile, compatibility and level from the first SPS, 4-byte lengths.
    const nal_unit& first = sets.sps[0];
    std::vector<std::uint8_t> record = {1, first.data[1], first.data[2], first.data[3], 0xFF,
                                        static_cast<std::uint8_t>(0xE0 | sets.sps.size())};
    append_record_units(record, sets.sps);
    record.push_back(static_cast<std::uint8_t>(sets.pps.size()));
    append_record_units(record, sets.pps);
    return record;
}

int unused_parameter_set_id(const std::vector<std::uint8_t>& record)
{
    const parameter_sets sets = record_units(record);
    bool used[32] = {};
    for (const std::vector<nal_unit>* units : {&sets.sps, &sets.pps}) {
        for (const nal_unit& unit : *units) {
            const std::vector<std::uint8_t> rbsp = nal_payload(unit.data, unit.size, 1);
            bit_reader in{rbsp.data(), rbsp.size()};
            if (units == &sets.sps)
                read_bits(in, 24); // profile, constraint flags, level
            const unsigned id = read_ue(in);
            if (!in.short_read && id < 32)
                used[id] = true;
        }
    }
    const bool* free_id = std::find(std::begin(used), std::end(used), false);
    return free_id == std::end(used) ? 0 : static_cast<int>(free_id - std::begin(used));
}

bool avc_profile_of(const std::vector<std::uint8_t>& record, int& profile, int& level)
{
    const parameter_sets sets = record_units(record);
    if (sets.sps.empty() || sets.sps[0].size < 4)
        return false;
    profile = sets.sps[0].data[1];
    level = sets.sps[0].data[3];
    return true;
}

bool avc_config_picture_size(const std::uint8_t* record, std::size_t size, unsigned& width, unsigned& height)
{
    if (size < 8 || (record[5] & 0x1F) == 0)
        return false;
    const std::size_t sps_size = get_be(record + 6, 2);
    return sps_size > 0 && 8 + sps_size <= size && sps_picture_size(record + 8, sps_size, width, height);
}

namespace {

constexpr unsigned NAL_SLICE = 1, NAL_IDR = 5, NAL_SEI = 6, SEI_RECOVERY_POINT = 6;
// Enough of a slice for first_mb_in_slice and slice_type.
constexpr std::size_t SLICE_HEAD = 16;

// An SEI message's type or size: 255s and the byte that ends them.
bool read_sei_number(const std::vector<std::uint8_t>& rbsp, std::size_t& at, std::size_t& value)
{
    value = 0;
    while (at < rbsp.size() && rbsp[at] == 0xFF) {
        value += 255;
        ++at;
    }
    if (at >= rbsp.size())
        return false;
    value += rbsp[at++];
    return true;
}

// recovery_frame_cnt of a recovery point message in an SEI unit.
bool recovery_frame_count(const nal_unit& sei, unsigned& count)
{
    const std::vector<std::uint8_t> rbsp = nal_payload(sei.data, sei.size, 1);
    std::size_t at = 0, type = 0, size = 0;
    while (read_sei_number(rbsp, at, type) && read_sei_number(rbsp, at, size) && size <= rbsp.size() - at) {
        if (type == SEI_RECOVERY_POINT) {
            bit_reader in{rbsp.data() + at, size};
            count = read_ue(in);
            return !in.short_read;
        }
        at += size;
    }
    return false;
}

bool is_intra_slice(const nal_unit& slice)
{
    const std::vector<std::uint8_t> head = nal_payload(slice.data, std::min(slice.size, SLICE_HEAD), 1);
    bit_reader in{head.data(), head.size()};
    read_ue(in); // first_mb_in_slice
    const unsigned slice_type = read_ue(in) % 5;
    return !in.short_read && (slice_type == 2 || slice_type == 4); // I, SI
}

}  // namespace

unsigned avc_length_size(const std::uint8_t* record, std::size_t size)
{
    return size > 4 ? (record[4] & 3u) + 1 : 4;
}

random_access avc_random_access(const std::uint8_t* frame, std::size_t size, unsigned length_size)
{
    random_access access;
    bool recovery_point = false;
    unsigned count = 0;
    for (const nal_unit& unit : length_prefixed_units(frame, size, length_size)) {
        const unsigned type = unit.size > 0 ? unit.data[0] & 0x1F : 0;
        if (type == NAL_SEI && !recovery_point)
            recovery_point = recovery_frame_count(unit, count);
        if (type != NAL_IDR && type != NAL_SLICE)
            continue;
        // The first slice tells for the picture.
        if (type == NAL_IDR)
            access.kind = access_kind::clean;
        else if (recovery_point && count > 0)
            access = {access_kind::recovery, count};
        else if (is_intra_slice(unit))
            access.kind = access_kind::open;
        else
            access = {recovery_point ? access_kind::recovery : access_kind::none, count};
        break;
    }
    return access;
}
