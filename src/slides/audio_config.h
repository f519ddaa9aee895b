// What the sequence header of an audio stream behind the extended header
// (SoundFormat 9) tells of it, by codec: an OpusHead, a FLAC STREAMINFO, an
// AudioSpecificConfig. Its legacy header bits mean something else there.
#pragma once

#include "flv/ex_header.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The audio file a codec behind the extended header gets in separate mode:
// its extension, and whether it is Ogg Opus or the codec's frames one after
// the other (behind a file header built from the SequenceStart where the
// codec has one: FLAC's).
struct extended_audio_file {
    std::uint32_t fourcc;
    const char* ext;
    bool ogg;
    bool needs_start; // no file without a usable SequenceStart
};
// nullptr for a codec without a file of its own (it goes to .mp3 as raw payload).
const extended_audio_file* extended_audio_file_of(std::uint32_t fourcc);
// Why a SequenceStart's data (behind the 5-byte header) cannot start the
// codec's file; nullptr when it can.
const char* audio_start_fault(std::uint32_t fourcc, const std::uint8_t* config, std::size_t size);
