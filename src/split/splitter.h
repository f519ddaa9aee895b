// The run: cut an FLV recording into slide files at the cue file's times.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

enum class split_failure {
    none, open_recording, read_recording, create_slide, write_slide, slide_is_input, interrupted
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
};

// Set, to the signal's number, by a handler of a signal that asks the run to
// stop: it stops before its next tag, keeping the slides it finished. An
// atomic, lock-free, so that a handler may set it and the threads that
// make new starts may read it.
extern std::atomic<int> split_stop_signal;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler sets split_stop_signal");

// What a run tells its caller while it goes: the start of each slide after
// the first, and warnings about the input, which never stop the run.
enum class split_event_kind { slide_begun, warning };
struct split_event {
    split_event_kind kind;
    std::int32_t slide;
    std::string text;
};
using split_listener = void (*)(const split_event& event, void* context);

// Runs once from clean state. In separate mode audio payload goes to .mp3
// slide files, video to .flv ones and other tags nowhere.
split_result split_flv(const char* flv_path, const char* cue_path, bool separate_audio, split_listener listener,
                       void* context);
