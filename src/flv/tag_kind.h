// What a tag is, from its type and first data bytes: which tags are sequence
// headers, keyframes and coded frames, of which track, what the sound
// formats are called, and what a video or audio configuration tells of the
// stream (its picture size, sample rate, channels).
#pragma once

#include "codecs/aac.h"
#include "flv/ex_header.h"
#include "flv/flv_format.h"

#include <cstddef>
#include <cstdint>

// Codec configuration carried into slides that do not start with their own,
// in the order a slide starts with them: the video sequence header (legacy
// or SequenceStart), the video Metadata packet (colorInfo, which must reach
// the decoder before the frames it describes), the audio sequence header
// (AAC's AudioSpecificConfig or an extended SequenceStart: OpusHead, FLAC
// STREAMINFO, ...) and the MultichannelConfig packet.
enum class config_kind { none, video, video_metadata, audio, audio_channels };
bool is_video_config(config_kind kind);

// Whether a tag's first data byte opens an extended header; inline, as the
// walks ask it of every tag.
inline bool is_extended_header(std::uint8_t tag_type, std::uint8_t first)
{
    return tag_type == TAG_VIDEO ? (first & VIDEO_EX_HEADER_BIT) != 0
                                 : tag_type == TAG_AUDIO && (first >> 4) == SOUND_EX_HEADER;
}

// A configuration and the track it is for: that of a Multitrack packet (its
// first track), or -1 for a tag of one track.
struct config_id {
    config_kind kind = config_kind::none;
    int track = -1;
};
config_id identify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available);
// From the tag type and the first bytes of its data (as many as available).
// Legacy headers are told inline: every tag of a walk is asked.
config_kind classify_extended_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available);
inline config_kind classify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    if (available < 1)
        return config_kind::none;
    if (is_extended_header(tag_type, data[0]))
        return classify_extended_config(tag_type, data, available);
    // AVC and HEVC sequence headers, and AAC's AudioSpecificConfig, have
    // packet type 0.
    if (available < 2 || data[1] != 0)
        return config_kind::none;
    if (tag_type == TAG_VIDEO)
        return (data[0] & 0x0F) == VIDEO_CODEC_AVC || (data[0] & 0x0F) == VIDEO_CODEC_HEVC ? config_kind::video
                                                                                         : config_kind::none;
    return tag_type == TAG_AUDIO && (data[0] >> 4) == SOUND_AAC ? config_kind::audio : config_kind::none;
}

// Video tag data, byte 0: FrameType in the high nibble, CodecID in the low.
constexpr unsigned FRAME_KEYFRAME = 1;
unsigned frame_type_of(std::uint8_t video_byte);
unsigned video_codec_of(std::uint8_t video_byte);
// The track of a video tag's frames or sequence header: a Multitrack tag's
// (its first track's id), or -1 for a tag of one track, as configurations
// are kept by track.
int video_track_of(const std::uint8_t* head, std::size_t head_size);
// A picture a decoder can start from: a keyframe that is a coded frame, not a
// sequence header (legacy or enhanced header).
bool is_video_keyframe(const std::uint8_t* data, std::size_t available);
// A video tag that carries a picture: a coded frame, not a sequence header,
// an end of sequence or a command frame. Legacy headers inline, as above.
bool is_extended_coded_frame(const std::uint8_t* data, std::size_t available);
inline bool is_coded_video_frame(const std::uint8_t* data, std::size_t available)
{
    constexpr unsigned FRAME_COMMAND = 5;
    if (available < 1)
        return false;
    if (data[0] & VIDEO_EX_HEADER_BIT)
        return is_extended_coded_frame(data, available);
    const unsigned frame_type = data[0] >> 4, codec = data[0] & 0x0F;
    if (frame_type == 0 || frame_type >= FRAME_COMMAND)
        return false;
    return (codec != VIDEO_CODEC_AVC && codec != VIDEO_CODEC_HEVC) || (available >= 2 && data[1] == AVC_NALU);
}
// A coded frame of a video track (as video_track_of gives it): what the
// walks that look for a track's pictures stop at.
inline bool is_track_frame(std::uint8_t tag_type, const std::uint8_t* head, std::size_t head_size, int track)
{
    return tag_type == TAG_VIDEO && is_coded_video_frame(head, head_size) && video_track_of(head, head_size) == track;
}
// A legacy audio or video frame that is neither a sequence header nor a
// keyframe: copied and counted as it stands, with nothing to note or hold.
// Most tags are; the walks tell them inline. Needs two data bytes.
inline bool is_plain_frame(std::uint8_t tag_type, const std::uint8_t* data)
{
    if ((tag_type != TAG_VIDEO && tag_type != TAG_AUDIO) || is_extended_header(tag_type, data[0]) ||
        classify_config(tag_type, data, 2) != config_kind::none)
        return false;
    return tag_type == TAG_AUDIO || (data[0] >> 4) != FRAME_KEYFRAME;
}
// The composition time offset of a coded frame in ms; 0 where it has none.
std::int32_t composition_time_ms(const std::uint8_t* data, std::size_t available);

