#include "codecs/hevc.h"

#include "codecs/annexb.h"
#include "codecs/bit_reader.h"
#include "io/big_endian.h"

#include <algorithm>

namespace {

constexpr unsigned NAL_VPS = 32, NAL_SPS = 33, NAL_PPS = 34;
// The record's fixed fields before numOfArrays.
constexpr std::size_t HVCC_HEAD = 22;

unsigned nal_type(const nal_unit& unit)
{
    return unit.size >= 2 ? (unit.data[0] >> 1) & 0x3F : 64;
}

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

// What an SPS (its RBSP) says up to its bit depths.
struct sps_facts {
    bool ok = false;
    unsigned max_sub_layers_minus1 = 0;
    bool temporal_id_nesting = false;
    std::size_t id_at = 0; // the bit where sps_seq_parameter_set_id begins
    unsigned id = 0;
    unsigned chroma_format = 0;
    unsigned width = 0, height = 0; // conformance window cropped off
    unsigned bit_depth_luma_minus8 = 0, bit_depth_chroma_minus8 = 0;
};

sps_facts read_sps(const std::vector<std::uint8_t>& rbsp)
{
    sps_facts sps;
    bit_reader in{rbsp.data(), rbsp.size()};
    read_bits(in, 4); // sps_video_parameter_set_id
    sps.max_sub_layers_minus1 = read_bits(in, 3);
    sps.temporal_id_nesting = read_bits(in, 1) != 0;
    if (sps.max_sub_layers_minus1 > 6)
        return sps;
    skip_profile_tier_level(in, sps.max_sub_layers_minus1);
    sps.id_at = in.pos;
    sps.id = read_ue(in);
    sps.chroma_format = read_ue(in);
    const bool separate_planes = sps.chroma_format == 3 && read_bits(in, 1) != 0;
    unsigned w = read_ue(in), h = read_ue(in);
    if (read_bits(in, 1) != 0) { // conformance_window_flag
        // Offsets count in chroma samples: two luma samples across 4:2:0
        // and 4:2:2, two down 4:2:0.
        const unsigned sub_width = !separate_planes && (sps.chroma_format == 1 || sps.chroma_format == 2) ? 2 : 1;
        const unsigned sub_height = !separate_planes && sps.chroma_format == 1 ? 2 : 1;
        const unsigned left = read_ue(in), right = read_ue(in), top = read_ue(in), bottom = read_ue(in);
        const unsigned long long cut_w = (0ULL + left + right) * sub_width, cut_h = (0ULL + top + bottom) * sub_height;
        if (cut_w >= w || cut_h >= h)
            return sps;
        w -= static_cast<unsigned>(cut_w);
        h -= static_cast<unsigned>(cut_h);
    }
    sps.bit_depth_luma_minus8 = read_ue(in);
    sps.bit_depth_chroma_minus8 = read_ue(in);
    sps.width = w;
    sps.height = h;
    sps.ok = !in.short_read && w > 0 && h > 0 && sps.chroma_format <= 3 && sps.bit_depth_luma_minus8 <= 7 &&
             sps.bit_depth_chroma_minus8 <= 7;
    return sps;
}

struct hvcc_array {
    std::uint8_t head; // array_completeness and NAL_unit_type
    std::vector<nal_unit> units;
};

// The arrays of an hvcC record, as far as it holds them whole.
std::vector<hvcc_array> record_arrays(const std::uint8_t* record, std::size_t size)
{
    std::vector<hvcc_array> arrays;
    if (size <= HVCC_HEAD)
        return arrays;
    std::size_t at = HVCC_HEAD + 1;
    for (unsigned array = 0, count = record[HVCC_HEAD]; array < count && at + 3 <= size; ++array) {
        arrays.push_back({record[at], {}});
        const unsigned units = static_cast<unsigned>(record[at + 1] << 8 | record[at + 2]);
        at += 3;
        for (unsigned n = 0; n < units; ++n) {
            if (at + 2 > size)
                return arrays;
            const std::size_t length = static_cast<std::size_t>(record[at] << 8 | record[at + 1]);
            at += 2;
            if (length > size - at)
                return arrays;
            arrays.back().units.push_back({record + at, length});
            at += length;
        }
    }
    return arrays;
}

// Parameter set ids as the units of a record give them: VPS, SPS, PPS.
unsigned parameter_set_id(const nal_unit& unit)
{
    const std::vector<std::uint8_t> rbsp = nal_payload(unit.data, unit.size, 2);
    if (nal_type(unit) == NAL_SPS)
        return read_sps(rbsp).id;
    bit_reader in{rbsp.data(), rbsp.size()};
    return nal_type(unit) == NAL_VPS ? read_bits(in, 4) : read_ue(in);
}

// A field of an RBSP replaced by another code.
struct bit_edit {
    std::size_t at;
    unsigned old_bits;
    unsigned code;
    unsigned bits;
};

// The Exp-Golomb code of a value: its length is twice its highest bit plus one.
bit_edit ue_edit(std::size_t at, unsigned value)
{
    unsigned length = 1;
    for (unsigned v = value + 1; v > 1; v >>= 1)
        length += 2;
    return {at, 1, value + 1, length};
}

struct bit_writer {
    std::vector<std::uint8_t> bytes;
    std::size_t bits = 0;
};

void put_bits(bit_writer& out, unsigned value, unsigned count)
{
    while (count-- > 0) {
        if (out.bits % 8 == 0)
            out.bytes.push_back(0);
        out.bytes.back() = static_cast<std::uint8_t>(out.bytes.back() | ((value >> count) & 1) << (7 - out.bits % 8));
        ++out.bits;
    }
}

// Bits from..to of in; whole bytes at a time once both sides stand at a
// byte's start, as they do behind codes one byte longer than the old ones.
void copy_bits(bit_writer& out, const std::vector<std::uint8_t>& in, std::size_t from, std::size_t to)
{
    for (; from < to && (from % 8 != 0 || out.bits % 8 != 0); ++from)
        put_bits(out, in[from / 8] >> (7 - from % 8) & 1, 1);
    for (; from + 8 <= to; from += 8, out.bits += 8)
        out.bytes.push_back(in[from / 8]);
    for (; from < to; ++from)
        put_bits(out, in[from / 8] >> (7 - from % 8) & 1, 1);
}

std::vector<std::uint8_t> edited(const std::vector<std::uint8_t>& rbsp, const std::vector<bit_edit>& edits)
{
    bit_writer out;
    out.bytes.reserve(rbsp.size() + edits.size());
    std::size_t from = 0;
    for (const bit_edit& edit : edits) {
        copy_bits(out, rbsp, from, edit.at);
        put_bits(out, edit.code, edit.bits);
        from = edit.at + edit.old_bits;
    }
    copy_bits(out, rbsp, from, rbsp.size() * 8);
    return out.bytes;
}

// The edits that give a unit's parameter set ids, all 0 in it, their new
// values; false where one is not 0.
bool renumbering(const nal_unit& unit, const std::vector<std::uint8_t>& rbsp, const hevc_ids& ids,
                 std::vector<bit_edit>& edits)
{
    const unsigned type = nal_type(unit);
    bit_reader in{rbsp.data(), rbsp.size()};
    if (type == NAL_VPS || type == NAL_SPS) {
        if (read_bits(in, 4) != 0)
            return false;
        edits.push_back({0, 4, ids.vps, 4});
        if (type == NAL_SPS) {
            const sps_facts sps = read_sps(rbsp);
            if (!sps.ok || sps.id != 0)
                return false;
            edits.push_back(ue_edit(sps.id_at, ids.sps));
        }
    } else if (type == NAL_PPS) {
        if (read_ue(in) != 0 || read_ue(in) != 0) // its own id, its SPS's
            return false;
        edits.push_back(ue_edit(0, ids.pps));
        edits.push_back(ue_edit(1, ids.sps));
    } else if (type < 32) {
        // A slice: first_slice_segment_in_pic_flag, no_output_of_prior_pics_flag
        // in a random access picture, then its PPS.
        constexpr unsigned FIRST_IRAP = 16, LAST_IRAP = 23;
        const std::size_t at = type >= FIRST_IRAP && type <= LAST_IRAP ? 2 : 1;
        read_bits(in, static_cast<unsigned>(at));
        if (read_ue(in) != 0)
            return false;
        edits.push_back(ue_edit(at, ids.pps));
    }
    return !in.short_read;
}

// A unit with its ids renumbered, after its 16-bit length or 32-bit one.
bool append_renumbered(std::vector<std::uint8_t>& out, const nal_unit& unit, const hevc_ids& ids, int length_bytes)
{
    const std::vector<std::uint8_t> rbsp = nal_payload(unit.data, unit.size, 2);
    std::vector<bit_edit> edits;
    if (unit.size < 2 || !renumbering(unit, rbsp, ids, edits))
        return false;
    std::vector<std::uint8_t> nal(unit.data, unit.data + 2);
    if (edits.empty())
        nal.assign(unit.data, unit.data + unit.size);
    else
        append_escaped(nal, edited(rbsp, edits));
    if (length_bytes == 2 && nal.size() > 0xFFFF)
        return false;
    append_be(out, nal.size(), length_bytes);
    out.insert(out.end(), nal.begin(), nal.end());
    return true;
}

}  // namespace

