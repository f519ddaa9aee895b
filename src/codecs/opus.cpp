#include "codecs/opus.h"

#include <cstring>

namespace {

constexpr std::size_t OPUS_HEAD_MIN = 19;

}  // namespace

const char* opus_head_fault(const std::uint8_t* head, std::size_t size)
{
    if (size < OPUS_HEAD_MIN || std::memcmp(head, "OpusHead", 8) != 0)
        return "no OpusHead";
    const unsigned channels = head[9], family = head[18];
    if (channels == 0)
        return "an OpusHead of no channels";
    if (family == 0 && channels > 2)
        return "an OpusHead whose channel mapping cannot hold its channel count";
    if (family != 0 && size < OPUS_HEAD_MIN + 2 + channels)
        return "an OpusHead whose channel mapping table is cut short";
    return nullptr;
}

unsigned opus_packet_samples(const std::uint8_t* packet, std::size_t size)
{
    if (size < 1)
        return 0;
    const unsigned config = packet[0] >> 3;
    // Frame sizes in 48 kHz samples: SILK 10, 20, 40, 60 ms; hybrid 10, 20;
    // CELT 2.5, 5, 10, 20.
    static const unsigned silk[4] = {480, 960, 1920, 2880}, hybrid[2] = {480, 960}, celt[4] = {120, 240, 480, 960};
    const unsigned frame = config < 12 ? silk[config % 4] : config < 16 ? hybrid[config % 2] : celt[config % 4];
    const unsigned code = packet[0] & 3;
    const unsigned frames = code == 0 ? 1 : code < 3 ? 2 : size >= 2 ? packet[1] & 0x3F : 0;
    return frame * frames;
}

bool opus_head_channels(const std::uint8_t* head, std::size_t size, unsigned& channels)
{
    static const char magic[] = "OpusHead";
    if (size < 19)
        return false;
    for (std::size_t i = 0; i < 8; ++i)
        if (head[i] != static_cast<std::uint8_t>(magic[i]))
            return false;
    channels = head[9];
    return channels > 0;
}
