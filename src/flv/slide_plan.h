// The walk ahead over a slide's tag headers that tells what its .flv file
// will hold before a byte of it is written: the recording is read front to
// back, and only headers and a few data bytes twice.
#pragma once

#include "flv/byte_stream.h"
#include "flv/flv_format.h"
#include "flv/slide_meta.h"

#include <cstdint>
#include <vector>

// The look-ahead's own buffer: small, since it mostly jumps from header to
// header.
constexpr std::size_t LOOK_AHEAD_BUFFER_SIZE = 16 * 1024;

// Enough of a tag's data for its kind, keyframe flag and an onMetaData name.
constexpr std::size_t TAG_HEAD_SIZE = 16;

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

// Whether the slide's first coded video frame (sequence headers aside) is
// one a decoder cannot start from: then the slide needs pre-roll.
bool needs_preroll(in_stream& look, const slide_range& range);

// The pre-roll: the recording's coded video frames from the keyframe whose
// header is at from up to the tag at to, all behind the read position.
struct preroll_walk {
    std::uint64_t offset; // header of the next tag to look at
    std::uint64_t to;
    std::uint8_t bytes[TAG_HEADER_SIZE + TAG_HEAD_SIZE] = {}; // the last tag found: header, first data bytes
    std::size_t head_size = 0;                                // its data bytes held in bytes
};
// The next coded video frame of the pre-roll: its header and the offset of
// its data, its first data bytes in walk; false at the end.
bool next_preroll_tag(in_stream& look, preroll_walk& walk, tag_header& tag, std::uint64_t& data_offset);

// Counts the pre-roll into stats (unless null), every tag at timestamp 0,
// and returns its video data bytes; stops once they pass limit.
std::uint64_t plan_preroll(in_stream& look, std::uint64_t from, std::uint64_t to, slide_stats* stats,
                           std::uint64_t limit);
