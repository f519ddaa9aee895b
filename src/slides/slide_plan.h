// The walk ahead over a slide's tag headers that tells what its .flv file
// will hold before a byte of it is written. A slide that fits the walk's
// buffer is read from the recording once; of a larger one, what lies beyond
// is read twice (of large tags, only the headers and a few data bytes).
#pragma once

#include "flv/flv_format.h"
#include "io/byte_stream.h"
#include "restart/codec_use.h"
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
// it) and where the recording's frames may follow a new run: the track's
// first keyframe after it, in the slide, that copying may resume at. A
// keyframe flag alone does not make a clean start: the frame's own units
// say what it is, read with the track's sequence header (config, tag
// data) in force.
struct slide_frames {
    bool has_frame = false;
    bool starts_on_keyframe = false; // flagged, and decoders may begin there as it stands
    random_access first_access;      // of the first frame, where it is flagged
    bool has_keyframe = false;       // a keyframe copying may resume at, in the slide
    std::uint64_t keyframe_offset = 0;
    std::uint32_t keyframe_ts = 0;
    // Where copying resumes: the keyframe, or (an HEVC CRA, which becomes
    // a BLA) the frame after its leading pictures, which the new run takes.
    std::uint64_t resume_offset = 0;
    bool resume_as_bla = false;
    unsigned passed_keyframes = 0; // flagged keyframes before it that copying may not resume at
    std::uint64_t end = 0; // without such a keyframe: where the slide ends
};
slide_frames find_slide_frames(in_stream& look, const slide_range& range, int track,
                               const std::vector<std::uint8_t>& config);
// Of an open keyframe (the tag at offset), the frames of its track after it
// that are shown before it: how many, and the first frame after them (0
// where they run past the slide).
struct leading_pictures {
    unsigned count = 0;
    std::uint64_t end = 0;
};
leading_pictures leading_pictures_of(in_stream& look, const slide_range& range, std::uint64_t offset, int track);

// Counts the tags of the slide that go to its .flv file, up to the tag that
// begins the next slide or the end of the recording, with the tags of its
// new starts in place of those they replace; false on a read error
// (look.error).
bool plan_slide(in_stream& look, const slide_range& range, const std::vector<slide_start>& starts,
                slide_stats& stats);
