// What the splitter needs to know of the codecs: which tags are sequence
// headers, and what the sound formats are called.
#pragma once

#include <cstddef>
#include <cstdint>

// Codec configuration carried into slides that do not start with their own.
enum class config_kind { none, video, audio };
// From the tag type and the first bytes of its data (as many as available).
config_kind classify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available);

// SoundFormat of an audio tag's first data byte.
unsigned sound_format_of(std::uint8_t format_byte);
bool is_mp3(unsigned sound_format);
const char* sound_format_name(unsigned sound_format);
