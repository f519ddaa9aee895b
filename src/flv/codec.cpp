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
