// AV1 as FLV carries it behind the extended header (FourCC av01): an av1C
// record as the SequenceStart, temporal units without their temporal
// delimiters as coded frames.
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
