// The extended headers of Enhanced FLV, video (IsExHeader) and audio
// (SoundFormat 9): the packet type behind any ModEx packets, and for a
// Multitrack packet its kind and its first track (the lowest id): FourCC,
// id and where its codec data lies in the tag's data. A multitrack tag's
// frame type, in its first byte, is that of every track in it: such a tag is
// a keyframe when that says keyframe and its packet type is coded frames.
#pragma once

#include <cstddef>
#include <cstdint>

// FourCCs as the extended headers and onMetaData's codec ids give them.
constexpr std::uint32_t fourcc(const char (&name)[5])
{
    return std::uint32_t{static_cast<std::uint8_t>(name[0])} << 24 | std::uint32_t{static_cast<std::uint8_t>(name[1])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(name[2])} << 8 | static_cast<std::uint8_t>(name[3]);
}
constexpr std::uint32_t FOURCC_AVC1 = fourcc("avc1"), FOURCC_HVC1 = fourcc("hvc1"), FOURCC_VVC1 = fourcc("vvc1"),
                        FOURCC_AV01 = fourcc("av01"), FOURCC_VP09 = fourcc("vp09");
constexpr std::uint32_t FOURCC_OPUS = fourcc("Opus"), FOURCC_FLAC = fourcc("fLaC"), FOURCC_AAC = fourcc("mp4a"),
                        FOURCC_AC3 = fourcc("ac-3"), FOURCC_EAC3 = fourcc("ec-3"), FOURCC_MP3 = fourcc(".mp3");

constexpr unsigned EX_MULTITRACK_VIDEO = 6, EX_MULTITRACK_AUDIO = 5, EX_MOD_EX = 7;
constexpr unsigned ONE_TRACK = 0, MANY_TRACKS = 1, MANY_TRACKS_MANY_CODECS = 2;

struct ex_packet {
    bool extended = false;  // the tag has an extended header
    bool complete = false;  // and it could be read to the first track's data
    bool past_tag = false;  // a ModEx or track size runs past the tag's data
    unsigned packet_type = 0;
    bool multitrack = false;
    unsigned multitrack_type = ONE_TRACK;
    unsigned tracks = 0;     // in this tag
    unsigned track_id = 0;   // of the first track
    std::uint32_t fourcc = 0; // of the first track
    std::size_t data_offset = 0; // of the first track's codec data
    std::size_t data_size = 0;
};

// From the tag's type and its first data bytes; size is the tag's whole data
// size, available how many of its bytes are at data. Track sizes beyond
// available are not followed, so the first track is found where it lies in
// the bytes given.
ex_packet parse_ex_packet(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available, std::size_t size);
