#include "flv/ex_header.h"

#include "flv/flv_format.h"

namespace {

struct byte_reader {
    const std::uint8_t* data;
    std::size_t available;
    std::size_t pos = 1;
    bool got(std::size_t count) const { return pos + count <= available; }
    std::uint32_t be(std::size_t count)
    {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i)
            value = value << 8 | data[pos++];
        return value;
    }
};

bool is_extended(std::uint8_t tag_type, std::uint8_t first)
{
    return tag_type == TAG_VIDEO ? (first & VIDEO_EX_HEADER_BIT) != 0
                                 : tag_type == TAG_AUDIO && (first >> 4) == SOUND_EX_HEADER;
}

// ModEx: a size (UI8 + 1, or UI16 + 1 where that gives 256), its data, then
// a byte whose low nibble is the packet type behind it.
bool skip_mod_ex(byte_reader& in, ex_packet& p, std::size_t size)
{
    while (p.packet_type == EX_MOD_EX) {
        if (!in.got(1))
            return false;
        std::size_t length = in.be(1) + 1;
        if (length == 256) {
            if (!in.got(2))
                return false;
            length = in.be(2) + 1;
        }
        if (in.pos + length + 1 > size) {
            p.past_tag = true;
            return false;
        }
        in.pos += length;
        if (!in.got(1))
            return false;
        p.packet_type = in.be(1) & 0x0F;
    }
    return true;
}

// The tracks of a Multitrack packet: [FourCC], id, [UI24 size], data; the
// one of the lowest id is kept.
bool read_tracks(byte_reader& in, ex_packet& p, std::size_t size)
{
    const bool many_codecs = p.multitrack_type == MANY_TRACKS_MANY_CODECS;
    const std::uint32_t shared_fourcc = p.fourcc;
    while (in.pos < size) {
        if (!in.got((many_codecs ? 4 : 0) + 1))
            return p.tracks > 0;
        const std::uint32_t fourcc = many_codecs ? in.be(4) : shared_fourcc;
        const unsigned id = in.be(1);
        std::size_t length = size - in.pos;
        if (p.multitrack_type != ONE_TRACK) {
            if (!in.got(3))
                return p.tracks > 0;
            length = in.be(3);
            if (in.pos + length > size) {
                p.past_tag = true;
                return false;
            }
        }
        if (p.tracks == 0 || id < p.track_id) {
            p.track_id = id;
            p.fourcc = fourcc;
            p.data_offset = in.pos;
            p.data_size = length;
        }
        ++p.tracks;
        in.pos += length;
        if (p.multitrack_type == ONE_TRACK)
            break;
    }
    return p.tracks > 0;
}

}  // namespace

ex_packet parse_ex_packet(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available, std::size_t size)
{
    ex_packet p;
    if (available < 1 || !is_extended(tag_type, data[0]))
        return p;
    p.extended = true;
    byte_reader in{data, available < size ? available : size};
    p.packet_type = data[0] & 0x0F;
    if (!skip_mod_ex(in, p, size))
        return p;
    const unsigned multitrack = tag_type == TAG_VIDEO ? EX_MULTITRACK_VIDEO : EX_MULTITRACK_AUDIO;
    if (p.packet_type == multitrack) {
        if (!in.got(1))
            return p;
        const std::uint32_t kind = in.be(1);
        p.multitrack = true;
        p.multitrack_type = kind >> 4;
        p.packet_type = kind & 0x0F;
        if (p.multitrack_type > MANY_TRACKS_MANY_CODECS)
            return p;
        if (p.multitrack_type != MANY_TRACKS_MANY_CODECS) {
            if (!in.got(4))
                return p;
            p.fourcc = in.be(4);
        }
        p.complete = read_tracks(in, p, size);
        return p;
    }
    if (!in.got(4))
        return p;
    p.fourcc = in.be(4);
    p.tracks = 1;
    p.data_offset = in.pos;
    p.data_size = size - in.pos;
    p.complete = true;
    return p;
}
