#include "restart/slide_start.h"

#include "codecs/annexb.h"
#include "codecs/av1.h"
#include "codecs/avc.h"
#include "codecs/hevc.h"
#include "codecs/vp9.h"
#include "flv/ex_header.h"
#include "flv/tag_kind.h"
#include "io/platform.h"
#include "restart/reencoder.h"

#include <algorithm>
#include <chrono>

start_action start_action_of(const slide_start& start, std::uint64_t offset, const tag_class& tag)
{
    if (!start.active || tag.type != TAG_VIDEO || offset < start.first_tag || offset > start.range_end ||
        tag.track != start.track)
        return start_action::copy;
    if (offset == start.range_end)
        return start.resumes_in_slide && !start.resume_config.empty() ? start_action::resume : start_action::copy;
    if (tag.config.kind == config_kind::video)
        return start_action::hold_config;
    return tag.coded_frame ? start_action::replace_frame : start_action::copy;
}

start_match match_start(const std::vector<slide_start>& starts, std::uint64_t offset, const tag_class& tag)
{
    start_match match;
    for (match.index = 0; match.index < starts.size(); ++match.index) {
        match.action = start_action_of(starts[match.index], offset, tag);
        if (match.action != start_action::copy)
            break;
    }
    return match;
}

std::uint64_t starts_range_end(const std::vector<slide_start>& starts)
{
    std::uint64_t end = 0;
    for (const slide_start& start : starts)
        if (start.active)
            end = std::max(end, start.range_end);
    return end;
}

