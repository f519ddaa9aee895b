#include "restart/slide_start.h"

#include "codecs/annexb.h"
#include "codecs/av1.h"
#include "codecs/avc.h"
#include "codecs/hevc.h"
#include "codecs/vp9.h"
#include "flv/ex_header.h"
#include "flv/tag_kind.h"
#include "io/big_endian.h"
#include "io/platform.h"
#include "restart/codec_use.h"
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

// The new run's sequence header (tag data) into start.config: AV1's and
// VP9's own, or H.264's and HEVC's parameter sets beside the recording's.
bool wrap_sequence_header(const codec_use& use, const reencoded_run& run, const std::vector<std::uint8_t>& recording_config,
                          const hevc_ids& ids, slide_start& start, std::string& why)
{
    std::vector<std::uint8_t> record;
    std::uint8_t packet_type = VIDEO_EX_SEQUENCE_START;
    if (use.codec == picture_codec::av1) {
        // The encoder's global header, or else the sequence header its first
        // keyframe carries.
        record = av1_config_record(run.config.data(), run.config.size());
        if (record.empty())
            record = av1_config_record(run.pictures[0].data.data(), run.pictures[0].data.size());
        if (record.empty()) {
            why = "the encoder gave no sequence header";
            return false;
        }
    } else if (use.codec == picture_codec::vp9) {
        // The profile of the first picture's header: bits 5 (low) and 4 (high).
        const std::uint8_t first = run.pictures[0].data.empty() ? 0 : run.pictures[0].data[0];
        record = vp9_config_record((first >> 5 & 1) | (first >> 3 & 2));
    } else if (has_composition_time(use)) {
        // The recording's parameter sets go along, so that the frames copied
        // after the next keyframe parse with the same record: the slide needs
        // no other, and a parser does not always follow a new one.
        const std::vector<std::uint8_t> recording_record = payload_of(use, recording_config);
        record = use.codec == picture_codec::h264
                     ? avc_config_record(run.config.data(), run.config.size(), recording_record)
                     : hevc_config_record(run.config.data(), run.config.size(), ids, recording_record);
        if (record.empty()) {
            why = "the encoder gave no parameter sets";
            return false;
        }
        packet_type = AVC_SEQUENCE_HEADER; // SequenceStart is 0 too
        if (use.fourcc == 0)
            record.insert(record.begin(), {0, 0, 0}); // composition time
    } else {
        return true; // Sorenson H.263 has none
    }
    start.config = new_tag_head(use, start.track, FRAME_KEYFRAME, packet_type);
    start.config.insert(start.config.end(), record.begin(), record.end());
    // With the recording's parameter sets beside the encoder's, the record
    // can outgrow what one tag holds.
    if (start.config.size() > MAX_TAG_DATA_SIZE) {
        why = "its new sequence header, the recording's parameter sets beside the new ones, passes the 16 MiB a tag "
              "can hold";
        return false;
    }
    return true;
}

// A coded frame's tag data: the head, the composition time where the codec
// has one (presented at pts, the tag at dts), the codec's bytes.
bool wrap_frame(const codec_use& use, int track, bool key, std::int64_t pts, std::uint32_t dts,
                const std::vector<std::uint8_t>& units, std::vector<std::uint8_t>& data, std::string& why)
{
    data = new_tag_head(use, track, key ? FRAME_KEYFRAME : 2, AVC_NALU); // CodedFrames is 1 too
    if (has_composition_time(use)) {
        const std::int64_t cts = pts - std::int64_t{dts};
        if (cts < -0x800000 || cts > 0x7FFFFF) {
            why = "a picture is presented too far from its frame's timestamp";
            return false;
        }
        append_be(data, static_cast<std::uint32_t>(cts) & 0xFFFFFF, 3);
    }
    data.insert(data.end(), units.begin(), units.end());
    return true;
}

// An encoded picture's units as FLV carries them.
std::vector<std::uint8_t> picture_units(const codec_use& use, const encoded_picture& picture, const hevc_ids& ids)
{
    const std::uint8_t* bytes = picture.data.data();
    const std::size_t size = picture.data.size();
    switch (use.codec) {
    case picture_codec::h264: return length_prefixed(bytes, size);
    case picture_codec::hevc: return hevc_frame(bytes, size, ids);
    case picture_codec::av1: return without_temporal_delimiters(bytes, size);
    default: return picture.data;
    }
}

