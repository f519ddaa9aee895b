#include "split/splitter.h"

#include "cue/cue_list.h"
#include "flv/amf.h"
#include "flv/foreign_file.h"
#include "flv/tag_reader.h"
#include "io/platform.h"
#include "restart/reencoder.h"
#include "restart/slide_start.h"
#include "slides/audio_file.h"
#include "slides/cut_rule.h"
#include "slides/slide_name.h"
#include "slides/slide_plan.h"
#include "slides/slide_writer.h"
#include "split/starts_ahead.h"

#include <algorithm>
#include <cstdarg>
#include <climits>
#include <cstring>
#include <set>
#include <vector>

std::atomic<int> split_stop_signal{0};

namespace {

struct split_run {
    tag_reader reader;
    file_id recording_id, cue_id; // no slide may overwrite its inputs
    std::string cue_path;
    in_stream look;                   // the same recording, for looking ahead
    std::uint64_t file_size = 0;
    std::vector<amf_entry> recording_meta; // the most recent onMetaData's fields
    flv_slide flv;
    audio_slide audio;             // separate mode's audio file
    audio_stream recording_audio;  // what the recording's audio has told so far
    carried_configs carried;
    std::vector<track_keyframe> keyframes; // of each video track with one so far
    std::vector<slide_start> starts;  // the current slide's frames encoded again, by track
    starts_ahead* ahead = nullptr;    // later slides' starts, made on other threads once one is wanted
    bool ahead_tried = false;         // a slide has wanted one: the threads started, or cannot be
    std::uint64_t starts_end = 0;     // where the last of their ranges ends, 0 without any
    std::vector<carried_tag> new_configs; // their sequence headers
    bool flv_skipped = false; // the current slide holds no frame for a .flv file
    bool said_empty = false;  // and a warning said that it gets no file at all
    bool slide_has_tag = false; // a tag of the recording fell in the current slide
    std::vector<std::uint32_t> cues;
    std::vector<cue_source> cue_sources; // where each cue point stands in the cue file
    std::set<std::string> made_files;     // the slide files this run wrote
    std::uint32_t slide_first_ts = 0, last_ts = 0; // of the current slide's first tag, and its latest so far
    bool has_tag = false; // the walk has read a tag
    std::uint64_t next_progress = 0; // the offset past which progress is told next
    std::string base_name;
    std::int32_t cur_slide = 0;
    bool separate_audio = false;
    split_listener listener = nullptr;
    void* context = nullptr;
};

void tell(const split_run& run, split_event_kind kind, const std::string& text)
{
    if (run.listener != nullptr)
        run.listener(split_event{kind, run.cur_slide, text, nullptr, nullptr}, run.context);
}

SLIDECUT_PRINTF(2, 3) void warn(const split_run& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = format_note(format, args);
    va_end(args);
    tell(run, split_event_kind::warning, "warning: " + text);
}

void pass_on(const split_run& run, const notes& found)
{
    for (const std::string& text : found)
        tell(run, split_event_kind::warning, "warning: " + text);
}

split_result failed(split_failure failure, const std::string& path, int error)
{
    split_result result;
    result.failure = failure;
    result.path = path;
    result.error = error;
    return result;
}

// The slide that ends, told with the files it was written to.
void tell_slide_done(split_run& run)
{
    split_slide done;
    for (const out_stream* out : {&run.flv.out, &run.audio.out})
        if (is_open(*out))
            done.files.push_back(out->path);
    run.made_files.insert(done.files.begin(), done.files.end());
    if (done.files.empty() || run.listener == nullptr)
        return;
    done.first_ts = run.slide_first_ts;
    done.last_ts = run.last_ts;
    const auto cue = static_cast<std::size_t>(run.cur_slide) - 1;
    if (run.cur_slide > 0 && cue < run.cue_sources.size()) {
        done.has_cue = true;
        done.cue_ms = run.cues[cue];
        done.cue_line = run.cue_sources[cue].line;
        done.cue_token = run.cue_sources[cue].token;
    }
    run.listener(split_event{split_event_kind::slide_done, run.cur_slide, "", nullptr, &done}, run.context);
}

// The audio file closes before the .flv file; both must land whole.
bool close_slide_files(split_run& run, split_result& result)
{
    tell_slide_done(run);
    if (!close_audio_slide(run.audio)) {
        result = failed(split_failure::write_slide, run.audio.out.path, run.audio.out.error);
        discard_out(run.flv.out);
        return false;
    }
    if (!close_out(run.flv.out)) {
        result = failed(split_failure::write_slide, run.flv.out.path, run.flv.out.error);
        return false;
    }
    return true;
}

// A failed run keeps only the slides it finished.
split_result fail_run(split_run& run, split_result result)
{
    if (result.failure == split_failure::none) {
        for (const out_stream* out : {&run.audio.out, &run.flv.out})
            if (is_open(*out) && out->error != 0 && result.failure == split_failure::none)
                result = failed(split_failure::write_slide, out->path, out->error);
    }
    if (result.failure == split_failure::none)
        result = failed(split_failure::read_recording, run.reader.in.path, run.reader.in.error);
    discard_out(run.audio.out);
    discard_out(run.flv.out);
    stop_ahead(run.ahead);
    close_recording(run.reader);
    close_in(run.look);
    return result;
}

// A signal stops the run at the tag at offset.
bool interrupted(const split_run& run, std::uint64_t offset, split_result& result)
{
    result = failed(split_failure::interrupted, run.reader.in.path, 0);
    result.slide = run.cur_slide;
    result.offset = offset;
    return false;
}

// A slide file that cannot be created fails the run.
move_result cannot_create(const out_stream& out, split_result& result)
{
    result = failed(split_failure::create_slide, out.path, out.error);
    return move_result::failed;
}

// A slide's name, or its temporary one, that names the recording or the cue
// file (through a link, or spelled another way) would destroy it: the run
// stops before writing.
bool names_an_input(const split_run& run, const std::string& path, split_result& result)
{
    for (const std::string& name : {path, path + PART_SUFFIX}) {
        const file_id id = id_of_path(name);
        const std::string* input = same_file(id, run.recording_id) ? &run.reader.in.path
                                   : same_file(id, run.cue_id)     ? &run.cue_path
                                                                   : nullptr;
        if (input != nullptr) {
            result = failed(split_failure::slide_is_input, path, 0);
            result.input_path = *input;
            return true;
        }
    }
    return false;
}

// A slide whose first frame a decoder cannot start from gets a start of its
// own: its frames up to the next keyframe encoded again. Where they cannot
// be, it starts as cut, and a warning says how far its first keyframe lies.
void take_track_start(split_run& run, const slide_range& range, track_start& made)
{
    if (!made.wanted)
        return;
    if (made.made) {
        run.starts.push_back(std::move(made.start));
        return;
    }
    if (split_stop_signal != 0)
        return;
    const char* path = run.reader.in.path.c_str();
    // Tags of one track say nothing of tracks; those of Multitrack tags name theirs.
    const std::string slide = made.track < 0 ? "slide " + std::to_string(run.cur_slide)
                                             : "video track " + std::to_string(made.track) + " of slide " +
                                                   std::to_string(run.cur_slide);
    const slide_frames& frames = made.frames;
    const std::string starts = frames.first_access.kind == access_kind::unknown
                                   ? "starts between keyframes"
                                   : "starts on a keyframe that is no clean start (" +
                                         access_description(frames.first_access) + ")";
    std::string why = made.why;
    if (frames.passed_keyframes > 0)
        why += "; the recording's frames cannot follow a new run at the " + std::to_string(frames.passed_keyframes) +
               " keyframes after its start, which are no clean starts either";
    if (frames.has_keyframe)
        warn(run, "%s: %s %s and its frames cannot be encoded again (%s); it starts as cut, and players show its first "
                  "picture %.3f s after its start, at its first keyframe",
             path, slide.c_str(), starts.c_str(), why.c_str(), (frames.keyframe_ts - range.base_ts) / 1000.0);
    else
        warn(run, "%s: %s %s and its frames cannot be encoded again (%s); it starts as cut and holds no keyframe, so "
                  "players may show no picture of it",
             path, slide.c_str(), starts.c_str(), why.c_str());
}

// Once a slide wants a start, the coming slides' starts are made on as
// many threads as the process has processors, ahead of the walk, while the
// walk makes this one.
void start_ahead_once(split_run& run, const slide_starts& found)
{
    if (run.ahead_tried ||
        std::none_of(found.tracks.begin(), found.tracks.end(), [](const track_start& t) { return t.wanted; }))
        return;
    run.ahead_tried = true;
    // The codec library is loaded only now that a slide wants it.
    const unsigned workers = usable_cpu_count();
    if (workers >= 2 && codec_library_fault().empty())
        run.ahead = start_ahead(run.reader.in.path, run.file_size, run.cues, run.separate_audio, workers, run.cur_slide);
}

// Each video track with a keyframe so far is looked at; a track without one
// is cut as it stands: there is no picture to start from. The starts made
// ahead are taken where they were made from what the walk knows now.
void plan_start(split_run& run, const slide_range& range)
{
    run.starts.clear();
    slide_starts made;
    made.first_tag = range.first_tag;
    made.keyframes = run.keyframes;
    if (run.ahead == nullptr || !take_slide_starts(run.ahead, run.cur_slide, made)) {
        find_wanted_starts(run.look, range, made);
        start_ahead_once(run, made);
        encode_wanted_starts(run.look, range, made, split_stop_signal, budget_of(run.ahead));
    }
    for (track_start& track : made.tracks)
        take_track_start(run, range, track);
    run.starts_end = starts_range_end(run.starts);
}

// The slide's onMetaData, from a look ahead over the tags it will hold;
// empty when the look-ahead cannot read the recording.
std::vector<std::uint8_t> slide_metadata(split_run& run, const std::vector<const carried_tag*>& carried,
                                         const slide_range& range, slide_stats& stats)
{
    for (const carried_tag* keep : carried)
        count_tag(stats, {keep->header.type, 0, static_cast<std::uint32_t>(keep->data.size()),
                          TAG_HEADER_SIZE + keep->data.size() + PREV_TAG_SIZE_LEN, keep->data.data(), keep->data.size()});
    if (!plan_slide(run.look, range, run.starts, stats))
        return {};
    amf_buffer metadata = build_on_metadata(stats, run.recording_meta, true);
    if (metadata.size() > MAX_TAG_DATA_SIZE) {
        warn(run, "%s: slide %d has %zu keyframes, too many for the index in its onMetaData; the index is left out",
             run.reader.in.path.c_str(), run.cur_slide, stats.keyframes.size());
        metadata = build_on_metadata(stats, run.recording_meta, false);
    }
    return metadata;
}

void warn_empty_slide(split_run& run)
{
    run.said_empty = true;
    warn(run, "%s: slide %d holds no audio or video frame, only script data or sequence headers; no file is written "
              "for it",
         run.reader.in.path.c_str(), run.cur_slide);
}

// A slide of separate mode whose tags reached no file (script data and an
// AAC configuration, say) never asked for a .flv file: said as it ends.
void check_empty_slide(split_run& run)
{
    if (run.separate_audio && run.slide_has_tag && !run.said_empty && !is_open(run.flv.out) &&
        !is_open(run.audio.out))
        warn_empty_slide(run);
}

// The sequence headers a slide starts with: a new run's own first, then the
// kept ones it needs.
std::vector<const carried_tag*> slide_configs(split_run& run, config_id first_tag)
{
    std::vector<int> new_tracks;
    run.new_configs.clear();
    for (slide_start& start : run.starts) {
        new_tracks.push_back(start.track);
        if (start.config.empty())
            continue;
        run.new_configs.emplace_back();
        run.new_configs.back().header.type = TAG_VIDEO;
        run.new_configs.back().data = std::move(start.config);
    }
    std::vector<const carried_tag*> carried = carried_for(run.carried, new_tracks, !run.separate_audio, first_tag);
    for (auto config = run.new_configs.rbegin(); config != run.new_configs.rend(); ++config)
        carried.insert(carried.begin(), &*config);
    return carried;
}

// Opens the slide's .flv file with its tag at tag_offset: onMetaData and
// codec configuration go first. A slide without a frame for it gets no file.
move_result open_flv(split_run& run, const tag_header& tag, std::uint64_t tag_offset, config_id config,
                     split_result& result)
{
    const slide_range range{tag_offset, run.file_size, &run.cues, run.cur_slide, tag.timestamp, run.separate_audio};
    plan_start(run, range);
    if (split_stop_signal != 0) {
        interrupted(run, tag_offset, result);
        return move_result::failed;
    }
    const std::vector<const carried_tag*> carried = slide_configs(run, config);
    slide_stats stats;
    const std::vector<std::uint8_t> metadata = slide_metadata(run, carried, range, stats);
    if (metadata.empty() || run.look.error != 0) {
        result = failed(split_failure::read_recording, run.look.path, run.look.error);
        return move_result::failed;
    }
    if (stats.frames == 0) {
        run.flv_skipped = true;
        // In separate mode the audio file may have opened with frames before.
        if (!stats.slide_has_frames && !is_open(run.audio.out))
            warn_empty_slide(run);
        return move_result::done;
    }
    const std::string path = slide_file_name(run.base_name, run.cur_slide, "flv");
    if (names_an_input(run, path, result))
        return move_result::failed;
    if (!open_flv_slide(run.flv, path, run.reader.file_header, tag.timestamp, metadata))
        return cannot_create(run.flv.out, result);
    write_carried_configs(run.flv, carried);
    return move_result::done;
}

move_result route_flv(split_run& run, const tag_header& tag, const tag_class& c, std::uint64_t tag_offset,
                      split_result& result)
{
    in_stream& in = run.reader.in;
    const config_id config = c.config;
    if (!is_open(run.flv.out) && !run.flv_skipped) {
        const move_result opened = open_flv(run, tag, tag_offset, config, result);
        if (opened != move_result::done)
            return opened;
    }
    if (c.keyframe)
        note_keyframe(run.keyframes, run.carried, tag_offset, c.track);
    if (run.flv_skipped)
        return config.kind != config_kind::none ? hold_config(tag, config, in, run.carried)
                                           : result_of(in, nullptr, skip_bytes(in, tag.data_size), tag.data_size);
    const start_match match = match_start(run.starts, tag_offset, c);
    switch (match.action) {
    case start_action::hold_config:
        return hold_config(tag, config, in, run.carried);
    case start_action::replace_frame: {
        slide_start& start = run.starts[match.index];
        if (start.next == start.frames.size())
            break;
        write_new_tag(run.flv, tag, start.frames[start.next++]);
        return result_of(in, &run.flv.out, skip_bytes(in, tag.data_size), tag.data_size);
    }
    case start_action::resume:
        write_new_tag(run.flv, tag, run.starts[match.index].resume_config);
        break;
    case start_action::copy:
        break;
    }
    return write_flv_tag(run.flv, tag, config, in, run.carried);
}

// The recording's onMetaData is not copied: its fields stand in every later
// slide's own, except those the slide computes.
move_result take_recording_meta(split_run& run, const tag_header& tag, std::uint64_t tag_offset)
{
    in_stream& in = run.reader.in;
    const std::uint64_t start = in_offset(in);
    amf_metadata meta = read_on_metadata(in, tag.data_size);
    run.recording_meta = std::move(meta.entries);
    if (!meta.complete)
        warn(run, "%s: the onMetaData at byte offset %llu cannot be read to its end; what follows the %zu fields read "
                  "is not carried",
             in.path.c_str(), static_cast<unsigned long long>(tag_offset), run.recording_meta.size());
    return result_of(in, nullptr, in_offset(in) - start, tag.data_size);
}

// An AudioSpecificConfig longer than this is read no further.
constexpr std::size_t ASC_READ_MAX = 64;

// Separate mode's audio file opens under its name with the first tag that
// reaches one.
bool open_audio_file(split_run& run, audio_kind kind, const tag_class& c, notes& found, split_result& result)
{
    const std::string path = slide_file_name(run.base_name, run.cur_slide, audio_file_ext(kind));
    if (names_an_input(run, path, result))
        return false;
    if (!open_out(run.audio.out, path)) {
        cannot_create(run.audio.out, result);
        return false;
    }
    start_audio_file(run.audio, kind, run.recording_audio, run.cur_slide, c, found);
    return true;
}

move_result route_audio(split_run& run, const tag_header& tag, const tag_class& c, std::uint64_t tag_offset,
                        split_result& result)
{
    in_stream& in = run.reader.in;
    notes found;
    const audio_route route = route_audio_tag(run.recording_audio, run.audio, c, tag_offset, found);
    move_result moved = move_result::done;
    if (route.action == audio_action::take_start)
        moved = take_audio_start(run.recording_audio, tag, c, tag_offset, in, found);
    else if (route.action == audio_action::skip)
        moved = result_of(in, nullptr, skip_bytes(in, tag.data_size), tag.data_size);
    else if (!is_open(run.audio.out) && !open_audio_file(run, route.kind, c, found, result))
        moved = move_result::failed;
    else
        moved = write_audio_tag(run.audio, run.recording_audio, route.kind, tag, c, tag_offset, in, found);
    pass_on(run, found);
    return moved;
}

move_result route_tag(split_run& run, const tag_header& tag, const tag_class& c, std::uint64_t tag_offset,
                      split_result& result)
{
    if (c.on_metadata)
        return take_recording_meta(run, tag, tag_offset);
    if (!run.separate_audio || tag.type == TAG_VIDEO)
        return route_flv(run, tag, c, tag_offset, result);
    if (tag.type == TAG_AUDIO)
        return route_audio(run, tag, c, tag_offset, result);
    // Script data and other tags reach no file in separate mode.
    return result_of(run.reader.in, nullptr, skip_bytes(run.reader.in, tag.data_size), tag.data_size);
}

// Whether the tag the file header points to lies whole in the file.
bool first_tag_reads_whole(split_run& run, const std::uint8_t* head, std::size_t size)
{
    if (size < FLV_HEADER_SIZE)
        return false;
    const std::uint64_t tag = std::uint64_t{data_offset_of(head)} + PREV_TAG_SIZE_LEN;
    std::uint8_t header[TAG_HEADER_SIZE];
    if (tag + TAG_HEADER_SIZE > run.file_size || read_at(run.look, tag, header, TAG_HEADER_SIZE) < TAG_HEADER_SIZE)
        return false;
    return tag + TAG_HEADER_SIZE + decode_tag_header(header).data_size + PREV_TAG_SIZE_LEN <= run.file_size;
}

// The recording's path with another extension, for a command that makes it.
std::string with_extension(const std::string& path, const char* ext)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (has_ext ? path.substr(0, dot) : path) + ext;
}

