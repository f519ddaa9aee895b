// VP9 as FLV carries it behind the extended header (FourCC vp09): a vpcC
// record as the SequenceStart, and the frames.
#pragma once

#include "codecs/random_access.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The picture size of a VP9 keyframe's uncompressed header.
bool vp9_picture_size(const std::uint8_t* frame, std::size_t size, unsigned& width, unsigned& height);

// The VPCodecConfigurationRecord of a stream of 8-bit
// 4:2:0 frames of the given profile, its colour left unspecified.
std::vector<std::uint8_t> vp9_config_record(unsigned profile);

// What decoding may begin with at a frame (or superframe, whose first
// frame it reads): a key frame is clean, an intra-only frame is none.
random_access vp9_random_access(const std::uint8_t* frame, std::size_t size);
