#include "slides/audio_file.h"

#include "codecs/flac.h"
#include "codecs/opus.h"
#include "flv/ex_header.h"
#include "slides/audio_kinds.h"

namespace {

// The codecs behind the extended header with a file of their own, and
// whether one opens only behind a SequenceStart that can start it.
struct extended_audio_file {
    std::uint32_t fourcc;
    audio_kind kind;
    bool needs_start;
};
constexpr extended_audio_file extended_files[] = {
    {FOURCC_OPUS, audio_kind::opus, true}, {FOURCC_FLAC, audio_kind::flac, true},
    {FOURCC_AC3, audio_kind::ac3, false},  {FOURCC_EAC3, audio_kind::eac3, false},
    {FOURCC_MP3, audio_kind::mp3_frames, false},
};

// nullptr for a codec without a file of its own (it goes to .mp3 as raw payload).
const extended_audio_file* extended_file_of(std::uint32_t fourcc)
{
    for (const extended_audio_file& file : extended_files)
        if (file.fourcc == fourcc)
            return &file;
    return nullptr;
}

const char* start_fault(std::uint32_t fourcc, const std::uint8_t* config, std::size_t size)
{
    if (fourcc == FOURCC_OPUS)
        return opus_head_fault(config, size);
    if (fourcc == FOURCC_FLAC)
        return stream_info_fault(config, size);
    return nullptr;
}

// Whether a tag of the codec goes its own way: a SequenceStart, or frames
// for a file of the codec's that is open or can be opened.
bool takes_own_file(const audio_stream& stream, const audio_slide& slide, const extended_audio_file& file,
                    unsigned packet_type)
{
    if (packet_type == AUDIO_EX_SEQUENCE_START)
        return true;
    if (is_open(slide.out))
        return slide.kind == file.kind;
    return !file.needs_start || (stream.start_fourcc == file.fourcc && stream.start_fault == nullptr);
}

// Audio files hold one track; say once which ones are left out, and where
// the extended header cannot be read.
void check_tracks(audio_stream& stream, const ex_packet& ex, std::uint64_t tag_offset, notes& found)
{
    const char* path = stream.recording.c_str();
    if (ex.past_tag)
        add_note(found, "%s: the audio tag at byte offset %llu has a ModEx or track size past its end; it is taken as "
                        "raw payload",
                 path, static_cast<unsigned long long>(tag_offset));
    if (stream.warned_tracks || ex.tracks < 2)
        return;
    stream.warned_tracks = true;
    add_note(found, "%s: the audio tag at byte offset %llu holds %u tracks; the audio slide files hold track %u, the "
                    "first, and leave the others out (the .flv slides of combined mode keep them all)",
             path, static_cast<unsigned long long>(tag_offset), ex.tracks, ex.track_id);
}

// The most recent AudioSpecificConfig holds; an .aac slide cannot take
// frames of one that ADTS cannot carry.
void take_aac_config(audio_stream& stream, const audio_slide& slide, const tag_class& c, std::uint64_t tag_offset,
                     notes& found)
{
    stream.aac = parse_audio_specific_config(c.head + c.aac.header, c.head_size - c.aac.header);
    if (is_open(slide.out) && slide.kind == audio_kind::adts && stream.aac.unsupported != nullptr)
        add_note(found, "%s: the AAC configuration at byte offset %llu has %s; its frames are left out of %s",
                 stream.recording.c_str(), static_cast<unsigned long long>(tag_offset), stream.aac.unsupported,
                 slide.out.path.c_str());
}

}  // namespace

const char* audio_file_ext(audio_kind kind)
{
    switch (kind) {
    case audio_kind::adts: return "aac";
    case audio_kind::opus: return "opus";
    case audio_kind::flac: return "flac";
    case audio_kind::ac3: return "ac3";
    case audio_kind::eac3: return "eac3";
    case audio_kind::mp3:
    case audio_kind::mp3_frames: break;
    }
    return "mp3";
}