// A file without the FLV signature whose header points at no whole tag is
// no recording at all: the run stops before anything is written, and says
// what the file looks like and how to make an FLV of it.
bool refuse_foreign_file(split_run& run, split_result& result)
{
    std::uint8_t head[512];
    const std::size_t got = read_at(run.look, 0, head, sizeof head);
    if (run.look.error != 0 || (got >= 3 && std::memcmp(head, "FLV", 3) == 0) || first_tag_reads_whole(run, head, got))
        return false;
    const std::string& path = run.reader.in.path;
    // (One already named .flv gets another name, not its own.)
    std::string flv = with_extension(path, ".flv");
    if (flv == path)
        flv = with_extension(path, "-converted.flv");
    const std::string convert = "; ffmpeg makes an FLV of it: ffmpeg -i " + path + " -c copy " + flv +
                                " (with -c:v libx264 -c:a aac for other codecs)";
    std::string detail = "is no FLV recording";
    switch (foreign_kind_of(head, got)) {
    case foreign_kind::mp4: detail += ": it looks like an MP4 or QuickTime file" + convert; break;
    case foreign_kind::matroska: detail += ": it looks like a Matroska or WebM file" + convert; break;
    case foreign_kind::mpeg_ts: detail += ": it looks like an MPEG transport stream" + convert; break;
    case foreign_kind::text:
        detail += read_cue_file(path.c_str()).cues.size() > 1
                      ? ": it looks like a cue file, a text of cut times; the recording comes first: slidecut "
                        "RECORDING.flv CUEFILE [-s]"
                      : ": it is a text file";
        break;
    case foreign_kind::unknown:
        detail += got < FLV_HEADER_SIZE ? " (" + std::to_string(got) + " bytes, shorter than an FLV header)"
                                        : ": it has no FLV signature, and no tag where its header points";
        break;
    }
    result = failed(split_failure::not_flv, path, 0);
    result.detail = detail;
    return true;
}

