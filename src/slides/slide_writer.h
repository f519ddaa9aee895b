// The .flv slide file: header, onMetaData, carried codec configuration,
// re-based tags, frames encoded again. The splitter opens it when the first
// tag of the slide comes and closes it when the slide ends.
#pragma once

#include "flv/flv_format.h"
#include "flv/tag_kind.h"
#include "io/byte_stream.h"

#include <cstdint>
#include <string>
#include <vector>

// The most recent sequence header of one kind and track, kept for later
// slides.
struct carried_tag {
    config_id id;
    tag_header header;
    std::vector<std::uint8_t> data;
    bool held = false;
};

// One per config_kind and track seen.
struct carried_configs {
    std::vector<carried_tag> kept;
};
carried_tag& carried_of(carried_configs& keep, config_id id);

struct flv_slide {
    out_stream out;
    std::uint32_t base_ts = 0; // Timestamp of the slide's first tag
};

// Creates the file with the recording's header (its DataOffset 9, where the
// slide's first PreviousTagSize follows), the first PreviousTagSize
// and the slide's onMetaData tag, whose data is metadata; the slide's
// timestamps count from base_ts.
bool open_flv_slide(flv_slide& slide, const std::string& path, const std::uint8_t* file_header, std::uint32_t base_ts,
                    const std::vector<std::uint8_t>& metadata);

// The kept headers a slide starts with, in config_kind order and by track:
// each unless the slide's first tag is itself a header of the same kind and
// track, or a video sequence header of a track that starts with one of its
// own (new_video_tracks); audio ones only where with_audio.
std::vector<const carried_tag*> carried_for(const carried_configs& keep, const std::vector<int>& new_video_tracks,
                                            bool with_audio, config_id first_tag);
// Writes them at the slide's timestamp 0.
void write_carried_configs(flv_slide& slide, const std::vector<const carried_tag*>& carried);

// Writes the tag re-based, its data from src and the PreviousTagSize behind
// it, which stays unread in src. A sequence header is kept in keep.
move_result write_flv_tag(flv_slide& slide, const tag_header& tag, config_id config, in_stream& src,
                          carried_configs& keep);

// A sequence header kept for later slides without being written.
move_result hold_config(const tag_header& tag, config_id config, in_stream& src, carried_configs& keep);

// A tag slidecut makes (data from memory) in the place of tag, at its
// timestamp re-based; tag's own data is left unread in src.
void write_new_tag(flv_slide& slide, const tag_header& tag, const std::vector<std::uint8_t>& data);
