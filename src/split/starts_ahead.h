// The new starts of the slides to come, made on worker threads while the
// walk copies. A scout walks the recording's tags ahead of the walk, as the
// walk will (the cut rule, each slide's first .flv tag, each video track's
// last keyframe and the sequence header in force there), and queues a job
// for each slide; workers, one per processor the process may use, take the
// jobs in slide order. The walk takes a slide's starts when it opens the
// slide, and makes them itself where no job matches what it found (or none
// was started yet), so the slides are the same whatever the threads do:
// each start is encoded by one thread, with the same settings.
#pragma once

#include "io/byte_stream.h"
#include "restart/slide_start.h"
#include "slides/slide_plan.h"
#include "slides/slide_writer.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The most recent keyframe of a video track (the offset of its tag's
// header) and the sequence header in force there, and the one before it:
// where a later slide's new start is decoded from.
struct track_keyframe {
    int track;
    std::uint64_t offset;
    std::vector<std::uint8_t> config;
    bool has_earlier = false;
    std::uint64_t earlier_offset = 0;
    std::vector<std::uint8_t> earlier_config;
};
bool operator==(const track_keyframe& a, const track_keyframe& b);
// The keyframe at offset becomes its track's, with the video sequence
// header kept for the track then: the walk and the scout note them alike.
void note_keyframe(std::vector<track_keyframe>& keyframes, carried_configs& carried, std::uint64_t offset, int track);

// What became of one track's start: not wanted (the slide has no frame of
// the track, or starts on a keyframe of it), made, or not made, and why.
struct track_start {
    int track = -1;
    slide_frames frames;
    bool wanted = false;
    bool made = false;
    slide_start start;
    std::string why;
};

// A slide's starts, from the keyframes the walk knows when the slide opens.
struct slide_starts {
    std::uint64_t first_tag = 0;
    std::vector<track_keyframe> keyframes;
    std::vector<track_start> tracks; // in the keyframes' order
    bool read_failed = false;        // look could not read the recording
};
// Which tracks want a start (tracks), then those made (or why not); a
// worker does both at once.
void find_wanted_starts(in_stream& look, const slide_range& range, slide_starts& made);
void encode_wanted_starts(in_stream& look, const slide_range& range, slide_starts& made, const std::atomic<int>& stop,
                          start_budget* budget);
void make_slide_starts(in_stream& look, const slide_range& range, slide_starts& made, const std::atomic<int>& stop,
                       start_budget* budget);

// The memory the starts being made at once may take, beyond the first.
constexpr std::uint64_t STARTS_MEMORY_BUDGET = std::uint64_t{768} << 20;

struct starts_ahead;
// Starts the scout and workers on the recording at path, with the walk's
// cue list (which outlives them), for the slides after walk_slide; null
// where they cannot be started.
starts_ahead* start_ahead(const std::string& path, std::uint64_t file_size, const std::vector<std::uint32_t>& cues,
                          bool video_only, unsigned workers, std::int32_t walk_slide);
// The starts made ahead for the slide, in place of starts, when they were
// made from the first tag and keyframes starts has; false (starts as it
// was) where the walk must make them itself. Waits for a job being worked
// on; a signal (split_stop_signal) ends the wait, with false.
bool take_slide_starts(starts_ahead* ahead, std::int32_t slide, slide_starts& starts);
// The budget the workers' starts share, for a start the walk makes beside
// them; null without workers.
start_budget* budget_of(starts_ahead* ahead);
// How many starts the workers are making now; 0 without workers.
unsigned starts_in_flight(starts_ahead* ahead);
// Stops the work, waits for the threads and frees them.
void stop_ahead(starts_ahead* ahead);
