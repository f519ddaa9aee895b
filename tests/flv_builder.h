// Recordings built byte by byte, slide files parsed back, and the built
// binary run in a scratch folder.
#pragma once

#include "split/splitter.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using bytes = std::vector<std::uint8_t>;

struct test_tag {
    std::uint8_t type;
    std::uint32_t ts; // low 24 bits
    std::uint8_t ext; // TimestampExtended, the high 8
    bytes data;
};
inline std::uint32_t full_ts(const test_tag& tag) { return std::uint32_t{tag.ext} << 24 | tag.ts; }

bytes flv_header(std::uint32_t data_offset = 9);
void append_tag(bytes& out, const test_tag& tag);
// Header, data_offset - 9 filler bytes, PreviousTagSize 0, then the tags.
bytes make_recording(const std::vector<test_tag>& tags, std::uint32_t data_offset = 9);
// Distinct data for a tag, so that every byte can be traced back.
bytes tag_data(std::size_t size, std::uint32_t seed, std::uint8_t first = 0x22);
// Bytes written as hexadecimal digits, two a byte.
bytes hex(const char* text);

// Six hours of silent MP3 audio, two frames (26 ms each) every 20 s from
// 10 s on: timestamps run well past the 24 bits of the Timestamp field
// (4 h 39 min 37.216 s).
std::vector<test_tag> six_hour_tags();

struct parsed_flv {
    bytes header;
    bytes metadata; // data of a leading onMetaData tag at 0, left out of tags
    std::vector<test_tag> tags;
    std::vector<std::uint32_t> prev_sizes; // behind each tag
    bool well_formed = false;
};
parsed_flv parse_flv(const bytes& file);
// A slide file without the onMetaData tag that opens it: the recording's
// header and the tags as they were cut.
bytes without_metadata(const bytes& slide);

bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const bytes& content);
void write_text(const std::filesystem::path& path, const std::string& text);

struct run_result {
    int status;
    std::string out;
    std::string err;
};
// Runs the slidecut binary with the given arguments, each quoted, behind the
// shell commands in prefix (a limit, say).
run_result run_slidecut(const std::vector<std::string>& args, const std::string& prefix = "");

// A run of the splitter in this process.
struct split_outcome {
    split_result result;
    std::string warnings;             // one line each
    std::vector<std::int32_t> begun;  // slides begun after the first
};
split_outcome split_here(const std::filesystem::path& rec, const std::filesystem::path& cue, bool separate);

// A fresh folder, removed again with the fixture.
std::filesystem::path make_scratch_dir(const std::string& name);
