#include "slides/audio_config.h"

#include "codecs/flac.h"
#include "codecs/opus.h"

const extended_audio_file* extended_audio_file_of(std::uint32_t fourcc)
{
    static const extended_audio_file files[] = {
        {FOURCC_OPUS, "opus", true, true},  {FOURCC_FLAC, "flac", false, true}, {FOURCC_AC3, "ac3", false, false},
        {FOURCC_EAC3, "eac3", false, false}, {FOURCC_MP3, "mp3", false, false},
    };
    for (const extended_audio_file& file : files)
        if (file.fourcc == fourcc)
            return &file;
    return nullptr;
}

const char* audio_start_fault(std::uint32_t fourcc, const std::uint8_t* config, std::size_t size)
{
    if (fourcc == FOURCC_OPUS)
        return opus_head_fault(config, size);
    if (fourcc == FOURCC_FLAC)
        return stream_info_fault(config, size);
    return nullptr;
}
