// H.264: FLV carries its NAL units length-prefixed, behind an avcC record
// that holds its parameter sets.
#pragma once

#include "codecs/random_access.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The AVCDecoderConfigurationRecord of an encoder's SPS and PPS (Annex B),
// behind those of the record `also` (which may be empty), so that a decoder
// given it knows the parameter sets of both streams; empty when the
// encoder's are not there. Profile and level are the first SPS's.
std::vector<std::uint8_t> avc_config_record(const std::uint8_t* annexb, std::size_t size,
                                            const std::vector<std::uint8_t>& also);
// A parameter set id (0 to 31) that no SPS or PPS of the record uses.
int unused_parameter_set_id(const std::vector<std::uint8_t>& record);
// profile_idc and level_idc of a record's first SPS (the record's own
// header bytes are not always the SPS's).
bool avc_profile_of(const std::vector<std::uint8_t>& record, int& profile, int& level);

// The picture size the first SPS of an AVCDecoderConfigurationRecord tells,
// its cropping taken off.
bool avc_config_picture_size(const std::uint8_t* record, std::size_t size, unsigned& width, unsigned& height);

// The size of the lengths before a frame's NAL units, lengthSizeMinusOne + 1
// of an AVCDecoderConfigurationRecord; 4 where the record is too short.
unsigned avc_length_size(const std::uint8_t* record, std::size_t size);

// What decoding may begin with at a frame (NAL units behind lengths of
// length_size bytes): an IDR is clean; an I picture that is no IDR is open;
// any other picture with a recovery point SEI is a recovery point, right
// after its recovery_frame_cnt frames. Reads the SEI and the first slice
// header, no further.
random_access avc_random_access(const std::uint8_t* frame, std::size_t size, unsigned length_size);
