#include "restart/codec_use.h"

#include "codecs/av1.h"
#include "codecs/avc.h"
#include "codecs/hevc.h"
#include "codecs/vp9.h"
#include "flv/ex_header.h"
#include "flv/tag_kind.h"
#include "io/big_endian.h"

#include <algorithm>

namespace {

constexpr unsigned CODEC_H263 = 2;
const codec_use codec_uses[] = {
    {CODEC_H263, 0, picture_codec::h263, 1},
    {VIDEO_CODEC_AVC, 0, picture_codec::h264, 5},
    {0, FOURCC_AVC1, picture_codec::h264, 0},
    {VIDEO_CODEC_HEVC, 0, picture_codec::hevc, 5},
    {0, FOURCC_HVC1, picture_codec::hevc, 0},
    {0, FOURCC_AV01, picture_codec::av1, 0},
    {0, FOURCC_VP09, picture_codec::vp9, 0},
};

}  // namespace

const codec_use* codec_use_of(const std::uint8_t* data, std::size_t size)
{
    // A Multitrack tag of one track holds one codec's frame, as any other;
    // tags of several tracks are not taken apart.
    if (size == 0)
        return nullptr;
    const ex_packet ex = parse_ex_packet(TAG_VIDEO, data, size, size);
    if (ex.extended && (!ex.complete || (ex.multitrack && ex.multitrack_type != ONE_TRACK)))
        return nullptr;
    for (const codec_use& use : codec_uses)
        if (ex.extended ? use.fourcc == ex.fourcc : use.fourcc == 0 && use.flv_codec == video_codec_of(data[0]))
            return &use;
    return nullptr;
}

bool has_composition_time(const codec_use& use)
{
    return use.codec == picture_codec::h264 || use.codec == picture_codec::hevc;
}

// Where the codec's own bytes begin in a tag's data: behind the extended
// header, and avc1 and hvc1 coded frames' composition time (av01 has none).
std::size_t codec_offset(const codec_use& use, const std::vector<std::uint8_t>& data)
{
    if (use.fourcc == 0)
        return use.header;
    const ex_packet ex = parse_ex_packet(TAG_VIDEO, data.data(), data.size(), data.size());
    const bool composition_time = ex.packet_type == VIDEO_EX_CODED_FRAMES && has_composition_time(use);
    return ex.data_offset + (composition_time ? 3 : 0);
}

std::vector<std::uint8_t> payload_of(const codec_use& use, const std::vector<std::uint8_t>& data)
{
    const std::size_t offset = data.empty() ? 0 : codec_offset(use, data);
    return data.size() > offset ? std::vector<std::uint8_t>(data.begin() + static_cast<long>(offset), data.end())
                                : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> new_tag_head(const codec_use& use, int track, unsigned frame_type, std::uint8_t packet_type)
{
    if (use.fourcc == 0) {
        std::vector<std::uint8_t> head = {static_cast<std::uint8_t>(frame_type << 4 | use.flv_codec)};
        if (has_composition_time(use))
            head.push_back(packet_type);
        return head;
    }
    std::vector<std::uint8_t> head = {static_cast<std::uint8_t>(VIDEO_EX_HEADER_BIT | frame_type << 4 | packet_type)};
    if (track >= 0) {
        head[0] = static_cast<std::uint8_t>(VIDEO_EX_HEADER_BIT | frame_type << 4 | EX_MULTITRACK_VIDEO);
        head.push_back(static_cast<std::uint8_t>(ONE_TRACK << 4 | packet_type));
    }
    append_be(head, use.fourcc, 4);
    if (track >= 0)
        head.push_back(static_cast<std::uint8_t>(track));
    return head;
}

// lengthSizeMinusOne + 1 of the avcC (byte 4) or hvcC (byte 21) record.
unsigned nal_length_size(const codec_use& use, const std::vector<std::uint8_t>& config)
{
    const std::vector<std::uint8_t> record = config.empty() ? config : payload_of(use, config);
    return use.codec == picture_codec::h264 ? avc_length_size(record.data(), record.size())
                                            : hevc_length_size(record.data(), record.size());
}

random_access frame_access(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& config)
{
    const codec_use* use = codec_use_of(data);
    if (use == nullptr)
        return {};
    const std::size_t offset = codec_offset(*use, data);
    if (offset >= data.size())
        return {};
    const std::uint8_t* frame = data.data() + offset;
    const std::size_t size = data.size() - offset;
    switch (use->codec) {
    case picture_codec::h264: return avc_random_access(frame, size, nal_length_size(*use, config));
    case picture_codec::hevc: return hevc_random_access(frame, size, nal_length_size(*use, config));
    case picture_codec::av1: return av1_random_access(frame, size);
    case picture_codec::vp9: return vp9_random_access(frame, size);
    case picture_codec::h263: break; // every keyframe is an intra picture, and nothing refers past it
    }
    return {};
}

// A keyframe's units before its first picture unit, and that unit's
// header, lie in its first bytes in all but odd frames; the rest is read
// only where they do not tell.
constexpr std::size_t ACCESS_HEAD_SIZE = 4096;

random_access tag_access(in_stream& look, std::uint64_t offset, const std::vector<std::uint8_t>& config)
{
    std::uint8_t header[TAG_HEADER_SIZE];
    if (read_at(look, offset, header, TAG_HEADER_SIZE) < TAG_HEADER_SIZE)
        return {};
    const std::uint32_t size = decode_tag_header(header).data_size;
    std::vector<std::uint8_t> data(std::min<std::size_t>(size, ACCESS_HEAD_SIZE));
    data.resize(read_at(look, offset + TAG_HEADER_SIZE, data.data(), data.size()));
    const random_access access = frame_access(data, config);
    if (access.kind != access_kind::unknown || data.size() < ACCESS_HEAD_SIZE || size <= ACCESS_HEAD_SIZE)
        return access;
    // The rest of the tag, or as much of it as the recording holds where it
    // ends inside the tag.
    const std::size_t head = data.size();
    data.resize(size);
    data.resize(head + read_at(look, offset + TAG_HEADER_SIZE + head, data.data() + head, size - head));
    return frame_access(data, config);
}

joint_kind joint_of(const random_access& access, const std::uint8_t* data, std::size_t size)
{
    if (access.kind == access_kind::clean || access.kind == access_kind::unknown)
        return joint_kind::as_is;
    const codec_use* use = access.kind == access_kind::open ? codec_use_of(data, size) : nullptr;
    // H.264 has no such splice: an I picture that is no IDR continues the
    // recording's frame numbers, reference marking and parameter sets.
    return use != nullptr && use->codec == picture_codec::hevc ? joint_kind::as_bla : joint_kind::none;
}

std::string access_description(const random_access& access)
{
    switch (access.kind) {
    case access_kind::open: return "an open GOP: pictures after it refer to pictures before it";
    case access_kind::recovery:
        return "a recovery point: its pictures are right only " + std::to_string(access.recovery_frames) +
               " frames on";
    case access_kind::none: return "its units are not those of a random access point";
    default: break;
    }
    return "a clean start";
}
