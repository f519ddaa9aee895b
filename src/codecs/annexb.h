// Annex B, the byte stream H.264 and HEVC encoders give: NAL units behind
// start codes. FLV carries them length-prefixed instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct nal_unit {
    const std::uint8_t* data;
    std::size_t size;
};

// The NAL units of an Annex B stream, start codes left out.
std::vector<nal_unit> annexb_units(const std::uint8_t* data, std::size_t size);

// The NAL units of a frame as FLV carries them, each behind a length of
// length_size bytes (1 to 4); a unit that runs past the end is cut short
// there (the frame may be its first bytes only, as read for its units'
// headers).
std::vector<nal_unit> length_prefixed_units(const std::uint8_t* data, std::size_t size, unsigned length_size);

// The NAL units of an Annex B stream, each behind its 4-byte length.
std::vector<std::uint8_t> length_prefixed(const std::uint8_t* annexb, std::size_t size);

// NAL units as avcC and hvcC records hold them, each behind its 16-bit length.
void append_record_units(std::vector<std::uint8_t>& record, const std::vector<nal_unit>& units);

// An RBSP as NAL unit bytes: an emulation prevention byte wherever two zero
// bytes stand before a byte of 3 or less.
void append_escaped(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& rbsp);
