#include "slides/slide_plan.h"

#include "flv/amf.h"
#include "flv/flv_format.h"
#include "slides/cut_rule.h"

#include <algorithm>

namespace {

// A sequence header is read this far for what it tells.
constexpr std::size_t CONFIG_HEAD_SIZE = 512;

// A walk over the headers of a slide's range, which ends at the tag that
// begins the next slide or the end of the recording. Each step reads the
// tag's header and the first bytes of its data at once; they last until the
// next step.
struct range_walk {
    std::uint64_t offset = 0;
    bool first = true;
    tag_header tag;
    config_kind config = config_kind::none; // of the tag, from its first bytes
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
    // A sequence header is read further: a video one (AVC's or HEVC's, the
    // only legacy ones, or one behind the extended header) for the picture
    // size, an audio one behind the extended header for the codec's facts.
    const config_kind config = classify_config(walk.tag.type, walk.head, walk.head_size);
    walk.config = config;
    const bool read_further = config == config_kind::video ||
                              (config == config_kind::audio && is_extended_header(walk.tag.type, walk.head[0]));
    if (read_further) {
        const std::uint64_t more = std::min<std::uint64_t>({left - TAG_HEADER_SIZE, walk.tag.data_size, CONFIG_HEAD_SIZE});
        walk.head_size = read_at(look, walk.offset + TAG_HEADER_SIZE, walk.bytes + TAG_HEADER_SIZE, more);
        walk.head = walk.bytes + TAG_HEADER_SIZE;
    }
    const bool in_slide = walk.first || slide_of(*range.cues, range.cur_slide, walk.tag.timestamp) == range.cur_slide;
    walk.first = false;
    return in_slide;
}

std::int64_t presentation_time(const range_walk& walk)
{
    return std::int64_t{walk.tag.timestamp} + composition_time_ms(walk.head, walk.head_size);
}

}  // namespace

leading_pictures leading_pictures_of(in_stream& look, const slide_range& range, std::uint64_t offset, int track)
{
    leading_pictures leading;
    range_walk walk;
    walk.offset = offset;
    if (!next_in_range(look, range, walk))
        return leading;
    const std::int64_t shown = presentation_time(walk);
    walk.first = false;
    for (walk.offset += TAG_HEADER_SIZE + walk.tag.data_size + PREV_TAG_SIZE_LEN; next_in_range(look, range, walk);
         walk.offset += TAG_HEADER_SIZE + walk.tag.data_size + PREV_TAG_SIZE_LEN) {
        if (!is_track_frame(walk.tag.type, walk.head, walk.head_size, track))
            continue;
        if (presentation_time(walk) >= shown) {
            leading.end = walk.offset;
            return leading;
        }
        ++leading.count;
    }
    return leading;
}

slide_frames find_slide_frames(in_stream& look, const slide_range& range, int track,
                               const std::vector<std::uint8_t>& config)
{
    slide_frames frames;
    range_walk walk;
    walk.offset = range.first_tag;
    while (next_in_range(look, range, walk)) {
        const tag_header& tag = walk.tag;
        if (is_track_frame(tag.type, walk.head, walk.head_size, track)) {
            const bool first = !frames.has_frame;
            frames.has_frame = true;
            if (is_video_keyframe(walk.head, walk.head_size)) {
                const random_access access = tag_access(look, walk.offset, config);
                const joint_kind joint = joint_of(access, walk.head, walk.head_size);
                // A CRA first is taken for a BLA by decoders, which drop
                // its leading pictures: without any, it is clean.
                const leading_pictures leading =
                    joint == joint_kind::as_bla ? leading_pictures_of(look, range, walk.offset, track) : leading_pictures{};
                const std::uint64_t leading_end = leading.end;
                if (first) {
                    frames.first_access = access;
                    frames.starts_on_keyframe =
                        joint == joint_kind::as_is || (joint == joint_kind::as_bla && leading.count == 0);
                    if (frames.starts_on_keyframe)
                        return frames;
                }
                if (joint == joint_kind::as_is || (joint == joint_kind::as_bla && leading_end != 0)) {
                    frames.has_keyframe = true;
                    frames.keyframe_offset = walk.offset;
                    frames.keyframe_ts = tag.timestamp;
                    frames.resume_offset = joint == joint_kind::as_is ? walk.offset : leading_end;
                    frames.resume_as_bla = joint == joint_kind::as_bla;
                    return frames;
                }
                if (!first)
                    ++frames.passed_keyframes;
            }
        }
        walk.offset += TAG_HEADER_SIZE + tag.data_size + PREV_TAG_SIZE_LEN;
    }
    frames.end = walk.offset;
    return frames;
}

