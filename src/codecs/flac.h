// FLAC: the STREAMINFO metadata block (behind its 4-byte block header) that
// FLV sends as the SequenceStart: block and frame sizes (10 bytes), then 20
// bits of rate, 3 of channels - 1, 5 of bits per sample - 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::size_t STREAMINFO_BLOCK_SIZE = 4 + 34;

// Why the block cannot start a .flac file; nullptr when it can.
const char* stream_info_fault(const std::uint8_t* block, std::size_t size);

struct flac_format {
    unsigned sample_rate = 0;
    unsigned channels = 0;
    unsigned sample_size = 0; // bits
};
// False where the block tells no sample rate.
bool flac_stream_info(const std::uint8_t* block, std::size_t size, flac_format& format);

// The file header a .flac file needs: "fLaC" and the STREAMINFO block, marked
// last. The block must be whole (stream_info_fault).
std::vector<std::uint8_t> flac_file_header(const std::vector<std::uint8_t>& stream_info_block);
