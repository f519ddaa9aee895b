// A slide whose first video frame is not a clean start (no keyframe, or a
// keyframe whose units say decoders cannot begin there) starts with one of
// its own: its video frames up to where the recording's may follow are
// decoded (from the last keyframe before the slide on, or the one before
// that) and encoded again as a run that starts with a keyframe. The new run's tags replace the recording's
// one for one, at the same timestamps; its sequence header goes first, and
// (where it does not hold the recording's parameter sets too, as H.264's and
// HEVC's do) the recording's goes in again where copying resumes at the
// next keyframe.
// Each video track (of Multitrack tags) has its own keyframes, so each
// gets a start of its own.
#pragma once

#include "flv/flv_format.h"
#include "flv/tag_kind.h"
#include "io/byte_stream.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct slide_start {
    bool active = false;
    int track = -1; // the video track, as video_track_of gives it
    std::uint64_t first_tag = 0; // the slide's first .flv tag
    std::uint64_t range_end = 0; // the tag where copying resumes, or the slide's end
    bool resumes_in_slide = false; // range_end is a keyframe of this slide
    // An HEVC CRA within the range, whose leading pictures (up to range_end)
    // the new run takes: the last of the new frames is the CRA as a BLA.
    std::uint64_t bla_tag = 0;
    std::vector<std::uint8_t> config;        // tag data of the new sequence header; empty where the codec has none
    // Tag data of the recording's header in force at range_end, written
    // there; empty where the new run's header holds the recording's
    // parameter sets too (H.264, HEVC).
    std::vector<std::uint8_t> resume_config;
    std::vector<std::vector<std::uint8_t>> frames; // tag data of each new frame, in file order
    std::size_t next = 0; // the next frame the walk writes
};

// What becomes of a tag of the slide: copied, held back (a sequence header
// of the recording's, fed to the decoder), replaced by the next new frame,
// or copied behind the recording's sequence header (the keyframe where
// copying resumes).
enum class start_action { copy, hold_config, replace_frame, resume };
start_action start_action_of(const slide_start& start, std::uint64_t offset, const tag_class& tag);


// Of a slide's starts (one per track that needs one), the one a tag belongs
// to (index; starts.size() where none) and what becomes of the tag.
struct start_match {
    start_action action = start_action::copy;
    std::size_t index = 0;
};
start_match match_start(const std::vector<slide_start>& starts, std::uint64_t offset, const tag_class& tag);
// The tag where the last of the starts' ranges ends; 0 where none is active.
std::uint64_t starts_range_end(const std::vector<slide_start>& starts);

// The memory the starts being made at once may take, shared by the threads
// that make them: a start waits until its share is free, unless no other
// start holds any (one always goes ahead, whatever its size).
struct start_budget {
    std::mutex lock;
    std::condition_variable freed;
    std::uint64_t left = 0;
    unsigned holders = 0;
};

// Where the new run comes from: the track's last keyframe before the slide
// (the offset of its tag) and the sequence header (tag data) in force
// there; and the one before it, for where decoding from the last does not
// give the slide's first pictures right (its leading pictures, or a
// recovery point's first frames). earlier_config is null without one.
struct start_source {
    std::uint64_t keyframe_offset;
    const std::vector<std::uint8_t>* keyframe_config;
    std::uint64_t earlier_offset;
    const std::vector<std::uint8_t>* earlier_config;
    // Set (by a signal, or when the start is no longer wanted) when the work
    // is to stop: it stops between frames, and the start is not made.
    const std::atomic<int>* stop;
    start_budget* budget = nullptr; // none: the start takes what it needs
};

// What one start may cost, checked before any frame is decoded: the pixels
// of the frames decoded (from the last keyframe to where copying resumes),
// and the recording's bytes of the frames encoded again, about what the new
// ones take in memory until the slide is written.
constexpr std::uint64_t MAX_START_PIXELS = std::uint64_t{1} << 30;
constexpr std::size_t MAX_NEW_RUN_BYTES = 32 * 1024 * 1024;
// What a start holds in memory while it is made, about: the decoder's and
// the encoder's pictures, START_PICTURES_HELD of them at 1.5 bytes a pixel
// (8-bit 4:2:0; more for deeper or fuller pictures), and the new frames.
constexpr std::uint64_t START_PICTURES_HELD = 48;
// Decodes the track's frames from the source's keyframe up to range_end and
// encodes those from first_tag on again into start; false (with why) when
// they cannot be, and then the track starts as cut.
bool encode_slide_start(in_stream& look, const start_source& source, slide_start& start, std::string& why);
