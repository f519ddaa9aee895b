#include "flv/slide_plan.h"

#include "flv/amf.h"
#include "flv/cut_rule.h"
#include "flv/flv_format.h"

#include <algorithm>

namespace {

// Enough of a tag's data for its kind, keyframe flag and an onMetaData
// name; an AVC sequence header is read further, for the picture size.
constexpr std::size_t HEAD_SIZE = 16;
constexpr std::size_t CONFIG_HEAD_SIZE = 512;

std::size_t read_head(in_stream& look, std::uint64_t offset, std::uint64_t available, const tag_header& tag,
                      std::uint8_t* head)
{
    std::size_t got = read_at(look, offset, head, static_cast<std::size_t>(std::min<std::uint64_t>(available, HEAD_SIZE)));
    const bool avc_config = tag.type == TAG_VIDEO && got >= 2 && video_codec_of(head[0]) == VIDEO_CODEC_AVC &&
                            (head[0] & VIDEO_EX_HEADER_BIT) == 0 && head[1] == AVC_SEQUENCE_HEADER;
    if (avc_config)
        got = read_at(look, offset, head, static_cast<std::size_t>(std::min<std::uint64_t>(available, CONFIG_HEAD_SIZE)));
    return got;
}

}  // namespace

bool plan_slide(in_stream& look, const slide_range& range, slide_stats& stats)
{
    std::uint64_t offset = range.first_tag;
    for (bool first = true; range.file_size >= TAG_HEADER_SIZE && offset <= range.file_size - TAG_HEADER_SIZE;
         first = false) {
        std::uint8_t header[TAG_HEADER_SIZE];
        if (read_at(look, offset, header, TAG_HEADER_SIZE) < TAG_HEADER_SIZE)
            break;
        const tag_header tag = decode_tag_header(header);
        if (!first && slide_of(*range.cues, range.cur_slide, tag.timestamp) != range.cur_slide)
            break;

        const std::uint64_t data = offset + TAG_HEADER_SIZE;
        const std::uint64_t available = std::min<std::uint64_t>(tag.data_size, range.file_size - data);
        std::uint8_t head[CONFIG_HEAD_SIZE];
        const std::size_t head_size = read_head(look, data, available, tag, head);
        const bool routed = range.video_only ? tag.type == TAG_VIDEO
                                             : !(tag.type == TAG_SCRIPT && is_on_metadata(head, head_size));
        const std::uint64_t end = data + tag.data_size;
        if (routed) {
            const std::uint64_t trailer = available == tag.data_size ? std::min<std::uint64_t>(PREV_TAG_SIZE_LEN, range.file_size - end) : 0;
            count_tag(stats, {tag.type, tag.timestamp - range.base_ts, static_cast<std::uint32_t>(available),
                              TAG_HEADER_SIZE + available + trailer, head, head_size});
        }
        if (available < tag.data_size)
            break;
        offset = end + PREV_TAG_SIZE_LEN;
    }
    return look.error == 0;
}
