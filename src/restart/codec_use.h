// How the frames of an FLV video codec reach the codec library: which codec,
// where the codec's own bytes begin in a tag, and what a keyframe of it
// really is, from the frame's own units.
#pragma once

#include "codecs/random_access.h"
#include "io/byte_stream.h"
#include "restart/reencoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Which codec, and how many bytes of FLV header stand before the codec's own
// in a legacy tag; behind the extended header (a FourCC), the packet's own
// layout says.
struct codec_use {
    unsigned flv_codec;
    std::uint32_t fourcc; // 0 for a legacy codec id
    picture_codec codec;
    std::size_t header;
};
// The codec of a video tag's data; null for one slidecut does not encode,
// and for a Multitrack tag of several tracks.
const codec_use* codec_use_of(const std::uint8_t* data, std::size_t size);
inline const codec_use* codec_use_of(const std::vector<std::uint8_t>& data)
{
    return codec_use_of(data.data(), data.size());
}
// H.264 and HEVC frames carry a composition time, legacy or extended.
bool has_composition_time(const codec_use& use);
// Where the codec's own bytes begin in a tag's data.
std::size_t codec_offset(const codec_use& use, const std::vector<std::uint8_t>& data);
// The codec's own bytes of a tag's data.
std::vector<std::uint8_t> payload_of(const codec_use& use, const std::vector<std::uint8_t>& data);
// The first bytes of a tag slidecut makes for a new run: the legacy video
// byte and AVC packet type (HEVC's too), or the extended header with its
// FourCC, for a track of Multitrack tags behind the one-track header.
std::vector<std::uint8_t> new_tag_head(const codec_use& use, int track, unsigned frame_type, std::uint8_t packet_type);

// The bytes in front of each H.264 or HEVC NAL unit, as the sequence header
// (tag data) says; 4 where there is none to read.
unsigned nal_length_size(const codec_use& use, const std::vector<std::uint8_t>& config);

// What a coded frame (a tag's data) is as a place to begin decoding, with
// the sequence header (tag data) in force, whose record tells H.264's and
// HEVC's NAL length size.
random_access frame_access(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& config);
// The same of the tag at offset, read back.
random_access tag_access(in_stream& look, std::uint64_t offset, const std::vector<std::uint8_t>& config);
// Whether a slide or a new run's end may meet the recording's frames at a
// keyframe of this access: as it stands (a clean start, or one the units
// do not tell of), as a BLA (an HEVC CRA whose leading pictures go to the
// new run), or not at all.
enum class joint_kind { none, as_is, as_bla };
joint_kind joint_of(const random_access& access, const std::uint8_t* data, std::size_t size);
// What such a keyframe is, for a warning: why decoders cannot begin there.
std::string access_description(const random_access& access);
