// Opus: the OpusHead identification header of RFC 7845 ("OpusHead",
// version, channel count, pre-skip, input rate, ...), which FLV sends as the
// SequenceStart, and the packets' TOC bytes. Opus always decodes at 48 kHz;
// the input rate is only informative.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr unsigned OPUS_SAMPLE_RATE = 48000;

// Why an OpusHead cannot start an Ogg Opus file; nullptr when it can.
const char* opus_head_fault(const std::uint8_t* head, std::size_t size);
// Samples at 48 kHz that one Opus packet decodes to (its TOC byte and frame
// count); 0 for a packet that tells none.
unsigned opus_packet_samples(const std::uint8_t* packet, std::size_t size);
// The channel count of an OpusHead; false where it tells none.
bool opus_head_channels(const std::uint8_t* head, std::size_t size, unsigned& channels);
