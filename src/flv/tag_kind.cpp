#include "flv/tag_kind.h"

#include "codecs/aac.h"
#include "codecs/av1.h"
#include "codecs/avc.h"
#include "codecs/flac.h"
#include "codecs/h263.h"
#include "codecs/hevc.h"
#include "codecs/opus.h"
#include "codecs/vp9.h"
#include "flv/amf.h"
#include "flv/ex_header.h"
#include "flv/flv_format.h"

#include <algorithm>
#include <vector>

// A legacy AVC or HEVC tag (no ExHeader) whose AVCPacketType is packet_type.
static bool is_avc_packet(const std::uint8_t* data, std::size_t available, std::uint8_t packet_type)
{
    const unsigned codec = video_codec_of(data[0]);
    return (codec == VIDEO_CODEC_AVC || codec == VIDEO_CODEC_HEVC) && available >= 2 && data[1] == packet_type;
}

bool is_aac_config(const std::uint8_t* data, std::size_t available)
{
    return available >= 2 && sound_format_of(data[0]) == SOUND_AAC && data[1] == AAC_SEQUENCE_HEADER;
}

aac_tag aac_tag_of(const std::uint8_t* data, std::size_t available, std::uint32_t size, const ex_packet& ex)
{
    aac_tag tag;
    if (available >= 1 && sound_format_of(data[0]) == SOUND_AAC) {
        tag.aac = true;
        tag.header = 2; // format byte, AACPacketType
        tag.payload = size < tag.header ? 0 : size - tag.header;
        tag.config = is_aac_config(data, available);
        tag.frame = !tag.config;
    } else if (ex.complete && ex.fourcc == FOURCC_AAC) {
        // mp4a, the first track where there are several.
        tag.aac = true;
        tag.header = static_cast<std::uint32_t>(ex.data_offset);
        tag.payload = static_cast<std::uint32_t>(ex.data_size);
        tag.config = ex.packet_type == AUDIO_EX_SEQUENCE_START;
        tag.frame = ex.packet_type == AUDIO_EX_CODED_FRAMES;
    }
    return tag;
}

bool is_video_config(config_kind kind)
{
    return kind == config_kind::video || kind == config_kind::video_metadata;
}

namespace {

// An extended header as far as the bytes available go; what follows tells
// from it the packet type behind ModEx and Multitrack (an impossible one
// where it cannot be told), the configuration it is, whether it holds coded
// frames, and the track of its frames.
ex_packet read_ex(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    return parse_ex_packet(tag_type, data, available, available);
}

unsigned packet_type_of(const ex_packet& p)
{
    return p.packet_type == EX_MOD_EX ? 0xFF : p.packet_type;
}

config_kind extended_config_kind(std::uint8_t tag_type, const ex_packet& p)
{
    const unsigned packet = packet_type_of(p);
    if (tag_type == TAG_VIDEO)
        return packet == VIDEO_EX_SEQUENCE_START ? config_kind::video
               : packet == VIDEO_EX_METADATA     ? config_kind::video_metadata
                                                 : config_kind::none;
    return packet == AUDIO_EX_SEQUENCE_START        ? config_kind::audio
           : packet == AUDIO_EX_MULTICHANNEL_CONFIG ? config_kind::audio_channels
                                                    : config_kind::none;
}

// A configuration's track: that of a Multitrack packet's first track.
int config_track_of(const ex_packet& p)
{
    return p.multitrack && p.tracks > 0 ? static_cast<int>(p.track_id) : -1;
}

bool holds_coded_frames(std::uint8_t video_byte, const ex_packet& p)
{
    constexpr unsigned FRAME_COMMAND = 5;
    const unsigned packet = packet_type_of(p);
    return frame_type_of(video_byte) != FRAME_COMMAND &&
           (packet == VIDEO_EX_CODED_FRAMES || packet == VIDEO_EX_CODED_FRAMES_X);
}

int frames_track_of(const ex_packet& p)
{
    return p.multitrack && p.complete ? static_cast<int>(p.track_id) : -1;
}

}  // namespace

config_kind classify_extended_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    return extended_config_kind(tag_type, read_ex(tag_type, data, available));
}

config_id identify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    config_id id;
    id.kind = classify_config(tag_type, data, available);
    if (id.kind != config_kind::none && is_extended_header(tag_type, data[0]))
        id.track = config_track_of(read_ex(tag_type, data, available));
    return id;
}