namespace {

// How the frames of an FLV video codec reach the codec library: which codec,
// and how many bytes of FLV header stand before the codec's own in a legacy
// tag; behind the extended header (a FourCC), the packet's own layout says.
struct codec_use {
    unsigned flv_codec;
    std::uint32_t fourcc; // 0 for a legacy codec id
    picture_codec codec;
    std::size_t header;
};
constexpr unsigned CODEC_H263 = 2;
const codec_use codec_uses[] = {
    {CODEC_H263, 0, picture_codec::h263, 1},
    {VIDEO_CODEC_AVC, 0, picture_codec::h264, 5},
    {0, FOURCC_AVC1, picture_codec::h264, 0},
    {VIDEO_CODEC_HEVC, 0, picture_codec::hevc, 5},
    {0, FOURCC_HVC1, picture_codec::hevc, 0},
    {0, FOURCC_AV01, picture_codec::av1, 0},
    {0, FOURCC_VP09, picture_codec::vp9, 0},
};

const codec_use* codec_use_of(const std::vector<std::uint8_t>& data)
{
    // A Multitrack tag of one track holds one codec's frame, as any other;
    // tags of several tracks are not taken apart.
    const ex_packet ex = parse_ex_packet(TAG_VIDEO, data.data(), data.size(), data.size());
    if (ex.extended && (!ex.complete || (ex.multitrack && ex.multitrack_type != ONE_TRACK)))
        return nullptr;
    for (const codec_use& use : codec_uses)
        if (ex.extended ? use.fourcc == ex.fourcc : use.fourcc == 0 && use.flv_codec == video_codec_of(data[0]))
            return &use;
    return nullptr;
}

// H.264 and HEVC frames carry a composition time, legacy or extended.
bool has_composition_time(const codec_use& use)
{
    return use.codec == picture_codec::h264 || use.codec == picture_codec::hevc;
}

// Where the codec's own bytes begin in a tag's data: behind the extended
// header, and avc1 and hvc1 coded frames' composition time (av01 has none).
std::size_t codec_offset(const codec_use& use, const std::vector<std::uint8_t>& data)
{
    if (use.fourcc == 0)
        return use.header;
    const ex_packet ex = parse_ex_packet(TAG_VIDEO, data.data(), data.size(), data.size());
    const bool composition_time = ex.packet_type == VIDEO_EX_CODED_FRAMES && has_composition_time(use);
    return ex.data_offset + (composition_time ? 3 : 0);
}

// The codec's own bytes of a tag's data.
std::vector<std::uint8_t> payload_of(const codec_use& use, const std::vector<std::uint8_t>& data)
{
    const std::size_t offset = data.empty() ? 0 : codec_offset(use, data);
    return data.size() > offset ? std::vector<std::uint8_t>(data.begin() + static_cast<long>(offset), data.end())
                                : std::vector<std::uint8_t>{};
}

// The first bytes of a tag slidecut makes for the new run: the legacy video
// byte and AVC packet type (HEVC's too), or the extended header with its
// FourCC, for a track of Multitrack tags behind the one-track header.
std::vector<std::uint8_t> new_tag_head(const codec_use& use, int track, unsigned frame_type, std::uint8_t packet_type)
{
    if (use.fourcc == 0) {
        std::vector<std::uint8_t> head = {static_cast<std::uint8_t>(frame_type << 4 | use.flv_codec)};
        if (has_composition_time(use))
            head.push_back(packet_type);
        return head;
    }
    std::vector<std::uint8_t> head = {static_cast<std::uint8_t>(VIDEO_EX_HEADER_BIT | frame_type << 4 | packet_type)};
    if (track >= 0) {
        head[0] = static_cast<std::uint8_t>(VIDEO_EX_HEADER_BIT | frame_type << 4 | EX_MULTITRACK_VIDEO);
        head.push_back(static_cast<std::uint8_t>(ONE_TRACK << 4 | packet_type));
    }
    append_be(head, use.fourcc, 4);
    if (track >= 0)
        head.push_back(static_cast<std::uint8_t>(track));
    return head;
}

// A tag's header, and its data where it is video: the walk needs nothing
// of the rest.
bool read_tag(in_stream& look, std::uint64_t offset, tag_header& tag, std::vector<std::uint8_t>& data)
{
    std::uint8_t header[TAG_HEADER_SIZE];
    if (read_at(look, offset, header, TAG_HEADER_SIZE) < TAG_HEADER_SIZE)
        return false;
    tag = decode_tag_header(header);
    data.resize(tag.type == TAG_VIDEO ? tag.data_size : 0);
    return data.empty() || read_at(look, offset + TAG_HEADER_SIZE, data.data(), data.size()) == data.size();
}

// The new run as FLV tag data: the sequence header first, then one tag per
// picture at the timestamps of the tags it replaces (dts, in file order);
// a picture's composition time is its presentation time less that.
bool wrap_run(const codec_use& use, const reencoded_run& run, const std::vector<std::uint32_t>& dts,
              const std::vector<std::uint8_t>& recording_config, slide_start& start, std::string& why)
{
    if (run.pictures.size() != dts.size() || run.pictures.empty()) {
        why = "the encoder gave " + std::to_string(run.pictures.size()) + " pictures for " +
              std::to_string(dts.size()) + " frames";
        return false;
    }
    if (!run.pictures[0].key) {
        why = "the encoder did not start with a keyframe";
        return false;
    }
    if (use.codec == picture_codec::av1) {
        // The encoder's global header, or else the sequence header its first
        // keyframe carries.
        std::vector<std::uint8_t> record = av1_config_record(run.config.data(), run.config.size());
        if (record.empty())
            record = av1_config_record(run.pictures[0].data.data(), run.pictures[0].data.size());
        if (record.empty()) {
            why = "the encoder gave no sequence header";
            return false;
        }
        start.config = new_tag_head(use, start.track, FRAME_KEYFRAME, VIDEO_EX_SEQUENCE_START);
        start.config.insert(start.config.end(), record.begin(), record.end());
    }
    if (use.codec == picture_codec::vp9) {
        // The profile of the first picture's header: bits 5 (low) and 4 (high).
        const std::uint8_t first = run.pictures[0].data.empty() ? 0 : run.pictures[0].data[0];
        const std::vector<std::uint8_t> record = vp9_config_record((first >> 5 & 1) | (first >> 3 & 2));
        start.config = new_tag_head(use, start.track, FRAME_KEYFRAME, VIDEO_EX_SEQUENCE_START);
        start.config.insert(start.config.end(), record.begin(), record.end());
    }
    hevc_ids ids;
    if (use.codec == picture_codec::hevc && !hevc_unused_ids(payload_of(use, recording_config), ids)) {
        why = "the recording's parameter sets leave no ids free for new ones";
        return false;
    }
    if (has_composition_time(use)) {
        // The recording's parameter sets go along, so that the frames copied
        // after the next keyframe parse with the same record: the slide needs
        // no other, and a parser does not always follow a new one.
        const std::vector<std::uint8_t> recording_record = payload_of(use, recording_config);
        const std::vector<std::uint8_t> record =
            use.codec == picture_codec::h264
                ? avc_config_record(run.config.data(), run.config.size(), recording_record)
                : hevc_config_record(run.config.data(), run.config.size(), ids, recording_record);
        if (record.empty()) {
            why = "the encoder gave no parameter sets";
            return false;
        }
        start.config = new_tag_head(use, start.track, FRAME_KEYFRAME, AVC_SEQUENCE_HEADER); // SequenceStart is 0 too
        if (use.fourcc == 0)
            start.config.insert(start.config.end(), {0, 0, 0});
        start.config.insert(start.config.end(), record.begin(), record.end());
    }
    // With the recording's parameter sets beside the encoder's, the record
    // can outgrow what one tag holds.
    if (start.config.size() > MAX_TAG_DATA_SIZE) {
        why = "its new sequence header, the recording's parameter sets beside the new ones, passes the 16 MiB a tag "
              "can hold";
        return false;
    }
    std::size_t total = start.config.size();
    for (std::size_t j = 0; j < dts.size(); ++j) {
        const encoded_picture& picture = run.pictures[j];
        const unsigned frame_type = picture.key ? FRAME_KEYFRAME : 2;
        std::vector<std::uint8_t> data = new_tag_head(use, start.track, frame_type, AVC_NALU); // CodedFrames is 1 too
        if (has_composition_time(use)) {
            const std::int64_t cts = picture.pts - std::int64_t{dts[j]};
            if (cts < -0x800000 || cts > 0x7FFFFF) {
                why = "a picture is presented too far from its frame's timestamp";
                return false;
            }
            const auto field = static_cast<std::uint32_t>(cts) & 0xFFFFFF;
            const std::uint8_t cts_bytes[] = {static_cast<std::uint8_t>(field >> 16), static_cast<std::uint8_t>(field >> 8),
                                              static_cast<std::uint8_t>(field)};
            const std::vector<std::uint8_t> units =
                use.codec == picture_codec::h264 ? length_prefixed(picture.data.data(), picture.data.size())
                                                 : hevc_frame(picture.data.data(), picture.data.size(), ids);
            if (units.empty()) {
                why = "the encoder's frames refer to parameter sets it did not give";
                return false;
            }
            data.reserve(data.size() + 3 + units.size());
            data.insert(data.end(), std::begin(cts_bytes), std::end(cts_bytes));
            data.insert(data.end(), units.begin(), units.end());
        } else if (use.codec == picture_codec::av1) {
            const std::vector<std::uint8_t> units = without_temporal_delimiters(picture.data.data(), picture.data.size());
            data.insert(data.end(), units.begin(), units.end());
        } else {
            data.insert(data.end(), picture.data.begin(), picture.data.end());
        }
        total += data.size();
        if (data.size() > MAX_TAG_DATA_SIZE || total > MAX_NEW_RUN_BYTES) {
            why = "the frames encoded again pass 32 MiB";
            return false;
        }
        start.frames.push_back(std::move(data));
    }
    return true;
}

reencode_profile profile_of(const codec_use& use, const std::vector<std::uint8_t>& config)
{
    reencode_profile profile;
    const std::vector<std::uint8_t> record = payload_of(use, config);
    if (use.codec == picture_codec::h264 && !record.empty()) {
        avc_profile_of(record, profile.profile, profile.level);
        profile.parameter_set_id = unused_parameter_set_id(record);
    }
    return profile;
}

// The decode walk: every video tag from the keyframe to range_end, the
// frames before first_tag as references only.
struct decode_walk {
    const codec_use* use = nullptr;
    reencoder* coder = nullptr;
    std::vector<std::uint8_t> config;
    std::vector<std::uint32_t> dts; // of the frames encoded again
};

bool feed_frame(decode_walk& walk, const tag_header& tag, const std::vector<std::uint8_t>& data, bool keep,
                std::string& why)
{
    if (walk.coder == nullptr) {
        walk.use = codec_use_of(data);
        if (walk.use == nullptr) {
            why = "its codec is not one this build encodes";
            return false;
        }
        if (!can_reencode(walk.use->codec)) {
            why = codec_library_fault();
            if (why.empty())
                why = "the codec library has no decoder or encoder for its codec";
            return false;
        }
        hevc_ids ids;
        if (walk.use->codec == picture_codec::hevc && !hevc_unused_ids(payload_of(*walk.use, walk.config), ids)) {
            why = "the recording's parameter sets leave no ids free for new ones";
            return false;
        }
        walk.coder = open_reencoder(walk.use->codec, payload_of(*walk.use, walk.config),
                                    profile_of(*walk.use, walk.config), why);
        if (walk.coder == nullptr)
            return false;
    } else if (codec_use_of(data) != walk.use) {
        why = "its codec changes before the next keyframe";
        return false;
    }
    const std::int64_t pts = std::int64_t{tag.timestamp} + composition_time_ms(data.data(), data.size());
    const std::size_t header = std::min(codec_offset(*walk.use, data), data.size());
    if (!reencoder_frame(walk.coder, data.data() + header, data.size() - header, pts, keep)) {
        reencoded_run unused;
        return finish_reencoder(walk.coder, unused, why); // false, with the decoder's reason
    }
    if (keep)
        walk.dts.push_back(tag.timestamp);
    return true;
}

// The track's coded frames from the keyframe to range_end, counted from
// their headers, and the picture size the keyframe or its sequence header
// tells.
struct range_cost {
    std::uint64_t decoded = 0, kept = 0;
    std::uint64_t kept_bytes = 0;
    picture_size picture;
};

bool count_range(in_stream& look, const start_source& source, const slide_start& start, range_cost& cost)
{
    const std::vector<std::uint8_t>& config = *source.keyframe_config;
    picture_size_of(config.data(), config.size(), cost.picture);
    tag_header tag;
    for (std::uint64_t offset = source.keyframe_offset; offset < start.range_end;
         offset += TAG_HEADER_SIZE + tag.data_size + PREV_TAG_SIZE_LEN) {
        std::uint8_t bytes[TAG_HEADER_SIZE + TAG_HEAD_SIZE];
        const std::size_t got = read_at(look, offset, bytes, sizeof bytes);
        if (got < TAG_HEADER_SIZE)
            break;
        tag = decode_tag_header(bytes);
        const std::uint8_t* head = bytes + TAG_HEADER_SIZE;
        const std::size_t head_size = std::min<std::size_t>(got - TAG_HEADER_SIZE, tag.data_size);
        if (tag.type != TAG_VIDEO || video_track_of(head, head_size) != start.track ||
            !is_coded_video_frame(head, head_size))
            continue;
        if (cost.decoded++ == 0 && cost.picture.width == 0) {
            std::vector<std::uint8_t> data(tag.data_size);
            if (read_at(look, offset + TAG_HEADER_SIZE, data.data(), data.size()) == data.size())
                picture_size_of(data.data(), data.size(), cost.picture);
        }
        if (offset >= start.first_tag) {
            ++cost.kept;
            cost.kept_bytes += tag.data_size;
        }
    }
    return look.error == 0;
}

std::uint64_t memory_of(const range_cost& cost)
{
    return std::uint64_t{cost.picture.width} * cost.picture.height * 3 / 2 * START_PICTURES_HELD + 2 * cost.kept_bytes;
}

// Returns what it took: all that is left, for a start larger than the
// budget that goes ahead alone.
std::uint64_t take_budget(start_budget& budget, std::uint64_t bytes, const std::atomic<int>& stop)
{
    std::unique_lock<std::mutex> hold(budget.lock);
    while (budget.holders > 0 && bytes > budget.left && stop == 0)
        budget.freed.wait_for(hold, std::chrono::milliseconds(20));
    const std::uint64_t taken = std::min(bytes, budget.left);
    budget.left -= taken;
    ++budget.holders;
    return taken;
}

void give_back(start_budget& budget, std::uint64_t taken)
{
    {
        const std::lock_guard<std::mutex> hold(budget.lock);
        budget.left += taken;
        --budget.holders;
    }
    budget.freed.notify_all();
}

// What the start would cost, against its bounds, before the work.
bool within_bounds(const range_cost& cost, std::string& why)
{
    const std::uint64_t pixels = std::uint64_t{cost.picture.width} * cost.picture.height * cost.decoded;
    if (pixels > MAX_START_PIXELS) {
        why = "it would decode " + std::to_string(cost.decoded) + " frames of " + std::to_string(cost.picture.width) +
              "x" + std::to_string(cost.picture.height) + ", more than the 1 Gpixel a start may";
        return false;
    }
    if (cost.kept_bytes > MAX_NEW_RUN_BYTES) {
        why = "the frames to encode again hold more than 32 MiB";
        return false;
    }
    return true;
}

bool decode_and_encode(in_stream& look, const start_source& source, slide_start& start, decode_walk& walk,
                       std::string& why)
{
    walk.config = *source.keyframe_config;
    tag_header tag;
    std::vector<std::uint8_t> data;
    for (std::uint64_t offset = source.keyframe_offset; offset < start.range_end;
         offset += TAG_HEADER_SIZE + tag.data_size + PREV_TAG_SIZE_LEN) {
        if (!read_tag(look, offset, tag, data)) {
            if (look.error != 0) {
                why = "the recording cannot be read back";
                return false;
            }
            // A recording cut off (still being written, or copied short):
            // the frames before the cut-off tag are what there is.
            break;
        }
        if (*source.stop != 0) {
            why = "the run was stopped";
            return false;
        }
        if (tag.type != TAG_VIDEO || data.empty() || video_track_of(data.data(), data.size()) != start.track)
            continue;
        if (classify_config(tag.type, data.data(), data.size()) == config_kind::video) {
            walk.config = data;
            const std::vector<std::uint8_t> record = walk.use != nullptr ? payload_of(*walk.use, data) : data;
            if (walk.coder != nullptr && !record.empty())
                reencoder_config(walk.coder, record.data(), record.size());
        } else if (is_coded_video_frame(data.data(), data.size()) &&
                   !feed_frame(walk, tag, data, offset >= start.first_tag, why)) {
            return false;
        }
    }
    reencoded_run run;
    if (walk.coder == nullptr) {
        why = "it holds no frame to decode";
        return false;
    }
    return finish_reencoder(walk.coder, run, why) && wrap_run(*walk.use, run, walk.dts, walk.config, start, why);
}

}  // namespace

