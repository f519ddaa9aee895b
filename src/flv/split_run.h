// State of one splitter run, shared by the splitter, separate mode and the
// codec configuration carried into each slide.
#pragma once

#include "flv/byte_stream.h"
#include "flv/flv_layout.h"

#include <cstdint>
#include <string>
#include <vector>

// The most recent sequence header of one kind: its tag header and data.
struct carried_tag {
    std::vector<std::uint8_t> bytes;
    bool held = false;
};

struct split_run {
    in_stream rec;
    out_stream flv_out;
    out_stream mp3_out;
    std::vector<std::uint32_t> cues;
    std::string base_name;
    std::int32_t cur_slide = 0;
    bool separate_audio = false;
    std::uint8_t flv[FLV_HEADER_SIZE] = {};
    std::uint8_t tag[TAG_HEADER_SIZE] = {};
    std::uint32_t base_ts = 0; // Timestamp of the first tag of the .flv slide file
    carried_tag video_config;
    carried_tag audio_config;
    bool warned_sound_format = false;
};

enum class tag_outcome { done, cut_off, failed };

// How a tag ended once moved bytes of the wanted ones were read, and written
// to out unless out is null: failed on a read or write error, cut_off when the
// recording ended first.
tag_outcome outcome_of(const split_run& run, const out_stream* out, std::uint64_t moved, std::uint64_t wanted);

bool open_slide_file(split_run& run, std::uint8_t kind);

tag_outcome write_flv_tag(split_run& run, std::uint32_t t, std::uint32_t data_size);
tag_outcome write_mp3_payload(split_run& run, std::uint32_t data_size);
tag_outcome skip_tag(split_run& run, std::uint32_t data_size);

// Codec configuration carried into slides that do not start with their own.
enum class config_kind { none, video, audio };
config_kind classify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available);
// Copies a sequence header's data to the .flv slide file, keeping it for later
// slides when it is small enough; returns the bytes copied.
std::uint64_t copy_config_tag(split_run& run, config_kind kind, std::uint32_t data_size);
void write_carried_configs(split_run& run, config_kind first_tag_kind);

// Diagnostics on standard error; standard output is flushed first so the two
// streams stay in order on a terminal.
void report(const char* format, ...);
