// Walks a recording tag by tag: the file header, then each tag's header and
// offset. Tag data is moved by the caller through the reader's stream. It
// writes nothing.
#pragma once

#include "flv/flv_format.h"
#include "flv/tag_kind.h"
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

// The class of the tag whose data the stream stands at, from its first bytes,
// peeked: two tell a legacy header, an extended one needs TAG_HEAD_SIZE,
// script data the onMetaData name; of an audio tag, audio_head_size where
// more is wanted (for an AudioSpecificConfig).
tag_class peek_tag_class(in_stream& in, const tag_header& tag, std::size_t audio_head_size);
