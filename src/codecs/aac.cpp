#include "codecs/aac.h"

#include "codecs/bit_reader.h"

namespace {

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
