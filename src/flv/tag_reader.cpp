#include "flv/tag_reader.h"

#include "flv/amf.h"

#include <algorithm>

#include <cstring>

bool open_recording(tag_reader& reader, const std::string& path)
{
    return open_in(reader.in, path);
}

void close_recording(tag_reader& reader)
{
    close_in(reader.in);
}

std::size_t enter_tag_stream(tag_reader& reader)
{
    const std::size_t got = read_bytes(reader.in, reader.file_header, FLV_HEADER_SIZE);
    if (got == FLV_HEADER_SIZE)
        seek_in(reader.in, data_offset_of(reader.file_header));
    return got;
}

bool has_flv_signature(const tag_reader& reader)
{
    return std::memcmp(reader.file_header, "FLV", 3) == 0;
}

walk_step next_tag(tag_reader& reader, tag_header& tag, std::uint64_t& tag_offset)
{
    if (reader.in.error != 0)
        return walk_step::read_error;
    // Most tags: trailer and header decoded where they lie in the buffer.
    if (const std::uint8_t* bytes = take_buffered(reader.in, PREV_TAG_SIZE_LEN + TAG_HEADER_SIZE)) {
        tag_offset = in_offset(reader.in) - TAG_HEADER_SIZE;
        tag = decode_tag_header(bytes + PREV_TAG_SIZE_LEN);
        return walk_step::tag;
    }
    std::uint8_t prev_tag_size[PREV_TAG_SIZE_LEN];
    if (read_bytes(reader.in, prev_tag_size, PREV_TAG_SIZE_LEN) < PREV_TAG_SIZE_LEN)
        return reader.in.error != 0 ? walk_step::read_error : walk_step::end;
    tag_offset = in_offset(reader.in);
    std::uint8_t header[TAG_HEADER_SIZE];
    const std::size_t got = read_bytes(reader.in, header, TAG_HEADER_SIZE);
    if (reader.in.error != 0)
        return walk_step::read_error;
    if (got == 0)
        return walk_step::end;
    if (got < TAG_HEADER_SIZE)
        return walk_step::cut_off_header;
    tag = decode_tag_header(header);
    return walk_step::tag;
}

tag_class peek_tag_class(in_stream& in, const tag_header& tag, std::size_t audio_head_size)
{
    const std::uint8_t* head = nullptr;
    std::size_t want = tag.type == TAG_SCRIPT ? ON_METADATA_NAME_SIZE : 2;
    if (tag.type == TAG_AUDIO)
        want = std::max(want, audio_head_size);
    std::size_t got = peek_bytes(in, &head, std::min<std::size_t>(tag.data_size, want));
    if (got > 0 && want < TAG_HEAD_SIZE && is_extended_header(tag.type, head[0]))
        got = peek_bytes(in, &head, std::min<std::size_t>(tag.data_size, TAG_HEAD_SIZE));
    return classify_tag(tag.type, head, got, tag.data_size);
}
