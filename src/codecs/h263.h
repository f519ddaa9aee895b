// Sorenson H.263, FLV's video codec 2: a picture header begins each frame.
#pragma once

#include <cstddef>
#include <cstdint>

// The picture size of a picture header: start code, version, temporal
// reference, then the size, given or coded.
bool h263_picture_size(const std::uint8_t* data, std::size_t size, unsigned& width, unsigned& height);