// Reads the file header and moves to the tag stream; false when there is none.
bool start_walk(split_run& run)
{
    const std::size_t got = enter_tag_stream(run.reader);
    const char* path = run.reader.in.path.c_str();
    if (got < FLV_HEADER_SIZE) {
        if (run.reader.in.error == 0)
            warn(run, "%s: the recording ends inside the FLV header (%zu of 9 bytes)", path, got);
        return false;
    }
    if (!has_flv_signature(run.reader))
        warn(run, "%s: no FLV signature; reading it as FLV all the same", path);
    return run.reader.in.error == 0 && fill_window(run.reader.in, in_offset(run.reader.in));
}

// A plain frame for the .flv file: header, data and PreviousTagSize in one
// copy, the timestamp re-based in place. False where it must go the general
// way: no file, the new start's range, no room left in the block.
bool copy_plain_flv(split_run& run, const tag_header& tag, const std::uint8_t* header, std::size_t whole)
{
    out_stream& out = run.flv.out;
    if (!is_open(out) || in_offset(run.reader.in) + PREV_TAG_SIZE_LEN <= run.starts_end)
        return false;
    std::uint8_t* room = out_room(out, whole);
    if (room == nullptr)
        return false;
    std::memcpy(room, header, whole);
    put_tag_timestamp(room, tag.timestamp - run.flv.base_ts);
    out.len += whole;
    return true;
}

