#include "slides/cut_rule.h"

#include <cstddef>

std::int32_t slide_of(const std::vector<std::uint32_t>& cues, std::int32_t cur_slide, std::uint32_t t)
{
    return t > cues[static_cast<std::size_t>(cur_slide)] ? cur_slide + 1 : cur_slide;
}
