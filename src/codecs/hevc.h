// HEVC as FLV carries it, legacy (CodecID 12) or behind the extended header
// (FourCC hvc1): an HEVCDecoderConfigurationRecord (hvcC) as the sequence
// header, whose SPS tells the picture size, and length-prefixed NAL units.
#pragma once

#include "codecs/random_access.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The picture size of the first SPS in an hvcC record, its conformance
// window cropped off; false where the record holds none that reads.
bool hevc_config_picture_size(const std::uint8_t* record, std::size_t size, unsigned& width, unsigned& height);

// The size of the lengths before a frame's NAL units, lengthSizeMinusOne + 1
// of an hvcC record; 4 where the record is too short.
unsigned hevc_length_size(const std::uint8_t* record, std::size_t size);

// The ids a run encoded again gives its VPS, SPS and PPS, where the encoder
// numbers them all 0: ids the recording's do not use, so that a decoder
// given both records knows both streams at once. Only the SPS id 15 and
// the PPS ids 15 to 30 are coded one byte longer than id 0, which keeps
// every unit's data where it was within its bytes.
struct hevc_ids {
    unsigned vps = 0, sps = 0, pps = 0;
};
// Ids none of the record's parameter sets take; false where none are free.
bool hevc_unused_ids(const std::vector<std::uint8_t>& record, hevc_ids& ids);

// The record of an encoder's parameter sets (Annex B), renumbered, before
// those of the record `also`; profile, level and formats are the encoder's
// SPS's. Empty where the encoder gave no VPS, SPS and PPS, or numbered them
// other than 0.
std::vector<std::uint8_t> hevc_config_record(const std::uint8_t* annexb, std::size_t size, const hevc_ids& ids,
                                             const std::vector<std::uint8_t>& also);
// An encoded picture (Annex B) as length-prefixed NAL units, renumbered;
// empty where a unit refers to a parameter set other than 0.
std::vector<std::uint8_t> hevc_frame(const std::uint8_t* annexb, std::size_t size, const hevc_ids& ids);

// What decoding may begin with at a frame (NAL units behind lengths of
// length_size bytes), from its first picture unit's type: IDR and BLA are
// clean, CRA is open (its RASL pictures refer to pictures before it).
random_access hevc_random_access(const std::uint8_t* frame, std::size_t size, unsigned length_size);
// The frame with its CRA units made BLA_N_LP, as a splice may: a BLA
// begins a coded video sequence of its own, so it may follow other
// pictures and other parameter sets; N_LP, since the leading pictures it
// had are not behind it any more. Empty where the frame holds no CRA.
std::vector<std::uint8_t> hevc_cra_as_bla(const std::uint8_t* frame, std::size_t size, unsigned length_size);
