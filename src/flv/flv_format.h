// FLV layout as slidecut reads and writes it, and the typed tag header. All
// multi-byte fields are unsigned big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/big_endian.h"

// File header: Signature (3), Version (1), type flags (1), DataOffset (4).
constexpr std::size_t FLV_HEADER_SIZE = 9;
constexpr std::size_t FLV_DATA_OFFSET_POS = 5;

// Every tag is followed by a PreviousTagSize; one also stands before the first.
constexpr std::size_t PREV_TAG_SIZE_LEN = 4;

// Tag header: TagType (1), DataSize (3), Timestamp (3), TimestampExtended (1),
// StreamID (3).
constexpr std::size_t TAG_HEADER_SIZE = 11;
constexpr std::size_t TAG_TYPE_POS = 0;
constexpr std::size_t TAG_DATA_SIZE_POS = 1;
constexpr std::size_t TAG_TIMESTAMP_POS = 4;
constexpr std::size_t TAG_TIMESTAMP_EXT_POS = 7;
constexpr std::size_t TAG_STREAM_ID_POS = 8;

constexpr std::uint8_t TAG_AUDIO = 8;
constexpr std::uint8_t TAG_VIDEO = 9;
constexpr std::uint8_t TAG_SCRIPT = 18;

// First byte of audio tag data: SoundFormat in the high nibble.
constexpr std::uint8_t SOUND_MP3 = 2;
constexpr std::uint8_t SOUND_AAC = 10;
constexpr std::uint8_t SOUND_MP3_8K = 14;
constexpr std::uint8_t SOUND_EX_HEADER = 9; // the low nibble is the AudioPacketType
constexpr std::uint8_t AUDIO_EX_SEQUENCE_START = 0;
constexpr std::uint8_t AUDIO_EX_CODED_FRAMES = 1;
constexpr std::uint8_t AUDIO_EX_MULTICHANNEL_CONFIG = 4;
constexpr std::uint8_t AAC_SEQUENCE_HEADER = 0;

// First byte of video tag data: FrameType in the high nibble, CodecID in the
// low one; with the ExHeader bit set, the low nibble is the packet type.
constexpr std::uint8_t VIDEO_CODEC_AVC = 7;
constexpr std::uint8_t VIDEO_CODEC_HEVC = 12;
constexpr std::uint8_t AVC_SEQUENCE_HEADER = 0;
constexpr std::uint8_t VIDEO_EX_HEADER_BIT = 0x80;
constexpr std::uint8_t VIDEO_EX_SEQUENCE_START = 0;
constexpr std::uint8_t VIDEO_EX_CODED_FRAMES = 1;
constexpr std::uint8_t VIDEO_EX_CODED_FRAMES_X = 3; // composition time 0
constexpr std::uint8_t VIDEO_EX_METADATA = 4;
constexpr std::uint8_t AVC_NALU = 1;

// DataSize is 24 bits.
constexpr std::uint32_t MAX_TAG_DATA_SIZE = 0xFFFFFF;

// Sequence headers larger than this are not carried into later slides.
constexpr std::size_t MAX_CARRIED_DATA = 64 * 1024;

struct tag_header {
    std::uint8_t type = 0;
    std::uint32_t data_size = 0;     // 24 bits
    // Milliseconds, 32 bits: TimestampExtended is the high byte.
    std::uint32_t timestamp = 0;
    std::uint32_t stream_id = 0;     // 24 bits
};

inline tag_header decode_tag_header(const std::uint8_t* bytes)
{
    tag_header tag;
    tag.type = bytes[TAG_TYPE_POS];
    tag.data_size = get_be24(bytes + TAG_DATA_SIZE_POS);
    tag.timestamp = get_be24(bytes + TAG_TIMESTAMP_POS) | std::uint32_t{bytes[TAG_TIMESTAMP_EXT_POS]} << 24;
    tag.stream_id = get_be24(bytes + TAG_STREAM_ID_POS);
    return tag;
}

// Timestamp and TimestampExtended of an encoded header.
inline void put_tag_timestamp(std::uint8_t* bytes, std::uint32_t timestamp)
{
    put_be24(bytes + TAG_TIMESTAMP_POS, timestamp & 0xFFFFFF);
    bytes[TAG_TIMESTAMP_EXT_POS] = static_cast<std::uint8_t>(timestamp >> 24);
}

// The tag's header with the given timestamp in place of its own.
inline void encode_tag_header_at(const tag_header& tag, std::uint32_t timestamp, std::uint8_t* bytes)
{
    bytes[TAG_TYPE_POS] = tag.type;
    put_be24(bytes + TAG_DATA_SIZE_POS, tag.data_size);
    put_tag_timestamp(bytes, timestamp);
    put_be24(bytes + TAG_STREAM_ID_POS, tag.stream_id);
}
inline void encode_tag_header(const tag_header& tag, std::uint8_t* bytes)
{
    encode_tag_header_at(tag, tag.timestamp, bytes);
}

// DataOffset of a file header: where the tag stream begins.
std::uint32_t data_offset_of(const std::uint8_t* file_header);