audio_route route_audio_tag(audio_stream& stream, const audio_slide& slide, const tag_class& c,
                            std::uint64_t tag_offset, notes& found)
{
    check_tracks(stream, c.ex, tag_offset, found);
    const extended_audio_file* file = c.ex.complete ? extended_file_of(c.ex.fourcc) : nullptr;
    if (file != nullptr && takes_own_file(stream, slide, *file, c.ex.packet_type)) {
        if (c.ex.packet_type == AUDIO_EX_SEQUENCE_START)
            return {audio_action::take_start, file->kind};
        // MultichannelConfig and other packets reach no audio file.
        if (c.ex.packet_type != AUDIO_EX_CODED_FRAMES)
            return {audio_action::skip, file->kind};
        return {audio_action::write, file->kind};
    }
    if (c.aac.config)
        take_aac_config(stream, slide, c, tag_offset, found);
    if (is_open(slide.out))
        return {audio_action::write, slide.kind == audio_kind::adts ? audio_kind::adts : audio_kind::mp3};
    // An .aac slide opens with its first frame: a configuration alone would
    // leave an empty file.
    if (c.aac.config && stream.aac.unsupported == nullptr)
        return {audio_action::skip, audio_kind::adts};
    // AAC goes to an .aac slide as ADTS when its configuration allows, any
    // other audio to an .mp3 slide as raw payload.
    return {audio_action::write, c.aac.aac && stream.aac.unsupported == nullptr ? audio_kind::adts : audio_kind::mp3};
}

move_result take_audio_start(audio_stream& stream, const tag_header& tag, const tag_class& c, std::uint64_t tag_offset,
                             in_stream& src, notes& found)
{
    constexpr std::size_t MAX_START = 4096;
    stream.start_fourcc = c.ex.fourcc;
    if (c.ex.data_size > MAX_START) {
        stream.start_fault = "a SequenceStart of an impossible size";
        return result_of(src, nullptr, skip_bytes(src, tag.data_size), tag.data_size);
    }
    const move_result taken = take_part(src, tag.data_size, c.ex.data_offset, c.ex.data_size, &stream.start, nullptr);
    stream.start_fault = taken != move_result::done
                             ? "a SequenceStart cut short"
                             : start_fault(c.ex.fourcc, stream.start.data(), stream.start.size());
    if (stream.start_fault != nullptr && c.ex.data_size > 0)
        add_note(found, "%s: the audio SequenceStart at byte offset %llu has %s; the packets after it go to .mp3 slide "
                        "files as raw payload",
                 stream.recording.c_str(), static_cast<unsigned long long>(tag_offset), stream.start_fault);
    return taken;
}

void start_audio_file(audio_slide& slide, audio_kind kind, const audio_stream& stream, std::int32_t cur_slide,
                      const tag_class& c, notes& found)
{
    slide.kind = kind;
    if (kind == audio_kind::mp3)
        start_mp3_file(slide, stream, cur_slide, c, found);
    else if (kind == audio_kind::opus)
        start_opus_file(slide, stream, cur_slide);
    else if (kind == audio_kind::flac)
        start_flac_file(slide, stream);
}

move_result write_audio_tag(audio_slide& slide, audio_stream& stream, audio_kind writer, const tag_header& tag,
                            const tag_class& c, std::uint64_t tag_offset, in_stream& src, notes& found)
{
    switch (writer) {
    case audio_kind::mp3: return write_raw_payload(slide, stream, tag, c, src, found);
    case audio_kind::adts: return write_adts_tag(slide, stream, tag, c, tag_offset, src, found);
    case audio_kind::opus: return write_opus_tag(slide, stream, tag, c, src);
    case audio_kind::flac:
    case audio_kind::ac3:
    case audio_kind::eac3:
    case audio_kind::mp3_frames: break;
    }
    return write_codec_frames(slide, tag, c, src);
}

bool copy_plain_audio(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const std::uint8_t* data)
{
    if (!is_open(slide.out))
        return false;
    if (slide.kind == audio_kind::adts)
        return copy_plain_adts(slide, stream, tag, data);
    return slide.kind == audio_kind::mp3 && copy_plain_mp3(slide, stream, tag, data);
}

bool close_audio_slide(audio_slide& slide)
{
    if (is_open(slide.out) && slide.kind == audio_kind::opus)
        finish_opus_file(slide);
    slide.kind = audio_kind::mp3;
    return close_out(slide.out);
}

move_result take_part(in_stream& src, std::uint32_t data_size, std::size_t offset, std::size_t size,
                      std::vector<std::uint8_t>* into, out_stream* out)
{
    std::uint64_t moved = skip_bytes(src, offset);
    if (into != nullptr) {
        into->resize(size);
        moved += read_bytes(src, into->data(), size);
    } else {
        moved += out != nullptr ? copy_bytes(src, *out, size) : skip_bytes(src, size);
    }
    if (moved == offset + size)
        moved += skip_bytes(src, data_size - moved);
    return result_of(src, out, moved, data_size);
}

move_result write_codec_frames(audio_slide& slide, const tag_header& tag, const tag_class& c, in_stream& src)
{
    return take_part(src, tag.data_size, c.ex.data_offset, c.ex.data_size, nullptr, &slide.out);
}
