#include "codecs/av1.h"

#include "codecs/bit_reader.h"

namespace {

constexpr unsigned OBU_SEQUENCE_HEADER = 1, OBU_TEMPORAL_DELIMITER = 2;

struct obu {
    unsigned type = 0;
    std::size_t start = 0, payload = 0, end = 0; // offsets: the OBU, its payload, past it
};

// The OBU at pos (with a size field, as in low overhead format); false past
// the end or where it runs past it.
bool next_obu(const std::uint8_t* data, std::size_t size, std::size_t pos, obu& o)
{
    if (pos >= size)
        return false;
    o.start = pos;
    o.type = (data[pos] >> 3) & 15;
    std::size_t at = pos + 1 + ((data[pos] >> 2) & 1);
    std::size_t length = 0;
    if ((data[pos] >> 1) & 1) {
        for (int shift = 0; shift < 56; shift += 7) {
            if (at >= size)
                return false;
            const std::uint8_t b = data[at++];
            length |= std::size_t{b & 0x7Fu} << shift;
            if ((b & 0x80) == 0)
                break;
        }
    } else {
        length = size - at;
    }
    if (at > size || length > size - at)
        return false;
    o.payload = at;
    o.end = at + length;
    return true;
}

}  // namespace

std::vector<std::uint8_t> av1_config_record(const std::uint8_t* header, std::size_t size)
{
    if (size >= 4 && header[0] == 0x81)
        return std::vector<std::uint8_t>(header, header + size);
    obu o;
    for (std::size_t pos = 0; next_obu(header, size, pos, o); pos = o.end) {
        if (o.type != OBU_SEQUENCE_HEADER)
            continue;
        // seq_profile, still_picture, reduced_still_picture_header, then (no
        // timing info, as encoders write it for files) the first operating
        // point's level; 8-bit 4:2:0 as the frames that are encoded again.
        bit_reader in{header + o.payload, o.end - o.payload};
        const unsigned profile = read_bits(in, 3);
        read_bits(in, 1);
        unsigned level = 31; // unspecified
        if (read_bits(in, 1) == 0 && read_bits(in, 1) == 0) {
            read_bits(in, 1 + 5 + 12);
            level = read_bits(in, 5);
        }
        std::vector<std::uint8_t> record = {0x81, static_cast<std::uint8_t>(profile << 5 | level), 0x0C, 0x00};
        record.insert(record.end(), header + o.start, header + o.end);
        return record;
    }
    return {};
}

std::vector<std::uint8_t> without_temporal_delimiters(const std::uint8_t* unit, std::size_t size)
{
    std::vector<std::uint8_t> out;
    out.reserve(size);
    obu o;
    std::size_t pos = 0;
    for (; next_obu(unit, size, pos, o); pos = o.end)
        if (o.type != OBU_TEMPORAL_DELIMITER)
            out.insert(out.end(), unit + o.start, unit + o.end);
    if (pos < size) // what does not read as OBUs goes as it stands
        out.insert(out.end(), unit + pos, unit + size);
    return out;
}

bool av1_picture_size(const std::uint8_t* obus, std::size_t size, unsigned& width, unsigned& height)
{
    obu o;
    for (std::size_t pos = 0; next_obu(obus, size, pos, o); pos = o.end) {
        if (o.type != OBU_SEQUENCE_HEADER)
            continue;
        bit_reader in{obus + o.payload, o.end - o.payload};
        read_bits(in, 4); // seq_profile, still_picture
        if (read_bits(in, 1) != 0) { // reduced_still_picture_header
            read_bits(in, 5);
        } else {
            if (read_bits(in, 1) != 0) // timing_info_present_flag: not followed
                return false;
            const bool display_delay = read_bits(in, 1) != 0;
            const unsigned points = read_bits(in, 5) + 1;
            for (unsigned i = 0; i < points && !in.short_read; ++i) {
                read_bits(in, 12); // operating_point_idc
                if (read_bits(in, 5) > 7)
                    read_bits(in, 1); // seq_tier
                if (display_delay && read_bits(in, 1) != 0)
                    read_bits(in, 4);
            }
        }
        const unsigned width_bits = read_bits(in, 4) + 1, height_bits = read_bits(in, 4) + 1;
        width = read_bits(in, width_bits) + 1;
        height = read_bits(in, height_bits) + 1;
        return !in.short_read;
    }
    return false;
}

namespace {

constexpr unsigned OBU_FRAME_HEADER = 3, OBU_FRAME = 6, KEY_FRAME = 0;

}  // namespace

random_access av1_random_access(const std::uint8_t* obus, std::size_t size)
{
    random_access access;
    bool reduced_still_picture = false;
    obu o;
    for (std::size_t pos = 0; next_obu(obus, size, pos, o); pos = o.end) {
        bit_reader in{obus + o.payload, o.end - o.payload};
        if (o.type == OBU_SEQUENCE_HEADER) {
            read_bits(in, 4); // seq_profile, still_picture
            reduced_still_picture = read_bits(in, 1) == 1;
            continue;
        }
        if (o.type != OBU_FRAME_HEADER && o.type != OBU_FRAME)
            continue;
        if (reduced_still_picture) // a key frame, shown
            return {access_kind::clean, 0};
        const bool show_existing_frame = read_bits(in, 1) == 1;
        const unsigned frame_type = read_bits(in, 2);
        const bool show_frame = read_bits(in, 1) == 1;
        if (in.short_read)
            break;
        access.kind = !show_existing_frame && frame_type == KEY_FRAME && show_frame ? access_kind::clean
                                                                                   : access_kind::none;
        break;
    }
    return access;
}