bool hevc_config_picture_size(const std::uint8_t* record, std::size_t size, unsigned& width, unsigned& height)
{
    for (const hvcc_array& array : record_arrays(record, size)) {
        if ((array.head & 0x3F) != NAL_SPS || array.units.empty() || array.units[0].size <= 2)
            continue;
        const sps_facts sps = read_sps(nal_payload(array.units[0].data, array.units[0].size, 2));
        if (!sps.ok)
            return false;
        width = sps.width;
        height = sps.height;
        return true;
    }
    return false;
}

bool hevc_unused_ids(const std::vector<std::uint8_t>& record, hevc_ids& ids)
{
    bool used[3][64] = {};
    for (const hvcc_array& array : record_arrays(record.data(), record.size()))
        for (const nal_unit& unit : array.units) {
            const unsigned type = nal_type(unit);
            const unsigned id = type >= NAL_VPS && type <= NAL_PPS ? parameter_set_id(unit) : 64;
            if (id < 64)
                used[type - NAL_VPS][id] = true;
        }
    const auto free_id = [&used](unsigned kind, unsigned first, unsigned last, unsigned& id) {
        for (id = first; id <= last; ++id)
            if (!used[kind][id])
                return true;
        return false;
    };
    return free_id(0, 0, 15, ids.vps) && free_id(1, 15, 15, ids.sps) && free_id(2, 15, 30, ids.pps);
}

