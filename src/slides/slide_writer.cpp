#include "slides/slide_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

// The tag's header at the given timestamp. Encoded in place, since copying
// freshly stored bytes (a header, or a tag_header) stalls the hot path.
static void write_tag_header(out_stream& out, const tag_header& tag, std::uint32_t timestamp)
{
    std::uint8_t bytes[TAG_HEADER_SIZE];
    std::uint8_t* room = out_room(out, TAG_HEADER_SIZE);
    std::uint8_t* at = room != nullptr ? room : bytes;
    encode_tag_header_at(tag, timestamp, at);
    if (room != nullptr)
        out.len += TAG_HEADER_SIZE;
    else
        write_bytes(out, bytes, TAG_HEADER_SIZE);
}

// The PreviousTagSize behind a tag slidecut writes itself.
static void write_prev_tag_size(out_stream& out, std::uint32_t data_size)
{
    std::uint8_t prev_tag_size[PREV_TAG_SIZE_LEN];
    put_be(prev_tag_size, 4, TAG_HEADER_SIZE + data_size);
    write_bytes(out, prev_tag_size, PREV_TAG_SIZE_LEN);
}

// A whole tag from memory at the given timestamp, with its PreviousTagSize.
static void write_tag_from(out_stream& out, tag_header header, std::uint32_t timestamp,
                           const std::vector<std::uint8_t>& data)
{
    header.data_size = static_cast<std::uint32_t>(data.size());
    write_tag_header(out, header, timestamp);
    write_bytes(out, data.data(), data.size());
    write_prev_tag_size(out, header.data_size);
}

bool open_flv_slide(flv_slide& slide, const std::string& path, const std::uint8_t* file_header, std::uint32_t base_ts,
                    const std::vector<std::uint8_t>& metadata)
{
    static const std::uint8_t pts_z[PREV_TAG_SIZE_LEN] = {0, 0, 0, 0};
    if (!open_out(slide.out, path))
        return false;
    slide.base_ts = base_ts;
    // The slide's tags follow its 9-byte header, whatever the recording's
    // DataOffset said of its own.
    std::uint8_t header[FLV_HEADER_SIZE];
    std::memcpy(header, file_header, FLV_HEADER_SIZE);
    put_be(header + FLV_DATA_OFFSET_POS, 4, FLV_HEADER_SIZE);
    write_bytes(slide.out, header, FLV_HEADER_SIZE);
    write_bytes(slide.out, pts_z, PREV_TAG_SIZE_LEN);
    tag_header script;
    script.type = TAG_SCRIPT;
    write_tag_from(slide.out, script, 0, metadata);
    return true;
}

static bool same_config(const config_id& a, const config_id& b)
{
    return a.kind == b.kind && a.track == b.track;
}

carried_tag& carried_of(carried_configs& keep, config_id id)
{
    for (carried_tag& kept : keep.kept)
        if (same_config(kept.id, id))
            return kept;
    keep.kept.push_back(carried_tag{});
    keep.kept.back().id = id;
    return keep.kept.back();
}

std::vector<const carried_tag*> carried_for(const carried_configs& keep, const std::vector<int>& new_video_tracks,
                                            bool with_audio, config_id first_tag)
{
    std::vector<const carried_tag*> carried;
    for (const carried_tag& kept : keep.kept) {
        const bool replaced = kept.id.kind == config_kind::video &&
                              std::find(new_video_tracks.begin(), new_video_tracks.end(), kept.id.track) !=
                                  new_video_tracks.end();
        if (kept.held && !same_config(kept.id, first_tag) && !replaced &&
            (is_video_config(kept.id.kind) || with_audio))
            carried.push_back(&kept);
    }
    std::sort(carried.begin(), carried.end(), [](const carried_tag* a, const carried_tag* b) {
        return a->id.kind != b->id.kind ? a->id.kind < b->id.kind : a->id.track < b->id.track;
    });
    return carried;
}

void write_carried_configs(flv_slide& slide, const std::vector<const carried_tag*>& carried)
{
    for (const carried_tag* keep : carried)
        write_tag_from(slide.out, keep->header, 0, keep->data);
}

// Reads a sequence header's data, keeping it for later slides when it is
// small enough, and copies it to out unless out is null; returns the bytes
// read.
static std::uint64_t take_config_data(out_stream* out, const tag_header& tag, in_stream& src, carried_tag& keep)
{
    keep.held = false;
    if (tag.data_size > MAX_CARRIED_DATA)
        return out != nullptr ? copy_bytes(src, *out, tag.data_size) : skip_bytes(src, tag.data_size);
    keep.header = tag;
    keep.data.resize(tag.data_size);
    const std::size_t copied = read_bytes(src, keep.data.data(), tag.data_size);
    if (out != nullptr)
        write_bytes(*out, keep.data.data(), copied);
    keep.held = copied == tag.data_size;
    return copied;
}

move_result write_flv_tag(flv_slide& slide, const tag_header& tag, config_id config, in_stream& src,
                          carried_configs& keep)
{
    // A timestamp below the base (one that goes backwards) wraps modulo 2^32.
    write_tag_header(slide.out, tag, tag.timestamp - slide.base_ts);

    // The PreviousTagSize behind the tag goes along; it is left unread so the
    // next tag's read finds it in front of that tag.
    if (config.kind == config_kind::none) {
        const std::uint64_t copied = copy_bytes_peeking(src, slide.out, tag.data_size, PREV_TAG_SIZE_LEN);
        return result_of(src, &slide.out, copied, tag.data_size);
    }
    const std::uint64_t copied =
        take_config_data(&slide.out, tag, src, carried_of(keep, config));
    const std::uint8_t* trailer = nullptr;
    const std::size_t trailer_len = copied == tag.data_size ? peek_bytes(src, &trailer, PREV_TAG_SIZE_LEN) : 0;
    write_bytes(slide.out, trailer, trailer_len);
    return result_of(src, &slide.out, copied, tag.data_size);
}

move_result hold_config(const tag_header& tag, config_id config, in_stream& src, carried_configs& keep)
{
    const std::uint64_t got = take_config_data(nullptr, tag, src, carried_of(keep, config));
    return result_of(src, nullptr, got, tag.data_size);
}

void write_new_tag(flv_slide& slide, const tag_header& tag, const std::vector<std::uint8_t>& data)
{
    write_tag_from(slide.out, tag, tag.timestamp - slide.base_ts, data);
}
