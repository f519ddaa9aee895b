// AAC: the AudioSpecificConfig FLV sends as its sequence header, and the ADTS
// header each frame of an .aac file stands behind.
#pragma once

#include <cstddef>
#include <cstdint>

// An AAC AudioSpecificConfig as an ADTS header carries it. HE-AAC (object
// type 5 or 29) is described by its AAC core, as ADTS writers do.
struct aac_config {
    unsigned object_type = 0;
    unsigned frequency_index = 0;
    unsigned channels = 0;
    // Why ADTS cannot carry the configuration; nullptr when it can.
    const char* unsupported = "no AudioSpecificConfig before the first frame";
};
aac_config parse_audio_specific_config(const std::uint8_t* asc, std::size_t size);
// Samples per second of a configuration ADTS can carry.
unsigned aac_sample_rate(const aac_config& config);

constexpr std::size_t ADTS_HEADER_SIZE = 7;
constexpr std::size_t ADTS_MAX_FRAME = 8191; // header included: 13 bits
bool adts_frame_fits(std::size_t payload_size);
// The 7-byte header (no CRC) of one frame of payload_size bytes.
void make_adts_header(const aac_config& config, std::size_t payload_size, std::uint8_t* header);
