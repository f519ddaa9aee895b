// What a file given as the recording looks like where it is no FLV: the
// containers people most often have instead, told from their first bytes.
#pragma once

#include <cstddef>
#include <cstdint>

enum class foreign_kind { unknown, mp4, matroska, mpeg_ts, text };
// From the file's first bytes (as many as size, 376 or more for MPEG-TS).
foreign_kind foreign_kind_of(const std::uint8_t* head, std::size_t size);