// Plain frames (by far the most tags) go to their files in a tight loop
// while they lie whole in the buffer; it stops before any other tag and
// before one that begins the next slide, which go the general way.
void copy_plain_frames(split_run& run)
{
    in_stream& in = run.reader.in;
    std::uint32_t latest = run.last_ts;
    while (split_stop_signal == 0) {
        const std::size_t left = in.len - in.pos;
        if (left < PREV_TAG_SIZE_LEN + TAG_HEADER_SIZE + 2)
            break;
        // The next tag's header behind the PreviousTagSize of the one before.
        const std::uint8_t* header = in.buf.data() + in.pos + PREV_TAG_SIZE_LEN;
        const tag_header tag = decode_tag_header(header);
        const std::uint8_t* data = header + TAG_HEADER_SIZE;
        const std::size_t whole = TAG_HEADER_SIZE + tag.data_size + PREV_TAG_SIZE_LEN;
        if (tag.data_size < 2 || left - PREV_TAG_SIZE_LEN < whole || !is_plain_frame(tag.type, data) ||
            slide_of(run.cues, run.cur_slide, tag.timestamp) != run.cur_slide)
            break;
        const bool copied = run.separate_audio && tag.type == TAG_AUDIO ? copy_plain_audio(run.audio, run.recording_audio, tag, data)
                                                                       : copy_plain_flv(run, tag, header, whole);
        if (!copied)
            break;
        in.pos += PREV_TAG_SIZE_LEN + TAG_HEADER_SIZE + tag.data_size;
        latest = std::max(latest, tag.timestamp);
    }
    run.last_ts = latest;
}

