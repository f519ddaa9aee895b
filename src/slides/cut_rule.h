// Where slides begin: slide n + 1 begins with the first tag, after slide n
// began, whose timestamp is greater than cue point n. A tag that passes
// several cue points at once (the same time twice, times closer than a
// frame, cues before the recording's first tag) begins the last slide it
// passes into; the slides in between hold nothing.
#pragma once

#include <cstdint>
#include <vector>

// The slide a tag at timestamp t belongs to while slide cur_slide is being
// written: cur_slide, or the last one whose cue point before it t passes.
// The cue list ends with CUE_END, which no timestamp passes. Timestamps are
// the full 32 bits.
std::int32_t slide_of(const std::vector<std::uint32_t>& cues, std::int32_t cur_slide, std::uint32_t t);
