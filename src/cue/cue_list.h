// Cue list: the times, in milliseconds, after which each next slide begins.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Ends every cue list; no timestamp can pass it.
constexpr std::uint32_t CUE_END = 0xFFFFFFFF;

// The value of one cue token, or false when the token yields no cue point.
bool cue_token_value(const char* sLine, std::uint32_t* value);

// Reads every cue token of an open text stream, in file order.
std::vector<std::uint32_t> read_cue_stream(std::FILE* in);

// Reads the cue file at cue_path. A file that cannot be opened gives the empty
// list (only CUE_END); one that cannot be read to its end, the cue points read
// before. Either way warning says what happened; otherwise it is left empty.
std::vector<std::uint32_t> read_cues(const char* cue_path, std::string& warning);

// Where a cue point stands in the cue file: its line and token as written.
struct cue_source {
    unsigned line = 0;
    std::string token;
};
// The cue list as read_cues reads it, with where each cue point came from,
// and warnings ("warning: ..." lines) for what the file may not have meant:
// tokens that gave no time or not the time they seem to say, and times out
// of order; many of one kind in one line.
struct cue_reading {
    std::vector<std::uint32_t> cues;
    std::vector<cue_source> sources; // one a cue point, CUE_END left out
    std::vector<std::string> warnings;
    std::string fault; // the warning that the file cannot be opened or read to its end, if so
};
cue_reading read_cue_file(const char* cue_path);
cue_reading read_cue_text(std::FILE* in, const std::string& name);

// A time in milliseconds as the cue file's colon form writes it.
std::string colon_form_of(std::uint64_t ms);
