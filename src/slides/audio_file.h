// The audio slide files of separate mode, one kind a file: the raw payload
// of MP3 and of any sound format without a file of its own (.mp3), AAC frames
// behind ADTS headers (.aac), Ogg Opus (.opus), FLAC (.flac), AC-3 and E-AC-3
// syncframes (.ac3, .eac3), and MP3 frames behind the extended header (.mp3).
// What the recording's audio has told so far (its AudioSpecificConfig, its
// extended SequenceStart) stays from slide to slide; a slide's file opens
// with the first of its tags that reaches one. The walk opens the file under
// its name and hands each audio tag over, classified.
#pragma once

#include "codecs/aac.h"
#include "flv/flv_format.h"
#include "flv/tag_kind.h"
#include "io/byte_stream.h"
#include "slides/notes.h"

#include <cstdint>
#include <string>
#include <vector>

enum class audio_kind { mp3, adts, mp3_frames, opus, flac, ac3, eac3 };
// "mp3", "aac", "opus", ...
const char* audio_file_ext(audio_kind kind);

// Ogg pages of one Opus stream being written.
struct ogg_opus_stream {
    std::uint32_t serial = 0;
    std::uint32_t page = 0;    // sequence number of the next page
    std::uint64_t granule = 0; // pre-skip plus the samples of the packets written
    std::vector<std::uint8_t> lacing; // of the page being filled
    std::vector<std::uint8_t> body;
    bool page_has_end = false; // a packet ends on the page being filled
    bool continued = false;    // it goes on with a packet the page before began
};

// What the recording's audio has told so far, which the files of later
// slides start from, and the warnings given once a run.
struct audio_stream {
    std::string recording; // its path, for warnings
    aac_config aac;        // the most recent AudioSpecificConfig
    // The most recent extended SequenceStart: its codec, its data behind the
    // 5-byte header, and why it cannot start a file (nullptr if it can).
    std::uint32_t start_fourcc = 0;
    std::vector<std::uint8_t> start;
    const char* start_fault = "no SequenceStart";
    bool opus_seen = false; // a slide before this one had Opus packets
    bool warned_sound_format = false;
    bool warned_tracks = false;
};

// The slide's audio file, while one is open.
struct audio_slide {
    out_stream out;
    audio_kind kind = audio_kind::mp3;
    ogg_opus_stream ogg;
    std::vector<std::uint8_t> packet; // an Opus packet on its way to a page
};

// What becomes of an audio tag: its data read as the SequenceStart, skipped
// (a configuration, or a packet no file takes), or written by a file kind's
// writer; the file of that kind opens first where the slide has none.
enum class audio_action { take_start, skip, write };
struct audio_route {
    audio_action action = audio_action::skip;
    audio_kind kind = audio_kind::mp3;
};
// Takes what the tag's first bytes tell (an AudioSpecificConfig) and says
// where the tag goes; the warnings it finds are added to found.
audio_route route_audio_tag(audio_stream& stream, const audio_slide& slide, const tag_class& tag,
                            std::uint64_t tag_offset, notes& found);

// Reads an extended SequenceStart's data from src into the stream.
move_result take_audio_start(audio_stream& stream, const tag_header& tag, const tag_class& c, std::uint64_t tag_offset,
                             in_stream& src, notes& found);

// What a file of the kind starts with, once it is open under its name; the
// tag that opens it is c, its slide cur_slide.
void start_audio_file(audio_slide& slide, audio_kind kind, const audio_stream& stream, std::int32_t cur_slide,
                      const tag_class& c, notes& found);

// The tag's data as the route's writer takes it.
move_result write_audio_tag(audio_slide& slide, audio_stream& stream, audio_kind writer, const tag_header& tag,
                            const tag_class& c, std::uint64_t tag_offset, in_stream& src, notes& found);

// A plain frame (legacy, not a configuration) whose whole data is at data,
// into an .mp3 file as raw payload or an .aac one behind its ADTS header.
// False where it must go the general way (a warning to give, no room left in
// the file's block, another kind of file).
bool copy_plain_audio(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const std::uint8_t* data);

// Ends what the file's framing needs ended, then closes it as close_out does.
bool close_audio_slide(audio_slide& slide);
