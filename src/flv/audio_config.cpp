#include "flv/audio_config.h"

#include "flv/codec.h"
#include "flv/ex_header.h"
#include "flv/flv_format.h"
#include "flv/ogg_opus.h"

#include <algorithm>

namespace {

// RFC 7845: "OpusHead", version, channel count, pre-skip, input rate, ...
// Opus always decodes at 48 kHz; the input rate is only informative.
bool opus_facts(const std::uint8_t* head, std::size_t size, audio_facts& facts)
{
    static const char magic[] = "OpusHead";
    if (size < 19)
        return false;
    for (std::size_t i = 0; i < 8; ++i)
        if (head[i] != static_cast<std::uint8_t>(magic[i]))
            return false;
    facts.sample_rate = 48000;
    facts.channels = head[9];
    return facts.channels > 0;
}

// The STREAMINFO block behind its 4-byte block header: block and frame
// sizes (10 bytes), then 20 bits of rate, 3 of channels - 1, 5 of bits per
// sample - 1.
bool flac_facts(const std::uint8_t* block, std::size_t size, audio_facts& facts)
{
    if (size < 4 + 13 || (block[0] & 0x7F) != 0)
        return false;
    const std::uint8_t* info = block + 4 + 10;
    facts.sample_rate = std::uint32_t{info[0]} << 12 | std::uint32_t{info[1]} << 4 | info[2] >> 4;
    facts.channels = ((info[2] >> 1) & 7) + 1;
    facts.sample_size = ((info[2] & 1) << 4 | info[3] >> 4) + 1;
    return facts.sample_rate > 0;
}

bool aac_facts(const std::uint8_t* asc, std::size_t size, audio_facts& facts)
{
    const aac_config config = parse_audio_specific_config(asc, size);
    facts.sample_rate = aac_sample_rate(config);
    facts.channels = config.channels;
    return facts.sample_rate > 0;
}

}  // namespace

std::uint32_t fourcc_of(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    const ex_packet p = parse_ex_packet(tag_type, data, available, available);
    return p.complete ? p.fourcc : 0;
}

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

const extended_audio_file* extended_audio_file_of(std::uint32_t fourcc)
{
    static const extended_audio_file files[] = {
        {FOURCC_OPUS, "opus", true, true},  {FOURCC_FLAC, "flac", false, true}, {FOURCC_AC3, "ac3", false, false},
        {FOURCC_EAC3, "eac3", false, false}, {FOURCC_MP3, "mp3", false, false},
    };
    for (const extended_audio_file& file : files)
        if (file.fourcc == fourcc)
            return &file;
    return nullptr;
}

const char* audio_start_fault(std::uint32_t fourcc, const std::uint8_t* config, std::size_t size)
{
    if (fourcc == FOURCC_OPUS)
        return opus_head_fault(config, size);
    constexpr std::size_t STREAMINFO_BLOCK = 4 + 34;
    if (fourcc == FOURCC_FLAC && (size < STREAMINFO_BLOCK || (config[0] & 0x7F) != 0))
        return "no FLAC STREAMINFO block";
    return nullptr;
}

std::vector<std::uint8_t> flac_file_header(const std::vector<std::uint8_t>& stream_info_block)
{
    constexpr std::size_t BLOCK = 4 + 34;
    std::vector<std::uint8_t> header(4 + BLOCK);
    const char marker[] = "fLaC";
    std::copy(marker, marker + 4, header.begin());
    std::copy(stream_info_block.begin(), stream_info_block.begin() + BLOCK, header.begin() + 4);
    header[4] = 0x80; // the last metadata block, STREAMINFO
    return header;
}
