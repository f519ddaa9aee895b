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
