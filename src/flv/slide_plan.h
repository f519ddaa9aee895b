// The walk ahead over a slide's tag headers that tells what its .flv file
// will hold before a byte of it is written: the recording is read front to
// back, and only headers and a few data bytes twice.
#pragma once

#include "flv/byte_stream.h"
#include "flv/slide_meta.h"

#include <cstdint>
#include <vector>

// The look-ahead's own buffer: small, since it mostly jumps from header to
// header.
constexpr std::size_t LOOK_AHEAD_BUFFER_SIZE = 16 * 1024;

struct slide_range {
    std::uint64_t first_tag; // offset of the header of the slide's first .flv tag
    std::uint64_t file_size;
    const std::vector<std::uint32_t>* cues;
    std::int32_t cur_slide;
    std::uint32_t base_ts;
    bool video_only; // separate mode: the .flv slide holds video tags only
};

// Counts the tags of the slide that go to its .flv file, up to the tag that
// begins the next slide or the end of the recording; false on a read error
// (look.error).
bool plan_slide(in_stream& look, const slide_range& range, slide_stats& stats);
