// The walk ahead over a slide's tag headers that tells what its .flv file
// will hold before a byte of it is written. A slide that fits the walk's
// buffer is read from the recording once; of a larger one, what lies beyond
// is read twice (of large tags, only the headers and a few data bytes).
#pragma once

#include "flv/flv_format.h"
#include "io/byte_stream.h"
#include "restart/slide_start.h"
#include "slides/slide_meta.h"

#include <cstdint>
#include <vector>

// The look-ahead's own buffer, for what the walk's does not hold: it jumps
// over large tags with small reads, and reads on over small ones in blocks.
constexpr std::size_t LOOK_AHEAD_BUFFER_SIZE = 256 * 1024;
// The walk's buffer, which the look-ahead reads a slide from where it fits:
// a slide of up to this size is read from the recording once.
constexpr std::size_t SHARED_WINDOW_SIZE = 4 * 1024 * 1024;


struct slide_range {
    std::uint64_t first_tag; // offset of the header of the slide's first .flv tag
    std::uint64_t file_size;
    const std::vector<std::uint32_t>* cues;
    std::int32_t cur_slide;
    std::uint32_t base_ts;
    bool video_only; // separate mode: the .flv slide holds video tags only
};

// The slide's first coded video frame of a track (as video_track_of gives
// it) and the track's first keyframe after it, from a walk over its tags.
struct slide_frames {
    bool has_frame = false;
    bool starts_on_keyframe = false;
    bool has_keyframe = false; // a keyframe after the first frame, in the slide
    std::uint64_t keyframe_offset = 0;
    std::uint32_t keyframe_ts = 0;
    std::uint64_t end = 0; // without such a keyframe: where the slide ends
};
slide_frames find_slide_frames(in_stream& look, const slide_range& range, int track);

// Counts the tags of the slide that go to its .flv file, up to the tag that
// begins the next slide or the end of the recording, with the tags of its
// new starts in place of those they replace; false on a read error
// (look.error).
bool plan_slide(in_stream& look, const slide_range& range, const std::vector<slide_start>& starts,
                slide_stats& stats);
