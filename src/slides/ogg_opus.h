// Opus audio slide files as players open them: Ogg Opus (RFC 7845), the
// identification header from the recording's SequenceStart, a comment
// header, then the slide's packets on pages whose granule positions count
// the samples decoded so far.
#pragma once

#include "io/byte_stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Why an OpusHead cannot start an Ogg Opus file; nullptr when it can.
const char* opus_head_fault(const std::uint8_t* head, std::size_t size);

// Samples at 48 kHz that one Opus packet decodes to (its TOC byte and frame
// count); 0 for a packet that tells none.
unsigned opus_packet_samples(const std::uint8_t* packet, std::size_t size);

struct ogg_opus_stream {
    std::uint32_t serial = 0;
    std::uint32_t page = 0;   // sequence number of the next page
    std::uint64_t granule = 0; // pre-skip plus the samples of the packets written
    std::vector<std::uint8_t> lacing; // of the page being filled
    std::vector<std::uint8_t> body;
};

// The two header pages. A slide that does not start the recording's audio
// gets a pre-skip of 0: its first samples are the slide's own.
void start_ogg_opus(ogg_opus_stream& ogg, out_stream& out, const std::vector<std::uint8_t>& head, bool first_slide,
                    std::uint32_t serial);
void write_opus_packet(ogg_opus_stream& ogg, out_stream& out, const std::uint8_t* packet, std::size_t size);
// The last page, marked as the end of the stream.
void finish_ogg_opus(ogg_opus_stream& ogg, out_stream& out);