// The CRA the new run's end meets, as a BLA: the recording's frame, its
// type changed, in the last of the replaced tags' places.
struct bla_joint {
    std::vector<std::uint8_t> data; // the CRA's tag data
    std::vector<std::uint8_t> config; // the recording's sequence header in force there
    std::int64_t pts = 0;
};

bool wrap_bla(const codec_use& use, int track, const bla_joint& cra, std::uint32_t dts, std::vector<std::uint8_t>& data,
              std::string& why)
{
    const std::size_t offset = std::min(codec_offset(use, cra.data), cra.data.size());
    const std::vector<std::uint8_t> units =
        hevc_cra_as_bla(cra.data.data() + offset, cra.data.size() - offset, nal_length_size(use, cra.config));
    if (units.empty()) {
        why = "its CRA picture cannot be made a BLA";
        return false;
    }
    return wrap_frame(use, track, true, cra.pts, dts, units, data, why);
}

// The new run as FLV tag data: the sequence header first, then one tag per
// picture at the timestamps of the tags it replaces (dts, in file order);
// a picture's composition time is its presentation time less that. Where
// the run ends at a CRA, the CRA as a BLA takes the last place.
bool wrap_run(const codec_use& use, const reencoded_run& run, const std::vector<std::uint32_t>& dts,
              const std::vector<std::uint8_t>& recording_config, const bla_joint* bla, slide_start& start,
              std::string& why)
{
    const std::size_t places = dts.size() - (bla != nullptr ? 1 : 0);
    if (run.pictures.size() != places || run.pictures.empty()) {
        why = "the encoder gave " + std::to_string(run.pictures.size()) + " pictures for " + std::to_string(places) +
              " frames";
        return false;
    }
    if (!run.pictures[0].key) {
        why = "the encoder did not start with a keyframe";
        return false;
    }
    hevc_ids ids;
    if (use.codec == picture_codec::hevc && !hevc_unused_ids(payload_of(use, recording_config), ids)) {
        why = "the recording's parameter sets leave no ids free for new ones";
        return false;
    }
    if (!wrap_sequence_header(use, run, recording_config, ids, start, why))
        return false;
    std::size_t total = start.config.size();
    start.frames.resize(dts.size());
    for (std::size_t j = 0; j < dts.size(); ++j) {
        std::vector<std::uint8_t>& data = start.frames[j];
        if (j == places) {
            if (!wrap_bla(use, start.track, *bla, dts[j], data, why))
                return false;
        } else {
            const encoded_picture& picture = run.pictures[j];
            const std::vector<std::uint8_t> units = picture_units(use, picture, ids);
            if (units.empty() && has_composition_time(use)) {
                why = "the encoder's frames refer to parameter sets it did not give";
                return false;
            }
            if (!wrap_frame(use, start.track, picture.key, picture.pts, dts[j], units, data, why))
                return false;
        }
        total += data.size();
        if (data.size() > MAX_TAG_DATA_SIZE || total > MAX_NEW_RUN_BYTES) {
            why = "the frames encoded again pass 32 MiB";
            return false;
        }
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
    std::vector<std::uint32_t> dts; // of the tags the new run's frames replace
    bla_joint bla;                  // where the run ends at a CRA
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

// A step over the track's coded frames from their headers and first bytes,
// up to end: the frame's tag at offset, its timestamp and presentation
// time. False past the last.
struct frame_step {
    std::uint64_t offset = 0, next = 0;
    tag_header tag;
    std::int64_t pts = 0;
};

bool next_track_frame(in_stream& look, int track, std::uint64_t end, frame_step& step)
{
    for (step.offset = step.next; step.offset < end;) {
        std::uint8_t bytes[TAG_HEADER_SIZE + TAG_HEAD_SIZE];
        const std::size_t got = read_at(look, step.offset, bytes, sizeof bytes);
        if (got < TAG_HEADER_SIZE)
            return false;
        step.tag = decode_tag_header(bytes);
        step.next = step.offset + TAG_HEADER_SIZE + step.tag.data_size + PREV_TAG_SIZE_LEN;
        const std::uint8_t* head = bytes + TAG_HEADER_SIZE;
        const std::size_t head_size = std::min<std::size_t>(got - TAG_HEADER_SIZE, step.tag.data_size);
        if (is_track_frame(step.tag.type, head, head_size, track)) {
            step.pts = std::int64_t{step.tag.timestamp} + composition_time_ms(head, head_size);
            return true;
        }
        step.offset = step.next;
    }
    return false;
}

bool count_range(in_stream& look, const start_source& source, const slide_start& start, range_cost& cost)
{
    const std::vector<std::uint8_t>& config = *source.keyframe_config;
    picture_size_of(config.data(), config.size(), cost.picture);
    frame_step step;
    step.next = source.keyframe_offset;
    while (next_track_frame(look, start.track, start.range_end, step)) {
        if (cost.decoded++ == 0 && cost.picture.width == 0) {
            std::vector<std::uint8_t> data(step.tag.data_size);
            if (read_at(look, step.offset + TAG_HEADER_SIZE, data.data(), data.size()) == data.size())
                picture_size_of(data.data(), data.size(), cost.picture);
        }
        if (step.offset >= start.first_tag) {
            ++cost.kept;
            cost.kept_bytes += step.tag.data_size;
        }
    }
    return look.error == 0;
}

// Whether decoding from a keyframe of this access leaves the first frame
// encoded again wrong: one of the keyframe's leading pictures (shown before
// it, they may refer to pictures before it), or a frame before a recovery
// point's pictures are right.
bool first_kept_wrong(in_stream& look, std::uint64_t keyframe, const random_access& access, const slide_start& start)
{
    if (access.kind == access_kind::none)
        return true;
    frame_step step;
    step.next = keyframe;
    std::int64_t keyframe_pts = 0;
    for (unsigned frames = 0; next_track_frame(look, start.track, start.range_end, step); ++frames) {
        if (frames == 0)
            keyframe_pts = step.pts;
        if (step.offset >= start.first_tag && step.offset != start.bla_tag)
            return access.kind == access_kind::open ? step.pts < keyframe_pts : frames < access.recovery_frames;
    }
    return false;
}

// Where decoding begins: the track's last keyframe, or the one before it
// where decoding from the last would not give the first frame right.
start_source decoding_source(in_stream& look, const start_source& source, const slide_start& start)
{
    if (source.earlier_config == nullptr)
        return source;
    const random_access access = tag_access(look, source.keyframe_offset, *source.keyframe_config);
    if (access.kind == access_kind::clean || access.kind == access_kind::unknown ||
        !first_kept_wrong(look, source.keyframe_offset, access, start))
        return source;
    start_source earlier = source;
    earlier.keyframe_offset = source.earlier_offset;
    earlier.keyframe_config = source.earlier_config;
    return earlier;
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

// The CRA where the new run ends: decoded as a reference, its place the
// last of the run's.
void take_bla(decode_walk& walk, const tag_header& tag, std::vector<std::uint8_t>& data)
{
    walk.bla.pts = std::int64_t{tag.timestamp} + composition_time_ms(data.data(), data.size());
    walk.bla.config = walk.config;
    walk.bla.data.swap(data);
    walk.dts.push_back(tag.timestamp);
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
        } else if (is_coded_video_frame(data.data(), data.size())) {
            if (!feed_frame(walk, tag, data, offset >= start.first_tag && offset != start.bla_tag, why))
                return false;
            if (offset == start.bla_tag)
                take_bla(walk, tag, data);
        }
    }
    reencoded_run run;
    if (walk.coder == nullptr) {
        why = "it holds no frame to decode";
        return false;
    }
    const bla_joint* bla = start.bla_tag != 0 ? &walk.bla : nullptr;
    if (bla != nullptr && walk.bla.data.empty()) {
        why = "the recording ends before its CRA picture";
        return false;
    }
    return finish_reencoder(walk.coder, run, why) && wrap_run(*walk.use, run, walk.dts, walk.config, bla, start, why);
}

}  // namespace

bool encode_slide_start(in_stream& look, const start_source& given, slide_start& start, std::string& why)
{
    const start_source source = decoding_source(look, given, start);
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