// The picture size a video tag's data tells, where it tells one: the SPS of
// an AVC sequence header, or the picture header of a Sorenson H.263 or
// screen video keyframe. False when it tells none.
struct picture_size {
    unsigned width = 0;
    unsigned height = 0;
};
bool picture_size_of(const std::uint8_t* data, std::size_t size, picture_size& picture);

// SoundFormat of an audio tag's first data byte.
unsigned sound_format_of(std::uint8_t format_byte);
// An AAC AudioSpecificConfig tag (legacy header).
bool is_aac_config(const std::uint8_t* data, std::size_t available);
// An AAC tag, legacy or behind the extended header (FourCC mp4a, its first
// track): the bytes of FLV header before AAC's own, how many of AAC's own
// follow, and whether it is the configuration or a frame. size is the tag's
// data size, available how many of its bytes are at data, ex its extended
// header as parse_ex_packet reads it.
struct aac_tag {
    bool aac = false;
    std::uint32_t header = 0;
    std::uint32_t payload = 0;
    bool config = false;
    bool frame = false;
};
aac_tag aac_tag_of(const std::uint8_t* data, std::size_t available, std::uint32_t size, const ex_packet& ex);
bool is_mp3(unsigned sound_format);
const char* sound_format_name(unsigned sound_format);

// The FourCC of an extended audio or video header, 0 where the tag has none.
std::uint32_t fourcc_of(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available);

// Unknown fields are 0: they are left out of the onMetaData.
struct audio_facts {
    unsigned sample_rate = 0;
    unsigned sample_size = 0; // bits
    unsigned channels = 0;
};
// From an extended audio SequenceStart tag's data; false where it tells
// nothing (another codec, or a header cut short).
bool audio_facts_of(const std::uint8_t* data, std::size_t available, audio_facts& facts);

// Enough of a tag's data for its kind, keyframe flag and an onMetaData name.
constexpr std::size_t TAG_HEAD_SIZE = 16;

// What a tag is, told once from its first data bytes where the walk reads
// it, and handed on with it: its configuration and track, whether it is a
// keyframe or a coded frame (video), its sound format, extended header and
// AAC framing (audio), whether it is the onMetaData (script data).
struct tag_class {
    std::uint8_t type = 0;
    const std::uint8_t* head = nullptr; // the bytes it was told from, still unread
    std::size_t head_size = 0;
    config_id config;
    bool keyframe = false;
    bool coded_frame = false;
    int track = -1;
    unsigned sound_format = 0;
    ex_packet ex;
    aac_tag aac;
    bool on_metadata = false;
};
// size is the tag's data size, available how many of its bytes are at head.
tag_class classify_tag(std::uint8_t tag_type, const std::uint8_t* head, std::size_t available, std::uint32_t data_size);