std::vector<std::uint8_t> hevc_config_record(const std::uint8_t* annexb, std::size_t size, const hevc_ids& ids,
                                             const std::vector<std::uint8_t>& also)
{
    std::vector<std::uint8_t> own[3]; // renumbered VPS, SPS and PPS units behind 16-bit lengths
    unsigned own_count[3] = {};
    std::vector<std::uint8_t> sps_rbsp;
    sps_facts sps;
    for (const nal_unit& unit : annexb_units(annexb, size)) {
        const unsigned type = nal_type(unit);
        if (type < NAL_VPS || type > NAL_PPS)
            continue; // such as the encoder's SEI
        if (!append_renumbered(own[type - NAL_VPS], unit, ids, 2))
            return {};
        ++own_count[type - NAL_VPS];
        if (type == NAL_SPS && sps_rbsp.empty()) {
            sps_rbsp = nal_payload(unit.data, unit.size, 2);
            sps = read_sps(sps_rbsp);
        }
    }
    if (own_count[0] == 0 || own_count[1] == 0 || own_count[2] == 0 || !sps.ok)
        return {};
    // The record's head from the encoder's SPS: the general profile, tier and
    // level as its profile_tier_level holds them (its bytes 1 to 12), formats,
    // 4-byte lengths.
    std::vector<std::uint8_t> record = {1};
    record.insert(record.end(), sps_rbsp.begin() + 1, sps_rbsp.begin() + 13);
    record.insert(record.end(), {0xF0, 0x00, 0xFC, static_cast<std::uint8_t>(0xFC | sps.chroma_format),
                                 static_cast<std::uint8_t>(0xF8 | sps.bit_depth_luma_minus8),
                                 static_cast<std::uint8_t>(0xF8 | sps.bit_depth_chroma_minus8), 0, 0,
                                 static_cast<std::uint8_t>((sps.max_sub_layers_minus1 + 1) << 3 |
                                                           (sps.temporal_id_nesting ? 4 : 0) | 3)});
    const std::vector<hvcc_array> theirs = record_arrays(also.data(), also.size());
    std::vector<std::uint8_t> arrays;
    unsigned array_count = 0;
    for (unsigned type = NAL_VPS; type <= NAL_PPS; ++type) {
        std::vector<nal_unit> recordings;
        for (const hvcc_array& array : theirs)
            if ((array.head & 0x3F) == type)
                recordings.insert(recordings.end(), array.units.begin(), array.units.end());
        const std::size_t count = own_count[type - NAL_VPS] + recordings.size();
        if (count > 0xFFFF)
            return {};
        arrays.push_back(static_cast<std::uint8_t>(type));
        append_be(arrays, count, 2);
        arrays.insert(arrays.end(), own[type - NAL_VPS].begin(), own[type - NAL_VPS].end());
        append_record_units(arrays, recordings);
        ++array_count;
    }
    for (const hvcc_array& array : theirs) {
        if ((array.head & 0x3F) >= NAL_VPS && (array.head & 0x3F) <= NAL_PPS)
            continue;
        arrays.push_back(array.head);
        append_be(arrays, array.units.size(), 2);
        append_record_units(arrays, array.units);
        ++array_count;
    }
    if (array_count > 0xFF)
        return {};
    record.push_back(static_cast<std::uint8_t>(array_count));
    record.insert(record.end(), arrays.begin(), arrays.end());
    return record;
}

