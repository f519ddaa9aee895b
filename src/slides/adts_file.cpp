// .aac slide files: each raw AAC frame behind an ADTS header made from the
// recording's most recent AudioSpecificConfig. A frame ADTS cannot carry,
// or a tag that is not AAC, is left out with a warning.
#include "slides/audio_kinds.h"

#include <cstring>

namespace {

// The payload bytes behind the frame tag's header_size bytes of FLV header;
// the payload fits a frame (adts_frame_fits).
move_result write_adts_frame(out_stream& out, const aac_config& config, std::uint32_t data_size,
                             std::uint32_t header_size, std::uint32_t payload, in_stream& src)
{
    if (skip_bytes(src, header_size) < header_size)
        return result_of(src, nullptr, 0, header_size);
    std::uint8_t header[ADTS_HEADER_SIZE];
    make_adts_header(config, payload, header);
    write_bytes(out, header, ADTS_HEADER_SIZE);
    std::uint64_t moved = header_size + copy_bytes(src, out, payload);
    if (moved == std::uint64_t{header_size} + payload)
        moved += skip_bytes(src, data_size - moved);
    return result_of(src, &out, moved, data_size);
}

}  // namespace

move_result write_adts_tag(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const tag_class& c,
                           std::uint64_t tag_offset, in_stream& src, notes& found)
{
    const char* path = stream.recording.c_str();
    const auto offset = static_cast<unsigned long long>(tag_offset);
    const std::uint32_t payload = c.aac.payload;
    if (tag.data_size > 0 && !c.aac.aac)
        add_note(found, "%s: the audio tag at byte offset %llu is %s, not AAC; it is left out of %s", path, offset,
                 sound_format_name(c.sound_format), slide.out.path.c_str());
    else if (c.aac.frame && payload > 0 && stream.aac.unsupported == nullptr) {
        if (adts_frame_fits(payload))
            return write_adts_frame(slide.out, stream.aac, tag.data_size, c.aac.header, payload, src);
        add_note(found, "%s: the AAC frame at byte offset %llu holds %u bytes, more than an ADTS frame can; it is left "
                        "out of %s",
                 path, offset, payload, slide.out.path.c_str());
    }
    return result_of(src, nullptr, skip_bytes(src, tag.data_size), tag.data_size);
}

bool copy_plain_adts(audio_slide& slide, const audio_stream& stream, const tag_header& tag, const std::uint8_t* data)
{
    const std::uint32_t payload = tag.data_size - 2;
    std::uint8_t* room = out_room(slide.out, ADTS_HEADER_SIZE + payload);
    if (sound_format_of(data[0]) != SOUND_AAC || payload == 0 || stream.aac.unsupported != nullptr ||
        !adts_frame_fits(payload) || room == nullptr)
        return false;
    make_adts_header(stream.aac, payload, room);
    std::memcpy(room + ADTS_HEADER_SIZE, data + 2, payload);
    slide.out.len += ADTS_HEADER_SIZE + payload;
    return true;
}
