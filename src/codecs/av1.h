// AV1 as FLV carries it behind the extended header (FourCC av01): an av1C
// record as the SequenceStart, temporal units without their temporal
// delimiters as coded frames.
#pragma once

#include "codecs/random_access.h"

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

// What decoding may begin with at a temporal unit, from its first frame
// header: a key frame shown at once is clean; a key frame kept to be shown
// later (a forward key frame), one shown from before, or an intra-only
// frame is none, since frames around it may refer to others.
random_access av1_random_access(const std::uint8_t* obus, std::size_t size);
