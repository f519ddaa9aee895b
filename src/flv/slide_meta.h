// A slide's own onMetaData: what its tags add up to, counted tag by tag in
// the order they stand in the slide file, and the AMF0 that describes it.
#pragma once

#include "flv/amf.h"
#include "flv/audio_config.h"
#include "flv/codec.h"

#include <cstdint>
#include <vector>

struct keyframe_entry {
    std::uint32_t ts;
    std::uint64_t body_offset; // of its tag header, from the end of the onMetaData tag
};

// The tags of one kind, audio or video.
struct stream_stats {
    std::uint64_t tags = 0;
    std::uint64_t size = 0;    // 11 + data size each
    std::uint64_t payload = 0; // data size - 1 of non-empty tags
    std::uint32_t first_ts = 0, prev_ts = 0;
    std::uint32_t frame_gap = 0; // first non-zero step between timestamps
    std::uint8_t first_byte = 0;
    std::uint32_t fourcc = 0; // of the first tag behind an extended header
};

struct slide_stats {
    std::uint64_t body_bytes = 0; // every tag behind the onMetaData, PreviousTagSize included
    bool any_media = false;
    std::uint32_t first_media_ts = 0;
    bool any_tag = false;
    std::uint32_t last_ts = 0;

    stream_stats video, audio;
    std::uint64_t data_size = 0; // 11 + data size of each script tag
    std::uint32_t last_keyframe_ts = 0;
    bool last_video_is_keyframe = false;
    std::vector<keyframe_entry> keyframes;
    bool has_picture = false;
    picture_size picture;
    aac_config aac; // of the first AAC sequence header, which knows the real rate
    bool has_audio_facts = false; // of the first extended audio header that tells them
    audio_facts codec_facts;

    std::uint64_t frames = 0;     // audio and video frames the file holds, counted up to 1
    bool slide_has_frames = false; // the slide holds some, in any of its files
};

// One tag of the slide file: its re-based timestamp, data size as written
// (all of it, or what a cut-off recording holds), and its first data bytes.
struct slide_tag {
    std::uint8_t type;
    std::uint32_t ts;
    std::uint32_t data_size;
    std::uint64_t file_bytes; // header, data and PreviousTagSize as written
    const std::uint8_t* head;
    std::size_t head_size;
};
void count_tag(slide_stats& stats, const slide_tag& tag);

// The fields of the recording's onMetaData that the slide's own values
// replace; every other field is carried as it stands.
bool is_computed_key(const std::string& key);

// The data of the slide's onMetaData tag, keyframe positions counted from the
// start of the file; with_keyframes false leaves the index out.
amf_buffer build_on_metadata(const slide_stats& stats, const std::vector<amf_entry>& recording_meta,
                             bool with_keyframes);
// The slide file's size, its onMetaData tag included.
std::uint64_t slide_file_size(const slide_stats& stats, std::size_t metadata_size);
