// The run: cut an FLV recording into slide files at the cue file's times.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum class split_failure {
    none, open_recording, read_recording, create_slide, write_slide, slide_is_input, interrupted, not_flv
};

// How a run ended: completed (failure none), or failed on the file at path
// with the errno in error. A failed run keeps only the slides it finished.
struct split_result {
    split_failure failure = split_failure::none;
    std::string path;
    int error = 0;
    std::string input_path; // slide_is_input: the input that path names too
    std::int32_t slide = 0; // interrupted: the slide being written, and the
    std::uint64_t offset = 0; // byte offset of the tag the run stopped before
    std::string detail; // not_flv: what the file looks like, and how to make an FLV of it
};

// Set, to the signal's number, by a handler of a signal that asks the run to
// stop: it stops before its next tag, keeping the slides it finished. An
// atomic, lock-free, so that a handler may set it and the threads that
// make new starts may read it.
extern std::atomic<int> split_stop_signal;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler sets split_stop_signal");

// What a run tells its caller while it goes: the start of each slide after
// the first, warnings about the input, which never stop the run, how far
// it has come (now and then), and each slide that was written, as it ends.
enum class split_event_kind { slide_begun, warning, progress, slide_done };
struct split_progress {
    std::uint64_t bytes_read = 0, file_size = 0;
    std::size_t cue_points = 0;
    unsigned starts_in_flight = 0; // new starts being made on other threads
};
// A slide that holds tags: its first and last tag's timestamps (ms), the
// cut time that began it (none for slide 0) with where the cue file has
// it, and the files written for it.
struct split_slide {
    std::uint32_t first_ts = 0, last_ts = 0;
    bool has_cue = false;
    std::uint32_t cue_ms = 0;
    unsigned cue_line = 0;
    std::string cue_token;
    std::vector<std::string> files;
};
struct split_event {
    split_event_kind kind;
    std::int32_t slide;
    std::string text;
    const split_progress* progress; // progress events only
    const split_slide* done;         // slide_done events only
};
using split_listener = void (*)(const split_event& event, void* context);

// Runs once from clean state. In separate mode audio payload goes to .mp3
// slide files, video to .flv ones and other tags nowhere.
split_result split_flv(const char* flv_path, const char* cue_path, bool separate_audio, split_listener listener,
                       void* context);
