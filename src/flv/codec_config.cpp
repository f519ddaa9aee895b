// Slides after the first need the decoder configuration that the recording
// sends once, at its start: the most recent sequence headers are kept and
// written at the head of every later .flv slide file.
#include "flv/split_run.h"

#include <cstring>

config_kind classify_config(std::uint8_t tag_type, const std::uint8_t* data, std::size_t available)
{
    if (available < 1)
        return config_kind::none;
    if (tag_type == TAG_VIDEO) {
        if (data[0] & VIDEO_EX_HEADER_BIT)
            return (data[0] & 0x0F) == VIDEO_EX_SEQUENCE_START ? config_kind::video : config_kind::none;
        const unsigned codec = data[0] & 0x0F;
        if ((codec == VIDEO_CODEC_AVC || codec == VIDEO_CODEC_HEVC) && available >= 2 &&
            data[1] == AVC_SEQUENCE_HEADER)
            return config_kind::video;
    } else if (tag_type == TAG_AUDIO) {
        if ((data[0] >> 4) == SOUND_AAC && available >= 2 && data[1] == AAC_SEQUENCE_HEADER)
            return config_kind::audio;
    }
    return config_kind::none;
}

std::uint64_t copy_config_tag(split_run& run, config_kind kind, std::uint32_t data_size)
{
    carried_tag& keep = kind == config_kind::video ? run.video_config : run.audio_config;
    keep.held = false;
    if (data_size > MAX_CARRIED_DATA)
        return copy_bytes(run.rec, run.flv_out, data_size);

    keep.bytes.resize(TAG_HEADER_SIZE + data_size);
    std::memcpy(keep.bytes.data(), run.tag, TAG_HEADER_SIZE);
    const std::size_t copied = read_bytes(run.rec, keep.bytes.data() + TAG_HEADER_SIZE, data_size);
    write_bytes(run.flv_out, keep.bytes.data() + TAG_HEADER_SIZE, copied);
    keep.held = copied == data_size;
    return copied;
}

// Each kept header goes in at the slide's Timestamp 0, sharing the
// TimestampExtended of the slide's first tag, unless that first tag is itself
// a header of the same kind.
static void write_carried(split_run& run, carried_tag& keep)
{
    std::uint8_t* header = keep.bytes.data();
    put_be(header + TAG_TIMESTAMP_POS, 3, 0);
    header[TAG_TIMESTAMP_EXT_POS] = run.tag[TAG_TIMESTAMP_EXT_POS];
    std::uint8_t prev_tag_size[PREV_TAG_SIZE_LEN];
    put_be(prev_tag_size, 4, static_cast<std::uint32_t>(keep.bytes.size()));
    write_bytes(run.flv_out, keep.bytes.data(), keep.bytes.size());
    write_bytes(run.flv_out, prev_tag_size, PREV_TAG_SIZE_LEN);
}

void write_carried_configs(split_run& run, config_kind first_tag_kind)
{
    if (run.video_config.held && first_tag_kind != config_kind::video)
        write_carried(run, run.video_config);
    if (!run.separate_audio && run.audio_config.held && first_tag_kind != config_kind::audio)
        write_carried(run, run.audio_config);
}