// The slides up to `slide` begin; those the tag passes into the one after
// at once (and the current one, where it holds no tag) hold nothing and get
// no file, but their numbers are used.
void pass_empty_slides(split_run& run, std::int32_t slide, bool slide_empty, std::uint64_t tag_offset,
                       std::uint32_t timestamp)
{
    const std::int32_t first_empty = slide_empty ? run.cur_slide : run.cur_slide + 1;
    while (run.cur_slide + 1 < slide) {
        ++run.cur_slide;
        tell(run, split_event_kind::slide_begun, "");
    }
    const char* path = run.reader.in.path.c_str();
    const auto offset = static_cast<unsigned long long>(tag_offset);
    if (slide == first_empty + 1)
        warn(run, "%s: slide %d holds no tag: the tag at byte offset %llu (%u ms) passes its cue time and the next at "
                  "once; no file is written for it",
             path, first_empty, offset, timestamp);
    else if (slide > first_empty + 1)
        warn(run, "%s: slides %d to %d hold no tag: the tag at byte offset %llu (%u ms) passes their cue times and "
                  "the next at once; no files are written for them",
             path, first_empty, slide - 1, offset, timestamp);
    ++run.cur_slide;
    tell(run, split_event_kind::slide_begun, "");
}

// The current slide's files close and `slide` begins with the tag at
// tag_offset; the walk's buffer is filled from there.
bool begin_slide(split_run& run, std::int32_t slide, const tag_header& tag, std::uint64_t tag_offset,
                 split_result& result)
{
    const bool slide_empty = !run.slide_has_tag; // slide 0, where cues come before the first tag
    check_empty_slide(run);
    if (!close_slide_files(run, result))
        return false;
    run.starts.clear();
    run.starts_end = 0;
    run.flv_skipped = false;
    run.said_empty = false;
    run.slide_has_tag = false;
    pass_empty_slides(run, slide, slide_empty, tag_offset, tag.timestamp);
    if (!fill_window(run.reader.in, tag_offset)) {
        result = failed(split_failure::read_recording, run.reader.in.path, run.reader.in.error);
        return false;
    }
    return true;
}

