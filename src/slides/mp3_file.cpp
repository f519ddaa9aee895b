// .mp3 slide files: each audio tag's data behind its format byte, as it
// stands. That is MP3 for MP3 recordings; other sound formats without a file
// of their own go the same way, with one warning.
#include "slides/audio_kinds.h"

#include <cstring>

namespace {

void check_sound_format(audio_stream& stream, unsigned sound_format, notes& found)
{
    if (stream.warned_sound_format || is_mp3(sound_format))
        return;
    stream.warned_sound_format = true;
    add_note(found, "%s: the audio is %s (SoundFormat %u), not MP3; the .mp3 slide files hold its raw payload",
             stream.recording.c_str(), sound_format_name(sound_format), sound_format);
}

}  // namespace

void start_mp3_file(const audio_slide& slide, const audio_stream& stream, std::int32_t cur_slide, const tag_class& c,
                    notes& found)
{
    if (c.aac.aac)
        add_note(found, "%s: slide %d has AAC audio with %s; it goes to %s as raw payload", stream.recording.c_str(),
                 cur_slide, stream.aac.unsupported, slide.out.path.c_str());
}

move_result write_raw_payload(audio_slide& slide, audio_stream& stream, const tag_header& tag, const tag_class& c,
                              in_stream& src, notes& found)
{
    if (c.head_size >= 1 && !c.aac.aac)
        check_sound_format(stream, c.sound_format, found);
    if (tag.data_size == 0)
        return move_result::done;
    if (skip_bytes(src, 1) < 1)
        return result_of(src, nullptr, 0, 1);
    const std::uint64_t copied = copy_bytes(src, slide.out, tag.data_size - 1u);
    return result_of(src, &slide.out, copied, tag.data_size - 1u);
}

bool copy_plain_mp3(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const std::uint8_t* data)
{
    const unsigned sound_format = sound_format_of(data[0]);
    std::uint8_t* room = out_room(slide.out, tag.data_size - 1);
    if ((sound_format != SOUND_AAC && !is_mp3(sound_format) && !stream.warned_sound_format) || room == nullptr)
        return false;
    std::memcpy(room, data + 1, tag.data_size - 1);
    slide.out.len += tag.data_size - 1;
    return true;
}
