// Walks a recording tag by tag: the file header, then each tag's header and
// offset. Tag data is moved by the caller through the reader's stream. It
// writes nothing.
#pragma once

#include "flv/flv_format.h"
#include "io/byte_stream.h"

#include <cstdint>
#include <string>

struct tag_reader {
    in_stream in;
    std::uint8_t file_header[FLV_HEADER_SIZE] = {};
};

enum class walk_step { tag, end, cut_off_header, read_error };

bool open_recording(tag_reader& reader, const std::string& path);
void close_recording(tag_reader& reader);

// Reads the 9-byte file header and moves to the tag stream at DataOffset;
// returns the header bytes read (fewer than 9 at the end of the recording).
std::size_t enter_tag_stream(tag_reader& reader);
bool has_flv_signature(const tag_reader& reader);

// Reads the PreviousTagSize in front of the next tag and the tag's header.
// A PreviousTagSize cut off by the end is the plain end of the walk.
walk_step next_tag(tag_reader& reader, tag_header& tag, std::uint64_t& tag_offset);