// How far the run has come, told every PROGRESS_STEP bytes of the recording.
constexpr std::uint64_t PROGRESS_STEP = 4 << 20;

void tell_progress(split_run& run, std::uint64_t offset)
{
    run.next_progress = offset + PROGRESS_STEP;
    if (run.listener == nullptr)
        return;
    split_progress progress;
    progress.bytes_read = offset;
    progress.file_size = run.file_size;
    progress.cue_points = run.cues.size() - 1;
    progress.starts_in_flight = starts_in_flight(run.ahead);
    run.listener(split_event{split_event_kind::progress, run.cur_slide, "", &progress, nullptr}, run.context);
}

// Walks every tag: the cut rule first, then the tag's route. False when the
// run failed, with the reason in result.
bool walk_tags(split_run& run, split_result& result)
{
    const char* path = run.reader.in.path.c_str();
    tag_header tag;
    std::uint64_t tag_offset = 0;
    for (;;) {
        if (split_stop_signal != 0)
            return interrupted(run, in_offset(run.reader.in) + PREV_TAG_SIZE_LEN, result);
        if (in_offset(run.reader.in) >= run.next_progress)
            tell_progress(run, in_offset(run.reader.in));
        const walk_step step = next_tag(run.reader, tag, tag_offset);
        if (step == walk_step::cut_off_header)
            warn(run, "%s: the recording ends inside the tag header at byte offset %llu; the partial header is ignored",
                 path, static_cast<unsigned long long>(tag_offset));
        if (step != walk_step::tag)
            return step != walk_step::read_error;

        const std::int32_t slide = slide_of(run.cues, run.cur_slide, tag.timestamp);
        if (slide != run.cur_slide && !begin_slide(run, slide, tag, tag_offset, result))
            return false;
        // Told once, here, where the buffer holds the tag for what follows.
        const tag_class c = peek_tag_class(run.reader.in, tag, run.separate_audio ? 2 + ASC_READ_MAX : 0);
        if (!run.slide_has_tag)
            run.slide_first_ts = run.last_ts = tag.timestamp;
        run.slide_has_tag = true;
        run.has_tag = true;
        run.last_ts = std::max(run.last_ts, tag.timestamp);
        const move_result moved = route_tag(run, tag, c, tag_offset, result);
        if (moved == move_result::failed)
            return false;
        if (moved == move_result::done)
            copy_plain_frames(run);
        if (moved == move_result::cut_off) {
            warn(run, "%s: the recording ends inside the tag at byte offset %llu; the bytes that are there are copied",
                 path, static_cast<unsigned long long>(tag_offset));
            return true;
        }
    }
}

