#include "slides/slide_meta.h"

#include "flv/flv_format.h"

#include <cstring>

#ifndef SLIDECUT_VERSION
#define SLIDECUT_VERSION "unknown"
#endif

namespace {

// add_to_stream, and the codec of the first tag behind an extended header.
void count_stream(stream_stats& st, const slide_tag& tag)
{
    if (st.fourcc == 0 && tag.head_size > 0 && is_extended_header(tag.type, tag.head[0]))
        st.fourcc = fourcc_of(tag.type, tag.head, tag.head_size);
    add_to_stream(st, tag.ts, tag.data_size, tag.head_size > 0 ? tag.head[0] : 0);
}

void count_video(slide_stats& s, const slide_tag& tag)
{
    count_stream(s.video, tag);
    if (tag.data_size == 0 || !is_coded_video_frame(tag.head, tag.head_size))
        ++s.video.without_frame;
    if (tag.data_size == 0)
        return;
    const bool key = tag.head_size > 0 && frame_type_of(tag.head[0]) == FRAME_KEYFRAME;
    s.last_video_is_keyframe = key;
    if (!key)
        return;
    s.last_keyframe_ts = tag.ts;
    // A sequence header and the frame behind it at the same time share one
    // entry, the header's.
    if (s.keyframes.empty() || s.keyframes.back().ts != tag.ts)
        s.keyframes.push_back({tag.ts, s.body_bytes});
    if (!s.has_picture)
        s.has_picture = picture_size_of(tag.head, tag.head_size, s.picture);
}

void count_audio(slide_stats& s, const slide_tag& tag)
{
    count_stream(s.audio, tag);
    if (tag.data_size == 0 || classify_config(TAG_AUDIO, tag.head, tag.head_size) != config_kind::none)
        ++s.audio.without_frame;
    if (s.aac.unsupported != nullptr && is_aac_config(tag.head, tag.head_size))
        s.aac = parse_audio_specific_config(tag.head + 2, tag.head_size - 2);
    if (!s.has_audio_facts && tag.head_size > 0 && is_extended_header(TAG_AUDIO, tag.head[0]))
        s.has_audio_facts = audio_facts_of(tag.head, tag.head_size, s.codec_facts);
}

}  // namespace

void count_tag(slide_stats& s, const slide_tag& tag)
{
    const bool media = tag.type == TAG_VIDEO || tag.type == TAG_AUDIO;
    if (tag.type == TAG_VIDEO)
        count_video(s, tag);
    else if (tag.type == TAG_AUDIO)
        count_audio(s, tag);
    else
        s.data_size += TAG_HEADER_SIZE + tag.data_size;
    add_to_slide(s, media, tag.ts, tag.file_bytes);
}

bool is_computed_key(const std::string& key)
{
    static const char* const computed[] = {
        "hasMetadata", "hasVideo", "hasAudio", "hasKeyframes", "canSeekToEnd", "duration", "lasttimestamp",
        "lastkeyframetimestamp", "lastkeyframelocation", "width", "height", "videodatarate", "audiodatarate",
        "framerate", "videocodecid", "audiocodecid", "audiosamplerate", "audiosamplesize", "stereo", "audiodelay",
        "filesize", "videosize", "audiosize", "datasize", "keyframes", "metadatacreator"};
    for (const char* name : computed)
        if (key == name)
            return true;
    return false;
}

