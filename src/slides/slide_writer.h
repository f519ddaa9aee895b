// Slide files: the .flv slide (header, onMetaData, carried codec configuration,
// re-based tags, frames encoded again) and the audio slide (raw payload, or AAC as ADTS).
// The splitter opens them when the first tag of their kind in a slide comes
// and closes them when it ends.
#pragma once

#include "codecs/aac.h"
#include "flv/flv_format.h"
#include "flv/tag_kind.h"
#include "io/byte_stream.h"
#include "slides/ogg_opus.h"

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

struct audio_slide {
    out_stream out;
    bool adts = false; // AAC frames behind ADTS headers, not raw payload
    std::uint32_t fourcc = 0; // the extended header's codec the file was opened for, 0 if none
    bool ogg = false;          // Opus packets on Ogg pages
    ogg_opus_stream opus;
};
// Ends what the file's framing needs ended, then closes it as close_out does.
bool close_audio_slide(audio_slide& slide);

struct flv_slide {
    out_stream out;
    std::uint32_t base_ts = 0; // Timestamp of the slide's first tag
};

bool is_open(const out_stream& out);

// Creates the file with the recording's header, the first PreviousTagSize
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

// The audio tag's data without its format byte.
move_result write_audio_payload(out_stream& out, std::uint32_t data_size, in_stream& src);

// The payload bytes behind an AAC raw frame tag's header_size bytes of FLV
// header, behind an ADTS header (the rest of the tag is skipped); the
// payload must fit a frame (adts_frame_fits).
move_result write_adts_frame(out_stream& out, const aac_config& config, std::uint32_t data_size,
                             std::uint32_t header_size, std::uint32_t payload, in_stream& src);