std::vector<std::uint8_t> hevc_frame(const std::uint8_t* annexb, std::size_t size, const hevc_ids& ids)
{
    std::vector<std::uint8_t> out;
    out.reserve(size + 16);
    for (const nal_unit& unit : annexb_units(annexb, size))
        if (!append_renumbered(out, unit, ids, 4))
            return {};
    return out;
}

namespace {

constexpr unsigned NAL_BLA_W_LP = 16, NAL_BLA_N_LP = 18, NAL_IDR_N_LP = 20, NAL_CRA = 21, NAL_FIRST_NON_VCL = 32;

}  // namespace

unsigned hevc_length_size(const std::uint8_t* record, std::size_t size)
{
    return size > 21 ? (record[21] & 3u) + 1 : 4;
}

random_access hevc_random_access(const std::uint8_t* frame, std::size_t size, unsigned length_size)
{
    random_access access;
    for (const nal_unit& unit : length_prefixed_units(frame, size, length_size)) {
        const unsigned type = nal_type(unit);
        if (type >= NAL_FIRST_NON_VCL)
            continue;
        access.kind = type >= NAL_BLA_W_LP && type <= NAL_IDR_N_LP ? access_kind::clean
                      : type == NAL_CRA                           ? access_kind::open
                                                                   : access_kind::none;
        break;
    }
    return access;
}

std::vector<std::uint8_t> hevc_cra_as_bla(const std::uint8_t* frame, std::size_t size, unsigned length_size)
{
    std::vector<std::uint8_t> out(frame, frame + size);
    bool changed = false;
    for (const nal_unit& unit : length_prefixed_units(frame, size, length_size)) {
        if (nal_type(unit) != NAL_CRA)
            continue;
        // Bits 1 to 6 of the header's first byte; the forbidden bit and
        // the layer id's high bit stay.
        std::uint8_t& head = out[static_cast<std::size_t>(unit.data - frame)];
        head = static_cast<std::uint8_t>((head & 0x81) | NAL_BLA_N_LP << 1);
        changed = true;
    }
    if (!changed)
        out.clear();
    return out;
}