namespace {

constexpr std::uint64_t HEAD_BYTES = FLV_HEADER_SIZE + PREV_TAG_SIZE_LEN;

double seconds(std::uint64_t ms)
{
    return static_cast<double>(ms) / 1000.0;
}

// Duration as players and validators reckon it: from the first media tag to
// the last tag, plus one frame.
double duration_of(const slide_stats& s)
{
    if (!s.any_media)
        return 0;
    const std::uint32_t frame = s.audio.tags > 0 ? s.audio.frame_gap : s.video.frame_gap;
    return seconds(std::uint64_t{s.last_ts - s.first_media_ts} + frame);
}

double kbit_per_s(std::uint64_t bytes, double duration)
{
    return duration > 0 ? static_cast<double>(bytes) / 1024.0 * 8.0 / duration : 0;
}

struct field_writer {
    amf_buffer& out;
    std::uint32_t count = 0;
    void number(const char* key, double v) { amf_key(out, key), amf_number(out, v), ++count; }
    void boolean(const char* key, bool v) { amf_key(out, key), amf_boolean(out, v), ++count; }
    void string(const char* key, const std::string& v) { amf_key(out, key), amf_string(out, v), ++count; }
};

void write_keyframes(field_writer& f, const slide_stats& s, std::uint64_t body_start)
{
    amf_key(f.out, "keyframes");
    amf_object_start(f.out);
    amf_key(f.out, "times");
    amf_strict_array_start(f.out, static_cast<std::uint32_t>(s.keyframes.size()));
    for (const keyframe_entry& k : s.keyframes)
        amf_number(f.out, seconds(k.ts));
    amf_key(f.out, "filepositions");
    amf_strict_array_start(f.out, static_cast<std::uint32_t>(s.keyframes.size()));
    for (const keyframe_entry& k : s.keyframes)
        amf_number(f.out, static_cast<double>(body_start + k.body_offset));
    amf_object_end(f.out);
    ++f.count;
}

void write_video_fields(field_writer& f, const slide_stats& s, const std::vector<amf_entry>& recording_meta,
                        double duration)
{
    // The recording's own word first, then what the slide's pictures tell.
    double width = 0, height = 0;
    bool has_width = false, has_height = false;
    for (const amf_entry& e : recording_meta) {
        if (e.key == "width")
            has_width = amf_number_value(e, width);
        else if (e.key == "height")
            has_height = amf_number_value(e, height);
    }
    bool sized = has_width && has_height;
    if (!sized && s.has_picture) {
        width = s.picture.width, height = s.picture.height;
        sized = true;
    }
    if (sized) {
        f.number("width", width);
        f.number("height", height);
    }
    f.number("videodatarate", kbit_per_s(s.video.payload, duration));
    f.number("framerate", duration > 0 ? static_cast<double>(s.video.tags) / duration : 0);
    // Behind an extended header, the FourCC as a number, as encoders write it.
    f.number("videocodecid", s.video.fourcc != 0 ? s.video.fourcc : video_codec_of(s.video.first_byte));
    f.number("videosize", static_cast<double>(s.video.size));
    f.number("lastkeyframetimestamp", seconds(s.last_keyframe_ts));
}

// Behind the extended header, what the codec's configuration tells, and
// nothing where it tells nothing: the header bits mean something else there.
void write_extended_audio_fields(field_writer& f, const slide_stats& s)
{
    f.number("audiocodecid", s.audio.fourcc);
    if (!s.has_audio_facts)
        return;
    const audio_facts& facts = s.codec_facts;
    if (facts.sample_rate != 0)
        f.number("audiosamplerate", facts.sample_rate);
    if (facts.sample_size != 0)
        f.number("audiosamplesize", facts.sample_size);
    if (facts.channels != 0)
        f.boolean("stereo", facts.channels >= 2);
}

// AAC's header bits always say 44 kHz stereo; its AudioSpecificConfig tells
// the real rate and channels.
void write_audio_fields(field_writer& f, const slide_stats& s, double duration)
{
    static const double rates[4] = {5500, 11025, 22050, 44100};
    const std::uint8_t b = s.audio.first_byte;
    const bool aac = sound_format_of(b) == SOUND_AAC && s.aac.unsupported == nullptr;
    f.number("audiodatarate", kbit_per_s(s.audio.payload, duration));
    if (sound_format_of(b) == SOUND_EX_HEADER) {
        write_extended_audio_fields(f, s);
    } else {
        f.number("audiocodecid", sound_format_of(b));
        f.number("audiosamplerate", aac ? aac_sample_rate(s.aac) : rates[(b >> 2) & 3]);
        f.number("audiosamplesize", (b & 2) != 0 ? 16 : 8);
        f.boolean("stereo", aac ? s.aac.channels >= 2 : (b & 1) != 0);
    }
    f.number("audiosize", static_cast<double>(s.audio.size));
}

amf_buffer build_once(const slide_stats& s, const std::vector<amf_entry>& recording_meta, bool with_keyframes,
                      std::uint64_t metadata_size)
{
    amf_buffer out;
    amf_string(out, "onMetaData");
    amf_ecma_array_start(out, 0);
    field_writer f{out};
    const double duration = duration_of(s);
    const bool video = s.video.tags > 0, audio = s.audio.tags > 0;
    f.boolean("hasMetadata", true);
    // Web players wait for each track these announce.
    f.boolean("hasVideo", s.video.tags > s.video.without_frame);
    f.boolean("hasAudio", s.audio.tags > s.audio.without_frame);
    f.boolean("hasKeyframes", video && !s.keyframes.empty() && with_keyframes);
    f.boolean("canSeekToEnd", video && s.last_video_is_keyframe);
    f.number("duration", duration);
    f.number("lasttimestamp", seconds(s.last_ts));
    if (video)
        write_video_fields(f, s, recording_meta, duration);
    if (audio)
        write_audio_fields(f, s, duration);
    if (video && audio)
        f.number("audiodelay", seconds(s.audio.first_ts) - seconds(s.video.first_ts));
    f.number("filesize", static_cast<double>(slide_file_size(s, metadata_size)));
    f.number("datasize", static_cast<double>(s.data_size + TAG_HEADER_SIZE + metadata_size));
    f.string("metadatacreator", "slidecut " SLIDECUT_VERSION);
    for (const amf_entry& e : recording_meta) {
        if (is_computed_key(e.key))
            continue;
        amf_key(out, e.key);
        out.insert(out.end(), e.value.begin(), e.value.end());
        ++f.count;
    }
    if (video && with_keyframes && !s.keyframes.empty())
        write_keyframes(f, s, HEAD_BYTES + TAG_HEADER_SIZE + metadata_size + PREV_TAG_SIZE_LEN);
    amf_object_end(out);
    put_be(out.data() + ON_METADATA_NAME_SIZE + 1, 4, f.count);
    return out;
}

}  // namespace

amf_buffer build_on_metadata(const slide_stats& s, const std::vector<amf_entry>& recording_meta, bool with_keyframes)
{
    // Every value has a fixed width, so the size of a first draft is the
    // size of the final one, whose positions and sizes count it.
    const std::size_t size = build_once(s, recording_meta, with_keyframes, 0).size();
    return build_once(s, recording_meta, with_keyframes, size);
}

std::uint64_t slide_file_size(const slide_stats& s, std::size_t metadata_size)
{
    return HEAD_BYTES + TAG_HEADER_SIZE + metadata_size + PREV_TAG_SIZE_LEN + s.body_bytes;
}
