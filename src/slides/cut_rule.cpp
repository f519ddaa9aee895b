#include "slides/cut_rule.h"

#include <cstddef>

std::int32_t slide_of(const std::vector<std::uint32_t>& cues, std::int32_t cur_slide, std::uint32_t t)
{
    std::int32_t slide = cur_slide;
    while (t > cues[static_cast<std::size_t>(slide)])
        ++slide;
    return slide;
}