// Cut times the recording never passed, at its end: no slide begins there.
void warn_cues_past_end(const split_run& run)
{
    if (!run.has_tag)
        return;
    std::string past;
    std::size_t count = 0;
    for (auto n = static_cast<std::size_t>(run.cur_slide); n < run.cue_sources.size(); ++n) {
        if (run.cues[n] <= run.last_ts)
            continue;
        if (++count <= 3) {
            char one[64];
            std::snprintf(one, sizeof one, "%s%.3f s (line %u)", count > 1 ? ", " : "", run.cues[n] / 1000.0,
                          run.cue_sources[n].line);
            past += one;
        }
    }
    if (count > 3)
        past += " and " + std::to_string(count - 3) + " more";
    if (count > 0)
        warn(run, "%s: cut times past the recording's end, its latest tag at %.3f s: %s; no slide begins there", run.cue_path.c_str(),
             run.last_ts / 1000.0, past.c_str());
}

// Files under the names of slides after the last one this run made are an
// earlier run's: they stay, but the folder must not look like one run.
void warn_earlier_slides(const split_run& run)
{
    // Within this run's numbers, files of the kinds it did not make (an
    // earlier -s run's audio files beside this run's .flv ones, say); past
    // them, every slide file up to the first number with none.
    std::vector<std::string> earlier;
    bool beyond_only = true;
    for (std::int32_t n = 0; n < INT32_MAX; ++n) {
        bool found = false;
        for (const char* ext : SLIDE_FILE_EXTS) {
            const std::string path = slide_file_name(run.base_name, n, ext);
            if (run.made_files.count(path) > 0 || kind_of_file(path) == file_kind::none)
                continue;
            found = true;
            earlier.push_back(path);
            beyond_only = beyond_only && n > run.cur_slide;
        }
        if (!found && n > run.cur_slide)
            break;
    }
    if (earlier.size() == 1)
        warn(run, "%s is from an earlier run; it is left as it was", earlier[0].c_str());
    else if (earlier.size() > 1 && beyond_only)
        warn(run, "%s to %s are from an earlier run; they are left as they were", earlier.front().c_str(),
             earlier.back().c_str());
    else if (earlier.size() > 1)
        warn(run, "%s, %s%s are from an earlier run; they are left as they were", earlier[0].c_str(),
             earlier[1].c_str(), earlier.size() > 2 ? (" and " + std::to_string(earlier.size() - 2) + " more").c_str() : "");
}

}  // namespace

