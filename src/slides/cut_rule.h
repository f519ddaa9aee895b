// Where slides begin: slide n + 1 begins with the first tag, after slide n
// began, whose timestamp is greater than cue point n.
#pragma once

#include <cstdint>
#include <vector>

// The slide a tag at timestamp t belongs to while slide cur_slide is being
// written: cur_slide or the one after it, never further. The cue list ends
// with CUE_END, which no timestamp passes. Timestamps are the full 32 bits.
std::int32_t slide_of(const std::vector<std::uint32_t>& cues, std::int32_t cur_slide, std::uint32_t t);