unsigned frame_type_of(std::uint8_t video_byte)
{
    // Behind the extended header the frame type has three bits.
    return (video_byte & VIDEO_EX_HEADER_BIT) != 0 ? (video_byte >> 4) & 7 : video_byte >> 4;
}

unsigned video_codec_of(std::uint8_t video_byte)
{
    return video_byte & 0x0F;
}

bool is_video_keyframe(const std::uint8_t* data, std::size_t available)
{
    if (available < 1)
        return false;
    if (data[0] & VIDEO_EX_HEADER_BIT)
        return frame_type_of(data[0]) == FRAME_KEYFRAME && is_coded_video_frame(data, available);
    const unsigned codec = video_codec_of(data[0]);
    if (codec == VIDEO_CODEC_AVC || codec == VIDEO_CODEC_HEVC)
        return frame_type_of(data[0]) == FRAME_KEYFRAME && is_avc_packet(data, available, AVC_NALU);
    return frame_type_of(data[0]) == FRAME_KEYFRAME;
}

int video_track_of(const std::uint8_t* head, std::size_t head_size)
{
    if (head_size < 1 || (head[0] & VIDEO_EX_HEADER_BIT) == 0)
        return -1;
    return frames_track_of(read_ex(TAG_VIDEO, head, head_size));
}

bool is_extended_coded_frame(const std::uint8_t* data, std::size_t available)
{
    return holds_coded_frames(data[0], read_ex(TAG_VIDEO, data, available));
}

std::int32_t composition_time_ms(const std::uint8_t* data, std::size_t available)
{
    std::size_t at = 2;
    if (available >= 1 && (data[0] & VIDEO_EX_HEADER_BIT) != 0) {
        // Only avc1, hvc1 and vvc1 CodedFrames carry one, before their data.
        const ex_packet p = parse_ex_packet(TAG_VIDEO, data, available, available);
        if (!p.complete || p.packet_type != VIDEO_EX_CODED_FRAMES ||
            (p.fourcc != FOURCC_AVC1 && p.fourcc != FOURCC_HVC1 && p.fourcc != FOURCC_VVC1))
            return 0;
        at = p.data_offset;
    } else if (!is_avc_packet(data, available, AVC_NALU)) {
        return 0;
    }
    if (at + 3 > available)
        return 0;
    const std::uint32_t raw = get_be24(data + at);
    return static_cast<std::int32_t>(raw ^ 0x800000u) - 0x800000; // signed 24 bits
}

// Behind the extended header: the AV1 sequence header of a SequenceStart's
// av1C record or of a keyframe, or a VP9 keyframe's header.
static bool extended_picture_size(const std::uint8_t* data, std::size_t size, picture_size& picture)
{
    const ex_packet p = parse_ex_packet(TAG_VIDEO, data, size, size);
    if (!p.complete || p.data_offset >= size)
        return false;
    const std::uint8_t* codec = data + p.data_offset;
    const std::size_t length = std::min(size - p.data_offset, p.data_size);
    const bool key = is_video_keyframe(data, size);
    if (p.fourcc == FOURCC_AV01 && p.packet_type == VIDEO_EX_SEQUENCE_START && length > 4)
        return av1_picture_size(codec + 4, length - 4, picture.width, picture.height);
    if (p.fourcc == FOURCC_AV01 && key)
        return av1_picture_size(codec, length, picture.width, picture.height);
    if (p.fourcc == FOURCC_VP09 && key)
        return vp9_picture_size(codec, length, picture.width, picture.height);
    if (p.fourcc == FOURCC_HVC1 && p.packet_type == VIDEO_EX_SEQUENCE_START)
        return hevc_config_picture_size(codec, length, picture.width, picture.height);
    return false;
}

bool picture_size_of(const std::uint8_t* data, std::size_t size, picture_size& picture)
{
    constexpr unsigned CODEC_H263 = 2, CODEC_SCREEN = 3;
    if (size >= 1 && (data[0] & VIDEO_EX_HEADER_BIT) != 0)
        return extended_picture_size(data, size, picture);
    if (size < 2)
        return false;
    const unsigned codec = video_codec_of(data[0]);
    if (codec == VIDEO_CODEC_AVC && data[1] == AVC_SEQUENCE_HEADER)
        return avc_config_picture_size(data + 5, size < 5 ? 0 : size - 5, picture.width, picture.height);
    if (codec == VIDEO_CODEC_HEVC && data[1] == AVC_SEQUENCE_HEADER)
        return size > 5 && hevc_config_picture_size(data + 5, size - 5, picture.width, picture.height);
    if (frame_type_of(data[0]) != FRAME_KEYFRAME)
        return false;
    if (codec == CODEC_H263)
        return h263_picture_size(data + 1, size - 1, picture.width, picture.height);
    if (codec == CODEC_SCREEN && size >= 5) {
        picture.width = get_be(data + 1, 2) & 0x0FFF;
        picture.height = get_be(data + 3, 2) & 0x0FFF;
        return picture.width > 0 && picture.height > 0;
    }
    return false;
}

