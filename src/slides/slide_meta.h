// A slide's own onMetaData: what its tags add up to, counted tag by tag in
// the order they stand in the slide file, and the AMF0 that describes it.
#pragma once

#include "codecs/aac.h"
#include "flv/amf.h"
#include "flv/flv_format.h"
#include "flv/tag_kind.h"

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
    // Tags that carry no picture or sound (configurations, empty tags), so
    // counted where the tags that are told one by one are: the plain
    // frames, most tags, need nothing more.
    std::uint64_t without_frame = 0;
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

// What every tag adds to its stream: its count, sizes, first byte and the
// first non-zero step between timestamps.
inline void add_to_stream(stream_stats& st, std::uint32_t ts, std::uint32_t data_size, std::uint8_t first_byte)
{
    if (st.tags == 0) {
        st.first_ts = ts;
        st.first_byte = first_byte;
    } else if (st.frame_gap == 0 && ts != st.prev_ts) {
        st.frame_gap = ts - st.prev_ts;
    }
    st.prev_ts = ts;
    ++st.tags;
    st.size += TAG_HEADER_SIZE + data_size;
    if (data_size > 0)
        st.payload += data_size - 1;
}

// What every tag adds to the slide.
inline void add_to_slide(slide_stats& s, bool media, std::uint32_t ts, std::uint64_t file_bytes)
{
    if (media) {
        if (!s.any_media)
            s.first_media_ts = ts;
        s.any_media = true;
    }
    s.any_tag = true;
    s.last_ts = ts;
    s.body_bytes += file_bytes;
}

// count_tag for a plain frame (is_plain_frame) written whole with its
// PreviousTagSize; inline, since the look-ahead counts most tags here.
inline void count_plain_frame(slide_stats& s, std::uint8_t type, std::uint32_t ts, std::uint32_t data_size,
                              std::uint8_t first_byte)
{
    if (type == TAG_VIDEO) {
        add_to_stream(s.video, ts, data_size, first_byte);
        s.last_video_is_keyframe = false;
    } else {
        add_to_stream(s.audio, ts, data_size, first_byte);
    }
    add_to_slide(s, true, ts, TAG_HEADER_SIZE + data_size + PREV_TAG_SIZE_LEN);
}

// The fields of the recording's onMetaData that the slide's own values
// replace; every other field is carried as it stands.
bool is_computed_key(const std::string& key);

// The data of the slide's onMetaData tag, keyframe positions counted from the
// start of the file; with_keyframes false leaves the index out.
amf_buffer build_on_metadata(const slide_stats& stats, const std::vector<amf_entry>& recording_meta,
                             bool with_keyframes);
// The slide file's size, its onMetaData tag included.
std::uint64_t slide_file_size(const slide_stats& stats, std::size_t metadata_size);
