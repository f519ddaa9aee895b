// What each kind of audio file does of its own, behind audio_file.h. Kinds
// whose tags are bare frames (FLAC's behind its header, AC-3, E-AC-3 and MP3
// behind the extended header) share write_codec_frames.
#pragma once

#include "slides/audio_file.h"

// size bytes of the tag's data from offset on, into `into` (or to out, or
// nowhere where both are null); the rest of the tag is skipped.
move_result take_part(in_stream& src, std::uint32_t data_size, std::size_t offset, std::size_t size,
                      std::vector<std::uint8_t>* into, out_stream* out);
// The first track's coded frames of an extended tag, without its header.
move_result write_codec_frames(audio_slide& slide, const tag_header& tag, const tag_class& c, in_stream& src);

// .mp3: the tag's data behind its format byte.
void start_mp3_file(const audio_slide& slide, const audio_stream& stream, std::int32_t cur_slide, const tag_class& c,
                    notes& found);
move_result write_raw_payload(audio_slide& slide, audio_stream& stream, const tag_header& tag, const tag_class& c,
                              in_stream& src, notes& found);
bool copy_plain_mp3(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const std::uint8_t* data);

// .aac: raw AAC frames behind ADTS headers.
move_result write_adts_tag(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const tag_class& c,
                           std::uint64_t tag_offset, in_stream& src, notes& found);
bool copy_plain_adts(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const std::uint8_t* data);

// .opus: Ogg Opus (RFC 7845).
void start_opus_file(audio_slide& slide, const audio_stream& stream, std::int32_t cur_slide);
move_result write_opus_tag(audio_slide& slide, audio_stream& stream, const tag_header& tag, const tag_class& c,
                           in_stream& src);
void finish_opus_file(audio_slide& slide);

// .flac: "fLaC" and the STREAMINFO block before the frames.
void start_flac_file(audio_slide& slide, const audio_stream& stream);