unsigned sound_format_of(std::uint8_t format_byte)
{
    return format_byte >> 4;
}

bool is_mp3(unsigned sound_format)
{
    return sound_format == SOUND_MP3 || sound_format == SOUND_MP3_8K;
}

const char* sound_format_name(unsigned sound_format)
{
    static const char* const names[16] = {
        "linear PCM (platform endian)", "ADPCM", "MP3", "linear PCM (little endian)",
        "Nellymoser 16 kHz mono", "Nellymoser 8 kHz mono", "Nellymoser", "G.711 A-law",
        "G.711 mu-law", "an extended audio header", "AAC", "Speex",
        "format 12", "format 13", "MP3 8 kHz", "device-specific sound"};
    return names[sound_format & 0x0F];
}

std::uint32_t fourcc_of(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    const ex_packet p = parse_ex_packet(tag_type, data, available, available);
    return p.complete ? p.fourcc : 0;
}

namespace {

bool opus_facts(const std::uint8_t* head, std::size_t size, audio_facts& facts)
{
    facts.sample_rate = OPUS_SAMPLE_RATE;
    return opus_head_channels(head, size, facts.channels);
}

bool flac_facts(const std::uint8_t* block, std::size_t size, audio_facts& facts)
{
    flac_format format;
    const bool told = flac_stream_info(block, size, format);
    facts.sample_rate = format.sample_rate;
    facts.channels = format.channels;
    facts.sample_size = format.sample_size;
    return told;
}

bool aac_facts(const std::uint8_t* asc, std::size_t size, audio_facts& facts)
{
    const aac_config config = parse_audio_specific_config(asc, size);
    facts.sample_rate = aac_sample_rate(config);
    facts.channels = config.channels;
    return facts.sample_rate > 0;
}

}  // namespace

bool audio_facts_of(const std::uint8_t* data, std::size_t available, audio_facts& facts)
{
    const ex_packet p = parse_ex_packet(TAG_AUDIO, data, available, available);
    if (!p.complete || p.packet_type != AUDIO_EX_SEQUENCE_START || p.data_offset >= available)
        return false;
    const std::uint8_t* config = data + p.data_offset;
    const std::size_t size = std::min(available - p.data_offset, p.data_size);
    switch (p.fourcc) {
    case FOURCC_OPUS: return opus_facts(config, size, facts);
    case FOURCC_FLAC: return flac_facts(config, size, facts);
    case FOURCC_AAC: return aac_facts(config, size, facts);
    default: return false;
    }
}

tag_class classify_tag(std::uint8_t tag_type, const std::uint8_t* head, std::size_t available, std::uint32_t data_size)
{
    tag_class c;
    c.type = tag_type;
    c.head = head;
    c.head_size = available;
    if (tag_type == TAG_VIDEO && available >= 1 && is_extended_header(tag_type, head[0])) {
        // The extended header read once for all the class says of it.
        const ex_packet ex = read_ex(tag_type, head, available);
        c.config.kind = extended_config_kind(tag_type, ex);
        c.config.track = c.config.kind != config_kind::none ? config_track_of(ex) : -1;
        c.coded_frame = holds_coded_frames(head[0], ex);
        c.keyframe = frame_type_of(head[0]) == FRAME_KEYFRAME && c.coded_frame;
        c.track = frames_track_of(ex);
        return c;
    }
    c.config = identify_config(tag_type, head, available);
    if (tag_type == TAG_VIDEO) {
        c.keyframe = is_video_keyframe(head, available);
        c.coded_frame = is_coded_video_frame(head, available);
        c.track = video_track_of(head, available);
    } else if (tag_type == TAG_AUDIO) {
        c.sound_format = available >= 1 ? sound_format_of(head[0]) : 0;
        c.ex = parse_ex_packet(TAG_AUDIO, head, available, data_size);
        c.aac = aac_tag_of(head, available, data_size, c.ex);
    } else if (tag_type == TAG_SCRIPT) {
        c.on_metadata = is_on_metadata(head, available);
    }
    return c;
}