namespace {

// Audio and video frames, as against sequence headers and script data: what
// makes a slide worth a file.
void count_frame(slide_stats& stats, const range_walk& walk, bool routed)
{
    // Only whether there are any is asked of them.
    if (stats.frames > 0)
        return;
    const std::uint8_t type = walk.tag.type;
    const bool frame = type == TAG_VIDEO ? is_coded_video_frame(walk.head, walk.head_size)
                                         : type == TAG_AUDIO && walk.head_size > 0 && walk.config == config_kind::none;
    if (!frame)
        return;
    stats.slide_has_frames = true;
    if (routed)
        ++stats.frames;
}

// A tag the slide file holds, with its timestamp re-based.
void count_written(slide_stats& stats, const slide_range& range, std::uint8_t type, std::uint32_t ts,
                   const std::vector<std::uint8_t>& data)
{
    count_tag(stats, {type, ts - range.base_ts, static_cast<std::uint32_t>(data.size()),
                      TAG_HEADER_SIZE + data.size() + PREV_TAG_SIZE_LEN, data.data(), data.size()});
}

// Plain frames counted in a tight loop while they lie in a buffer, once the
// slide has a frame and outside its new starts' ranges (which end at
// starts_end); returns the offset of the first tag that is not one, or does
// not lie whole in the buffer, or begins the next slide. In separate mode
// audio tags are passed over.
std::uint64_t count_plain_frames(const in_stream& look, const slide_range& range, std::uint64_t starts_end,
                                 std::uint64_t offset, slide_stats& stats)
{
    if (stats.frames == 0 || offset <= starts_end || offset >= range.file_size)
        return offset;
    std::size_t held = 0;
    const std::uint8_t* bytes = buffered_from(look, offset, held);
    // A recording that grows while it is cut is cut as far as it was long.
    held = static_cast<std::size_t>(std::min<std::uint64_t>(held, range.file_size - offset));
    std::size_t at = 0;
    while (at + TAG_HEADER_SIZE + 2 <= held) {
        const std::uint8_t* header = bytes + at;
        const tag_header tag = decode_tag_header(header);
        const std::size_t whole = TAG_HEADER_SIZE + tag.data_size + PREV_TAG_SIZE_LEN;
        if (tag.data_size < 2 || whole > held - at || !is_plain_frame(tag.type, header + TAG_HEADER_SIZE) ||
            slide_of(*range.cues, range.cur_slide, tag.timestamp) != range.cur_slide)
            break;
        if (!range.video_only || tag.type == TAG_VIDEO)
            count_plain_frame(stats, tag.type, tag.timestamp - range.base_ts, tag.data_size, header[TAG_HEADER_SIZE]);
        at += whole;
    }
    return offset + at;
}

}  // namespace

bool plan_slide(in_stream& look, const slide_range& range, const std::vector<slide_start>& starts,
                slide_stats& stats)
{
    range_walk walk;
    walk.offset = range.first_tag;
    std::vector<std::size_t> replaced(starts.size()); // of each start's new frames, those counted
    const std::uint64_t starts_end = starts_range_end(starts);
    while (next_in_range(look, range, walk)) {
        const tag_header& tag = walk.tag;
        const std::uint64_t data = walk.offset + TAG_HEADER_SIZE;
        const std::uint64_t available = std::min<std::uint64_t>(tag.data_size, range.file_size - data);
        const bool routed = range.video_only ? tag.type == TAG_VIDEO
                                             : !(tag.type == TAG_SCRIPT && is_on_metadata(walk.head, walk.head_size));
        const std::uint64_t end = data + tag.data_size;
        count_frame(stats, walk, routed);
        const start_match match = routed && walk.offset <= starts_end
                                      ? match_start(starts, walk.offset,
                                                    classify_tag(tag.type, walk.head, walk.head_size, tag.data_size))
                                      : start_match{};
        const start_action action = match.action;
        const bool replace =
            action == start_action::replace_frame && replaced[match.index] < starts[match.index].frames.size();
        if (replace)
            count_written(stats, range, tag.type, tag.timestamp, starts[match.index].frames[replaced[match.index]++]);
        else if (action == start_action::resume)
            count_written(stats, range, TAG_VIDEO, tag.timestamp, starts[match.index].resume_config);
        if (routed && !replace && action != start_action::hold_config) {
            // A tag cut off by the end of the recording is copied as far as it goes.
            const std::uint64_t trailer =
                available == tag.data_size ? std::min<std::uint64_t>(PREV_TAG_SIZE_LEN, range.file_size - end) : 0;
            count_tag(stats, {tag.type, tag.timestamp - range.base_ts, static_cast<std::uint32_t>(available),
                              TAG_HEADER_SIZE + available + trailer, walk.head, walk.head_size});
        }
        if (available < tag.data_size)
            break;
        walk.offset = count_plain_frames(look, range, starts_end, end + PREV_TAG_SIZE_LEN, stats);
    }
    return look.error == 0;
}
