// AV1 and VP9 as FLV carries them behind the extended header (FourCC av01):
// an av1C record as the SequenceStart, temporal units without their temporal
// delimiters as coded frames; for VP9 (vp09) a vpcC record, and the frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The av1C record of an encoder's global header: an av1C record already,
// or OBUs holding the sequence header; empty when it holds none.
std::vector<std::uint8_t> av1_config_record(const std::uint8_t* header, std::size_t size);
// A temporal unit's OBUs without its temporal delimiters.
std::vector<std::uint8_t> without_temporal_delimiters(const std::uint8_t* unit, std::size_t size);

// The largest picture a sequence header found among the OBUs allows.
bool av1_picture_size(const std::uint8_t* obus, std::size_t size, unsigned& width, unsigned& height);
// The picture size of a VP9 keyframe's uncompressed header.
bool vp9_picture_size(const std::uint8_t* frame, std::size_t size, unsigned& width, unsigned& height);

// VP9, FourCC vp09: the VPCodecConfigurationRecord of a stream of 8-bit
// 4:2:0 frames of the given profile, its colour left unspecified.
std::vector<std::uint8_t> vp9_config_record(unsigned profile);
