// What the sequence header of an audio stream behind the extended header
// (SoundFormat 9) tells of it, by codec: an OpusHead, a FLAC STREAMINFO, an
// AudioSpecificConfig. Its legacy header bits mean something else there.
#pragma once

#include <cstddef>
#include <cstdint>

// FourCCs as FLV's extended headers and onMetaData's codec ids give them.
constexpr std::uint32_t fourcc(const char (&name)[5])
{
    return std::uint32_t{static_cast<std::uint8_t>(name[0])} << 24 | std::uint32_t{static_cast<std::uint8_t>(name[1])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(name[2])} << 8 | static_cast<std::uint8_t>(name[3]);
}
constexpr std::uint32_t FOURCC_OPUS = fourcc("Opus"), FOURCC_FLAC = fourcc("fLaC"), FOURCC_AAC = fourcc("mp4a");

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
