// VP9 as FLV carries it behind the extended header (FourCC vp09): a vpcC
// record as the SequenceStart, and the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The picture size of a VP9 keyframe's uncompressed header.
bool vp9_picture_size(const std::uint8_t* frame, std::size_t size, unsigned& width, unsigned& height);

// The VPCodecConfigurationRecord of a stream of 8-bit
// 4:2:0 frames of the given profile, its colour left unspecified.
std::vector<std::uint8_t> vp9_config_record(unsigned profile);
