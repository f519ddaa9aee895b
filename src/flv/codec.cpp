#include "flv/codec.h"

#include "flv/flv_format.h"

config_kind classify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    if (available < 1)
        return config_kind::none;
    if (tag_type == TAG_VIDEO) {
        if (data[0] & VIDEO_EX_HEADER_BIT)
            return (data[0] & 0x0F) == VIDEO_EX_SEQUENCE_START ? config_kind::video : config_kind::none;
        const unsigned codec = data[0] & 0x0F;
        if ((codec == VIDEO_CODEC_AVC || codec == VIDEO_CODEC_HEVC) && available >= 2 &&
            data[1] == AVC_SEQUENCE_HEADER)
            return config_kind::video;
    } else if (tag_type == TAG_AUDIO) {
        if (sound_format_of(data[0]) == SOUND_AAC && available >= 2 && data[1] == AAC_SEQUENCE_HEADER)
            return config_kind::audio;
    }
    return config_kind::none;
}

namespace {

// Reads an AudioSpecificConfig most significant bit first; reading past its
// end sets short_read.
struct bit_reader {
    const std::uint8_t* bytes;
    std::size_t size;
    std::size_t pos = 0;
    bool short_read = false;
};

unsigned read_bits(bit_reader& in, unsigned count)
{
    unsigned value = 0;
    for (unsigned i = 0; i < count; ++i, ++in.pos) {
        if (in.pos >= in.size * 8) {
            in.short_read = true;
            return 0;
        }
        value = (value << 1) | ((in.bytes[in.pos / 8] >> (7 - in.pos % 8)) & 1u);
    }
    return value;
}

// 5 bits; 31 escapes to 32 plus 6 more bits.
unsigned read_object_type(bit_reader& in)
{
    const unsigned type = read_bits(in, 5);
    return type == 31 ? 32 + read_bits(in, 6) : type;
}

constexpr unsigned AAC_SBR = 5, AAC_PS = 29, EXPLICIT_FREQUENCY = 15;

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
