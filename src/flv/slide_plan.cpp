#include "flv/slide_plan.h"

#include "flv/amf.h"
#include "flv/cut_rule.h"
#include "flv/flv_format.h"

#include <algorithm>

namespace {

// An AVC sequence header is read further, for the picture size.
constexpr std::size_t CONFIG_HEAD_SIZE = 512;

// A walk over the headers of a slide's range, which ends at the tag that
// begins the next slide or the end of the recording. Each step reads the
// tag's header and the first bytes of its data at once; they last until the
// next step.
struct range_walk {
    std::uint64_t offset = 0;
    bool first = true;
    tag_header tag;
    std::uint8_t bytes[TAG_HEADER_SIZE + CONFIG_HEAD_SIZE] = {};
    const std::uint8_t* header = bytes; // in the look-ahead's buffer or in bytes
    const std::uint8_t* head = bytes + TAG_HEADER_SIZE;
    std::size_t head_size = 0;
};

// The tag's header and first data bytes: in place where the buffer holds
// them, else read into walk.bytes.
std::size_t read_tag_head(in_stream& look, range_walk& walk, std::size_t count)
{
    if (const std::uint8_t* bytes = view_buffered(look, walk.offset, count)) {
        walk.header = bytes;
        return count;
    }
    walk.header = walk.bytes;
    return read_at(look, walk.offset, walk.bytes, count);
}

bool next_in_range(in_stream& look, const slide_range& range, range_walk& walk)
{
    if (range.file_size < TAG_HEADER_SIZE || walk.offset > range.file_size - TAG_HEADER_SIZE)
        return false;
    const std::uint64_t left = range.file_size - walk.offset;
    const std::size_t got = read_tag_head(look, walk, std::min<std::uint64_t>(left, TAG_HEADER_SIZE + TAG_HEAD_SIZE));
    if (got < TAG_HEADER_SIZE)
        return false;
    walk.tag = decode_tag_header(walk.header);
    walk.head = walk.header + TAG_HEADER_SIZE;
    walk.head_size = std::min<std::size_t>(got - TAG_HEADER_SIZE, walk.tag.data_size);
    const bool avc_config = walk.tag.type == TAG_VIDEO &&
                            classify_config(TAG_VIDEO, walk.head, walk.head_size) == config_kind::video &&
                            video_codec_of(walk.head[0]) == VIDEO_CODEC_AVC;
    if (avc_config) {
        const std::uint64_t more = std::min<std::uint64_t>({left - TAG_HEADER_SIZE, walk.tag.data_size, CONFIG_HEAD_SIZE});
        walk.head_size = read_at(look, walk.offset + TAG_HEADER_SIZE, walk.bytes + TAG_HEADER_SIZE, more);
        walk.head = walk.bytes + TAG_HEADER_SIZE;
    }
    const bool in_slide = walk.first || slide_of(*range.cues, range.cur_slide, walk.tag.timestamp) == range.cur_slide;
    walk.first = false;
    return in_slide;
}

}  // namespace

bool needs_preroll(in_stream& look, const slide_range& range)
{
    range_walk walk;
    walk.offset = range.first_tag;
    while (next_in_range(look, range, walk)) {
        const tag_header& tag = walk.tag;
        if (tag.type == TAG_VIDEO && classify_config(tag.type, walk.head, walk.head_size) == config_kind::none)
            return !is_video_keyframe(walk.head, walk.head_size);
        walk.offset += TAG_HEADER_SIZE + tag.data_size + PREV_TAG_SIZE_LEN;
    }
    return false;
}

bool next_preroll_tag(in_stream& look, preroll_walk& walk, tag_header& tag, std::uint64_t& data_offset)
{
    while (walk.offset < walk.to) {
        const std::size_t got = read_at(look, walk.offset, walk.bytes, sizeof walk.bytes);
        if (got < TAG_HEADER_SIZE)
            return false;
        tag = decode_tag_header(walk.bytes);
        walk.head_size = std::min<std::size_t>(got - TAG_HEADER_SIZE, tag.data_size);
        data_offset = walk.offset + TAG_HEADER_SIZE;
        walk.offset = data_offset + tag.data_size + PREV_TAG_SIZE_LEN;
        const std::uint8_t* head = walk.bytes + TAG_HEADER_SIZE;
        if (tag.type == TAG_VIDEO && walk.head_size > 0 &&
            classify_config(tag.type, head, walk.head_size) == config_kind::none)
            return true;
    }
    return false;
}

std::uint64_t plan_preroll(in_stream& look, std::uint64_t from, std::uint64_t to, slide_stats* stats,
                           std::uint64_t limit)
{
    preroll_walk walk{from, to};
    tag_header tag;
    std::uint64_t data_offset = 0, bytes = 0;
    while (bytes <= limit && next_preroll_tag(look, walk, tag, data_offset)) {
        bytes += tag.data_size;
        if (stats != nullptr)
            count_tag(*stats, {tag.type, 0, tag.data_size, TAG_HEADER_SIZE + tag.data_size + PREV_TAG_SIZE_LEN,
                               walk.bytes + TAG_HEADER_SIZE, walk.head_size});
    }
    return bytes;
}

bool plan_slide(in_stream& look, const slide_range& range, slide_stats& stats)
{
    range_walk walk;
    walk.offset = range.first_tag;
    while (next_in_range(look, range, walk)) {
        const tag_header& tag = walk.tag;
        const std::uint64_t data = walk.offset + TAG_HEADER_SIZE;
        const std::uint64_t available = std::min<std::uint64_t>(tag.data_size, range.file_size - data);
        const bool routed = range.video_only ? tag.type == TAG_VIDEO
                                             : !(tag.type == TAG_SCRIPT && is_on_metadata(walk.head, walk.head_size));
        const std::uint64_t end = data + tag.data_size;
        if (routed) {
            // A tag cut off by the end of the recording is copied as far as it goes.
            const std::uint64_t trailer =
                available == tag.data_size ? std::min<std::uint64_t>(PREV_TAG_SIZE_LEN, range.file_size - end) : 0;
            count_tag(stats, {tag.type, tag.timestamp - range.base_ts, static_cast<std::uint32_t>(available),
                              TAG_HEADER_SIZE + available + trailer, walk.head, walk.head_size});
        }
        if (available < tag.data_size)
            break;
        walk.offset = end + PREV_TAG_SIZE_LEN;
    }
    return look.error == 0;
}
