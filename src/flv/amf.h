// AMF0, as script-data tags carry it: a writer that appends values to a
// buffer, and a reader for the onMetaData of a recording.
#pragma once

#include "io/byte_stream.h"

#include <cstdint>
#include <string>
#include <vector>

using amf_buffer = std::vector<std::uint8_t>;

enum amf_type : std::uint8_t {
    AMF_NUMBER = 0x00,
    AMF_BOOLEAN = 0x01,
    AMF_STRING = 0x02,
    AMF_OBJECT = 0x03,
    AMF_NULL = 0x05,
    AMF_UNDEFINED = 0x06,
    AMF_REFERENCE = 0x07,
    AMF_ECMA_ARRAY = 0x08,
    AMF_OBJECT_END = 0x09,
    AMF_STRICT_ARRAY = 0x0A,
    AMF_DATE = 0x0B,
    AMF_LONG_STRING = 0x0C,
    AMF_UNSUPPORTED = 0x0D,
    AMF_XML_DOCUMENT = 0x0F,
};

void amf_number(amf_buffer& out, double value);
void amf_boolean(amf_buffer& out, bool value);
// A string of up to 65535 bytes; a longer one becomes a long string.
void amf_string(amf_buffer& out, const std::string& value);
void amf_date(amf_buffer& out, double ms_since_epoch, std::int16_t time_zone);
// A key of an object or ECMA array: its 16-bit length and bytes, no type.
void amf_key(amf_buffer& out, const std::string& key);
void amf_object_start(amf_buffer& out);
void amf_ecma_array_start(amf_buffer& out, std::uint32_t count);
void amf_strict_array_start(amf_buffer& out, std::uint32_t count);
// The empty key and the end marker that close an object or ECMA array.
void amf_object_end(amf_buffer& out);

// One entry of a recording's onMetaData: its key and its value as raw AMF0.
struct amf_entry {
    std::string key;
    amf_buffer value;
};

// The entries of an onMetaData tag's data, read straight from the recording:
// data_size bytes of in, all of which are consumed. Entries the reader
// cannot read (truncated, unknown types, nesting deeper than it follows) end
// the read: those before them are kept, and complete is false.
struct amf_metadata {
    std::vector<amf_entry> entries;
    bool complete = true;
};
// Whether a script tag's first bytes name onMetaData.
bool is_on_metadata(const std::uint8_t* data, std::size_t available);
constexpr std::size_t ON_METADATA_NAME_SIZE = 13; // type, length, "onMetaData"
amf_metadata read_on_metadata(in_stream& in, std::uint32_t data_size);

// The number an entry holds, if it is a number.
bool amf_number_value(const amf_entry& entry, double& value);
