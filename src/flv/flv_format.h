// FLV layout as slidecut reads and writes it, and the typed tag header. All
// multi-byte fields are unsigned big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

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
constexpr std::uint8_t AVC_NALU = 1;

// DataSize is 24 bits.
constexpr std::uint32_t MAX_TAG_DATA_SIZE = 0xFFFFFF;

// A slide that starts more video than this after its last keyframe gets no
// pre-roll.
constexpr std::uint64_t MAX_PREROLL_BYTES = 32 * 1024 * 1024;

// Sequence headers larger than this are not carried into later slides.
constexpr std::size_t MAX_CARRIED_DATA = 64 * 1024;

// Big-endian fields of 0 to 4 bytes; a length of 0 or less yields 0.
std::uint32_t get_be(const std::uint8_t* bytes, std::int8_t length);
void put_be(std::uint8_t* bytes, std::int8_t length, std::uint32_t value);

struct tag_header {
    std::uint8_t type = 0;
    std::uint32_t data_size = 0;     // 24 bits
    // Milliseconds, 32 bits: TimestampExtended is the high byte.
    std::uint32_t timestamp = 0;
    std::uint32_t stream_id = 0;     // 24 bits
};

tag_header decode_tag_header(const std::uint8_t* bytes);
void encode_tag_header(const tag_header& tag, std::uint8_t* bytes);
// Timestamp and TimestampExtended of an encoded header.
void put_tag_timestamp(std::uint8_t* bytes, std::uint32_t timestamp);

// DataOffset of a file header: where the tag stream begins.
std::uint32_t data_offset_of(const std::uint8_t* file_header);