split_result split_flv(const char* flv_path, const char* cue_path, bool separate_audio, split_listener listener,
                       void* context)
{
    split_run run;
    run.separate_audio = separate_audio;
    run.listener = listener;
    run.context = context;
    if (!open_recording(run.reader, flv_path))
        return failed(split_failure::open_recording, flv_path, run.reader.in.error);
    if (!open_in(run.look, flv_path, LOOK_AHEAD_BUFFER_SIZE) || !in_file_size(run.reader.in, run.file_size)) {
        const int error = run.look.error != 0 ? run.look.error : run.reader.in.error;
        close_recording(run.reader);
        close_in(run.look);
        return failed(split_failure::open_recording, flv_path, error);
    }
    // The walk's buffer is the window the look-ahead shares.
    run.reader.in.buf.resize(static_cast<std::size_t>(
        std::clamp<std::uint64_t>(run.file_size, IN_BUFFER_SIZE, SHARED_WINDOW_SIZE)));
    run.look.shared = &run.reader.in;
    run.base_name = slide_base_name(run.reader.in.path);
    run.recording_audio.recording = run.reader.in.path;
    run.recording_id = id_of_file(run.reader.in.file);
    run.cue_path = cue_path;
    run.cue_id = id_of_path(cue_path);
    split_result refused;
    if (refuse_foreign_file(run, refused)) {
        close_recording(run.reader);
        close_in(run.look);
        return refused;
    }
    cue_reading cue_file = read_cue_file(cue_path);
    for (const std::string& warning : cue_file.warnings)
        tell(run, split_event_kind::warning, warning);
    run.cues = std::move(cue_file.cues);
    run.cue_sources = std::move(cue_file.sources);

    split_result result;
    if (start_walk(run) && !walk_tags(run, result))
        return fail_run(run, result);
    if (run.reader.in.error != 0)
        return fail_run(run, result);
    check_empty_slide(run);
    stop_ahead(run.ahead);
    if (close_slide_files(run, result)) {
        warn_cues_past_end(run);
        warn_earlier_slides(run);
    }
    close_recording(run.reader);
    close_in(run.look);
    return result;
}
