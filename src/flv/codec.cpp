#include "flv/codec.h"

#include "flv/av1.h"
#include "flv/bit_reader.h"
#include "flv/ex_header.h"
#include "flv/flv_format.h"
#include "flv/hevc.h"

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

// The packet type behind an extended header (ModEx and Multitrack looked
// through); an impossible type where it cannot be told.
static unsigned ex_packet_type(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    const ex_packet p = parse_ex_packet(tag_type, data, available, available);
    return p.packet_type == EX_MOD_EX ? 0xFF : p.packet_type;
}

config_kind classify_extended_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    const unsigned packet = ex_packet_type(tag_type, data, available);
    if (tag_type == TAG_VIDEO)
        return packet == VIDEO_EX_SEQUENCE_START ? config_kind::video
               : packet == VIDEO_EX_METADATA     ? config_kind::video_metadata
                                                 : config_kind::none;
    return packet == AUDIO_EX_SEQUENCE_START        ? config_kind::audio
           : packet == AUDIO_EX_MULTICHANNEL_CONFIG ? config_kind::audio_channels
                                                    : config_kind::none;
}

config_id identify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    config_id id;
    id.kind = classify_config(tag_type, data, available);
    if (id.kind != config_kind::none) {
        const ex_packet p = parse_ex_packet(tag_type, data, available, available);
        if (p.multitrack && p.tracks > 0)
            id.track = static_cast<int>(p.track_id);
    }
    return id;
}

namespace {

// 5 bits; 31 escapes to 32 plus 6 more bits.
unsigned read_object_type(bit_reader& in)
{
    const unsigned type = read_bits(in, 5);
    return type == 31 ? 32 + read_bits(in, 6) : type;
}

constexpr unsigned AAC_SBR = 5, AAC_PS = 29, EXPLICIT_FREQUENCY = 15;

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

bool sps_picture_size(const std::uint8_t* nal, std::size_t size, picture_size& picture)
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
    picture.width = width_mbs * 16 - crop_x * (crop[0] + crop[1]);
    picture.height = (2 - frame_mbs_only) * height_units * 16 - crop_y * (crop[2] + crop[3]);
    return picture.width > 0 && picture.height > 0;
}

// The first SPS of an AVCDecoderConfigurationRecord.
bool avc_config_picture_size(const std::uint8_t* record, std::size_t size, picture_size& picture)
{
    if (size < 8 || (record[5] & 0x1F) == 0)
        return false;
    const std::size_t sps_size = get_be(record + 6, 2);
    return sps_size > 0 && 8 + sps_size <= size && sps_picture_size(record + 8, sps_size, picture);
}

// Sorenson H.263: start code, version, temporal reference, then the picture
// size, given or coded.
bool h263_picture_size(const std::uint8_t* data, std::size_t size, picture_size& picture)
{
    bit_reader in{data, size};
    if (read_bits(in, 17) != 1)
        return false;
    read_bits(in, 13);
    static const unsigned sizes[][2] = {{352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}};
    const unsigned code = read_bits(in, 3);
    if (code == 0 || code == 1) {
        picture.width = read_bits(in, code == 0 ? 8 : 16);
        picture.height = read_bits(in, code == 0 ? 8 : 16);
    } else if (code <= 6) {
        picture.width = sizes[code - 2][0];
        picture.height = sizes[code - 2][1];
    }
    return !in.short_read && picture.width > 0 && picture.height > 0;
}

}  // namespace

aac_config parse_audio_specific_config(const std::uint8_t* asc, std::size_t size)
{
    aac_config config;
    if (size < 2) {
        config.unsupported = "an AudioSpecificConfig shorter than 2 bytes";
        return config;
    }
    bit_reader in{asc, size};
    config.object_type = read_object_type(in);
    config.frequency_index = read_bits(in, 4);
    if (config.frequency_index == EXPLICIT_FREQUENCY) {
        config.unsupported = "an explicit sampling frequency, which ADTS cannot carry";
        return config;
    }
    config.channels = read_bits(in, 4);
    if (config.object_type == AAC_SBR || config.object_type == AAC_PS) {
        if (read_bits(in, 4) == EXPLICIT_FREQUENCY) // the SBR output rate
            read_bits(in, 24);
        config.object_type = read_object_type(in);
    }
    if (in.short_read)
        config.unsupported = "an AudioSpecificConfig cut short";
    else if (config.object_type < 1 || config.object_type > 4)
        config.unsupported = "an audio object type other than 1 to 4, which ADTS cannot carry";
    else if (config.frequency_index > 12)
        config.unsupported = "a reserved sampling frequency index";
    else if (config.channels == 0)
        config.unsupported = "channel configuration 0 (channels set in the stream), which ADTS cannot carry";
    else if (config.channels > 7)
        config.unsupported = "a reserved channel configuration";
    else
        config.unsupported = nullptr;
    return config;
}

unsigned aac_sample_rate(const aac_config& config)
{
    static const unsigned rates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000, 7350};
    return config.frequency_index < 13 ? rates[config.frequency_index] : 0;
}

bool adts_frame_fits(std::size_t payload_size)
{
    return payload_size <= ADTS_MAX_FRAME - ADTS_HEADER_SIZE;
}

void make_adts_header(const aac_config& config, std::size_t payload_size, std::uint8_t* header)
{
    const auto length = static_cast<unsigned>(payload_size + ADTS_HEADER_SIZE);
    const unsigned profile = config.object_type - 1;
    header[0] = 0xFF;
    header[1] = 0xF1; // syncword end, MPEG-4, layer 0, no CRC
    header[2] = static_cast<std::uint8_t>(profile << 6 | config.frequency_index << 2 | config.channels >> 2);
    header[3] = static_cast<std::uint8_t>((config.channels & 3) << 6 | (length >> 11 & 3));
    header[4] = static_cast<std::uint8_t>(length >> 3);
    header[5] = static_cast<std::uint8_t>((length & 7) << 5 | 0x1F); // buffer fullness 0x7FF: variable rate
    header[6] = 0xFC;                                                  // one raw data block
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

bool is_extended_coded_frame(const std::uint8_t* data, std::size_t available)
{
    constexpr unsigned FRAME_COMMAND = 5;
    const unsigned packet = ex_packet_type(TAG_VIDEO, data, available);
    return frame_type_of(data[0]) != FRAME_COMMAND &&
           (packet == VIDEO_EX_CODED_FRAMES || packet == VIDEO_EX_CODED_FRAMES_X);
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
        return avc_config_picture_size(data + 5, size < 5 ? 0 : size - 5, picture);
    if (codec == VIDEO_CODEC_HEVC && data[1] == AVC_SEQUENCE_HEADER)
        return size > 5 && hevc_config_picture_size(data + 5, size - 5, picture.width, picture.height);
    if (frame_type_of(data[0]) != FRAME_KEYFRAME)
        return false;
    if (codec == CODEC_H263)
        return h263_picture_size(data + 1, size - 1, picture);
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