bool encode_slide_start(in_stream& look, const start_source& source, slide_start& start, std::string& why)
{
    if (start.first_tag - source.keyframe_offset > MAX_NEW_RUN_BYTES) {
        why = "its last keyframe lies more than 32 MiB back";
        return false;
    }
    range_cost cost;
    if (!count_range(look, source, start, cost)) {
        why = "the recording cannot be read back";
        return false;
    }
    if (!within_bounds(cost, why))
        return false;
    static std::once_flag kept;
    std::call_once(kept, keep_freed_memory);
    const std::uint64_t taken = source.budget != nullptr ? take_budget(*source.budget, memory_of(cost), *source.stop) : 0;
    decode_walk walk;
    const bool ok = decode_and_encode(look, source, start, walk, why);
    close_reencoder(walk.coder, *source.stop == 0);
    if (source.budget != nullptr)
        give_back(*source.budget, taken);
    // The H.264 and HEVC records of the new run hold the recording's
    // parameter sets too, so the frames copied after the next keyframe need
    // no sequence header of their own there. One there would be worse than
    // none: web players build their first init segment from the last record
    // they have read by then, and the new run's first frames would go to a
    // decoder that lacks their parameter sets.
    if (walk.use == nullptr || !has_composition_time(*walk.use))
        start.resume_config = walk.config;
    start.active = ok;
    if (!ok) {
        start.config.clear();
        start.frames.clear();
    }
    return ok;
}
