#include "flv/split_run.h"

#include <cstdio>

static const char* sound_format_name(unsigned sound_format)
{
    static const char* const names[16] = {
        "linear PCM (platform endian)", "ADPCM", "MP3", "linear PCM (little endian)",
        "Nellymoser 16 kHz mono", "Nellymoser 8 kHz mono", "Nellymoser", "G.711 A-law",
        "G.711 mu-law", "an extended audio header", "AAC", "Speex",
        "format 12", "format 13", "MP3 8 kHz", "device-specific sound"};
    return names[sound_format & 0x0F];
}

// The .mp3 slide files hold raw payload; say so once when it is not MP3.
static void check_sound_format(split_run& run, std::uint8_t format_byte)
{
    const unsigned sound_format = format_byte >> 4;
    if (run.warned_sound_format || sound_format == SOUND_MP3 || sound_format == SOUND_MP3_8K)
        return;
    run.warned_sound_format = true;
    report("warning: %s: the audio is %s (SoundFormat %u), not MP3; the .mp3 slide files hold its raw payload",
           run.rec.path.c_str(), sound_format_name(sound_format), sound_format);
}

// The audio data without its format byte; the PreviousTagSize behind it is
// left for the next pass.
tag_outcome write_mp3_payload(split_run& run, std::uint32_t data_size)
{
    if (run.mp3_out.file == nullptr && !open_slide_file(run, KIND_MP3))
        return tag_outcome::failed;
    if (data_size == 0)
        return tag_outcome::done;

    std::uint8_t format_byte = 0;
    if (read_bytes(run.rec, &format_byte, 1) < 1)
        return outcome_of(run, nullptr, 0, 1);
    check_sound_format(run, format_byte);

    const std::uint64_t copied = copy_bytes(run.rec, run.mp3_out, data_size - 1u);
    return outcome_of(run, &run.mp3_out, copied, data_size - 1u);
}

// Script data and other tags reach no file in separate mode.
tag_outcome skip_tag(split_run& run, std::uint32_t data_size)
{
    return outcome_of(run, nullptr, skip_bytes(run.rec, data_size), data_size);
}
