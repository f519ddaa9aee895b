// HEVC as FLV carries it, legacy (CodecID 12) or behind the extended header
// (FourCC hvc1): an HEVCDecoderConfigurationRecord (hvcC) as the sequence
// header, whose SPS tells the picture size.
#pragma once

#include <cstddef>
#include <cstdint>

// The picture size of the first SPS in an hvcC record, its conformance
// window cropped off; false where the record holds none that reads.
bool hevc_config_picture_size(const std::uint8_t* record, std::size_t size, unsigned& width, unsigned& height);
