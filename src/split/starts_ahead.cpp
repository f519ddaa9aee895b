#include "split/starts_ahead.h"

#include "flv/tag_reader.h"
#include "slides/cut_rule.h"
#include "split/splitter.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

bool operator==(const track_keyframe& a, const track_keyframe& b)
{
    return a.track == b.track && a.offset == b.offset && a.config == b.config && a.has_earlier == b.has_earlier &&
           a.earlier_offset == b.earlier_offset && a.earlier_config == b.earlier_config;
}

void note_keyframe(std::vector<track_keyframe>& keyframes, carried_configs& carried, std::uint64_t offset, int track)
{
    auto entry = std::find_if(keyframes.begin(), keyframes.end(), [track](const track_keyframe& k) { return k.track == track; });
    if (entry == keyframes.end()) {
        entry = keyframes.insert(keyframes.end(), track_keyframe{track, 0, {}, false, 0, {}});
    } else {
        entry->has_earlier = true;
        entry->earlier_offset = entry->offset;
        entry->earlier_config.swap(entry->config);
    }
    track_keyframe& keyframe = *entry;
    keyframe.offset = offset;
    const carried_tag& video = carried_of(carried, config_id{config_kind::video, track});
    if (video.held)
        keyframe.config = video.data;
    else
        keyframe.config.clear();
}

void find_wanted_starts(in_stream& look, const slide_range& range, slide_starts& made)
{
    for (const track_keyframe& keyframe : made.keyframes) {
        track_start track;
        track.track = keyframe.track;
        track.frames = find_slide_frames(look, range, keyframe.track, keyframe.config);
        track.wanted = track.frames.has_frame && !track.frames.starts_on_keyframe;
        made.tracks.push_back(std::move(track));
    }
    made.read_failed = look.error != 0;
}

void encode_wanted_starts(in_stream& look, const slide_range& range, slide_starts& made, const std::atomic<int>& stop,
                          start_budget* budget)
{
    for (std::size_t n = 0; n < made.tracks.size(); ++n) {
        track_start& track = made.tracks[n];
        if (!track.wanted)
            continue;
        const track_keyframe& keyframe = made.keyframes[n];
        slide_start& start = track.start;
        start.track = keyframe.track;
        start.first_tag = range.first_tag;
        const slide_frames& frames = track.frames;
        start.resumes_in_slide = frames.has_keyframe;
        start.range_end = frames.has_keyframe ? frames.resume_offset : frames.end;
        start.bla_tag = frames.resume_as_bla ? frames.keyframe_offset : 0;
        const start_source source{keyframe.offset, &keyframe.config, keyframe.earlier_offset,
                                  keyframe.has_earlier ? &keyframe.earlier_config : nullptr, &stop, budget};
        track.made = encode_slide_start(look, source, start, track.why);
    }
    made.read_failed = look.error != 0;
}

void make_slide_starts(in_stream& look, const slide_range& range, slide_starts& made, const std::atomic<int>& stop,
                       start_budget* budget)
{
    find_wanted_starts(look, range, made);
    encode_wanted_starts(look, range, made, stop, budget);
}

namespace {

enum class job_state { queued, working, done };

struct ahead_job {
    std::int32_t slide = 0;
    slide_range range{};
    slide_starts starts;
    job_state state = job_state::queued;
};

}  // namespace

struct starts_ahead {
    std::string path;
    std::uint64_t file_size = 0;
    const std::vector<std::uint32_t>* cues = nullptr;
    bool video_only = false;
    std::size_t most_jobs = 0; // queued, worked on or done, not yet taken

    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::unique_ptr<ahead_job>> jobs; // in slide order
    std::int32_t walk_slide = -1; // the walk has opened this slide
    bool scout_done = false;
    std::atomic<int> quit{0};
    start_budget budget;

    std::thread scout;
    std::vector<std::thread> workers;
};

namespace {

// Waits for room, then queues the slide's job; false when the work stops.
bool queue_job(starts_ahead& ahead, std::int32_t slide, std::uint64_t first_tag, std::uint32_t timestamp,
               const std::vector<track_keyframe>& keyframes)
{
    std::unique_lock<std::mutex> hold(ahead.lock);
    ahead.changed.wait(hold, [&] { return ahead.quit != 0 || ahead.jobs.size() < ahead.most_jobs; });
    if (ahead.quit != 0)
        return false;
    if (slide <= ahead.walk_slide)
        return true; // the walk is there already, and makes its own
    auto job = std::make_unique<ahead_job>();
    job->slide = slide;
    job->range = slide_range{first_tag, ahead.file_size, ahead.cues, slide, timestamp, ahead.video_only};
    job->starts.first_tag = first_tag;
    job->starts.keyframes = keyframes;
    ahead.jobs.push_back(std::move(job));
    ahead.changed.notify_all();
    return true;
}

// What the walk will know of the tracks' keyframes and video sequence
// headers, noted and kept as the walk notes and keeps them.
struct scout_state {
    std::int32_t slide = 0;
    bool opened = false; // the slide's first .flv tag has come
    std::vector<track_keyframe> keyframes;
    carried_configs carried;
};

// One tag, as the walk will route it: false when the work stops.
bool scout_tag(starts_ahead& ahead, tag_reader& reader, const tag_header& tag, std::uint64_t offset,
               scout_state& state)
{
    const std::int32_t slide = slide_of(*ahead.cues, state.slide, tag.timestamp);
    if (slide != state.slide) {
        state.slide = slide;
        state.opened = false;
    }
    const tag_class c = peek_tag_class(reader.in, tag, 0);
    if (!state.opened && !c.on_metadata && (!ahead.video_only || tag.type == TAG_VIDEO)) {
        state.opened = true;
        if (!state.keyframes.empty() && !queue_job(ahead, slide, offset, tag.timestamp, state.keyframes))
            return false;
    }
    if (tag.type == TAG_VIDEO && c.keyframe)
        note_keyframe(state.keyframes, state.carried, offset, c.track);
    if (tag.type == TAG_VIDEO && c.config.kind == config_kind::video)
        hold_config(tag, c.config, reader.in, state.carried);
    else
        skip_bytes(reader.in, tag.data_size);
    return reader.in.error == 0;
}

void scout(starts_ahead& ahead)
{
    tag_reader reader;
    if (open_recording(reader, ahead.path) && enter_tag_stream(reader) == FLV_HEADER_SIZE) {
        scout_state state;
        tag_header tag;
        std::uint64_t offset = 0;
        while (ahead.quit == 0 && next_tag(reader, tag, offset) == walk_step::tag &&
               scout_tag(ahead, reader, tag, offset, state)) {
        }
    }
    close_recording(reader);
    const std::lock_guard<std::mutex> hold(ahead.lock);
    ahead.scout_done = true;
    ahead.changed.notify_all();
}

ahead_job* first_queued(starts_ahead& ahead)
{
    for (const std::unique_ptr<ahead_job>& job : ahead.jobs)
        if (job->state == job_state::queued)
            return job.get();
    return nullptr;
}

void work(starts_ahead& ahead)
{
    in_stream look;
    if (!open_in(look, ahead.path, LOOK_AHEAD_BUFFER_SIZE))
        return; // the walk makes the starts itself
    for (;;) {
        ahead_job* job = nullptr;
        {
            std::unique_lock<std::mutex> hold(ahead.lock);
            ahead.changed.wait(hold, [&] {
                job = first_queued(ahead);
                return ahead.quit != 0 || job != nullptr || ahead.scout_done;
            });
            if (ahead.quit != 0 || job == nullptr)
                break;
            job->state = job_state::working;
        }
        make_slide_starts(look, job->range, job->starts, ahead.quit, &ahead.budget);
        const std::lock_guard<std::mutex> hold(ahead.lock);
        job->state = job_state::done;
        ahead.changed.notify_all();
    }
    close_in(look);
}

}  // namespace

starts_ahead* start_ahead(const std::string& path, std::uint64_t file_size, const std::vector<std::uint32_t>& cues,
                          bool video_only, unsigned workers, std::int32_t walk_slide)
{
    auto* ahead = new starts_ahead;
    ahead->path = path;
    ahead->file_size = file_size;
    ahead->cues = &cues;
    ahead->video_only = video_only;
    ahead->most_jobs = 2 * workers + 1;
    ahead->walk_slide = walk_slide;
    ahead->budget.left = STARTS_MEMORY_BUDGET;
    try {
        ahead->scout = std::thread(scout, std::ref(*ahead));
        for (unsigned n = 0; n < workers; ++n)
            ahead->workers.emplace_back(work, std::ref(*ahead));
    } catch (const std::system_error&) {
        // No threads to be had: what started stops, and the walk works alone.
        stop_ahead(ahead);
        return nullptr;
    }
    return ahead;
}

bool take_slide_starts(starts_ahead* ahead, std::int32_t slide, slide_starts& starts)
{
    std::unique_lock<std::mutex> hold(ahead->lock);
    ahead->walk_slide = slide;
    std::deque<std::unique_ptr<ahead_job>>& jobs = ahead->jobs;
    for (;;) {
        // Jobs of slides the walk has passed are of no use; one worked on is
        // left to its worker until it is done.
        jobs.erase(std::remove_if(jobs.begin(), jobs.end(),
                                  [slide](const std::unique_ptr<ahead_job>& job) {
                                      return job->slide < slide && job->state != job_state::working;
                                  }),
                   jobs.end());
        ahead->changed.notify_all();
        auto found = std::find_if(jobs.begin(), jobs.end(),
                                  [slide](const std::unique_ptr<ahead_job>& job) { return job->slide == slide; });
        if (found == jobs.end())
            return false;
        ahead_job& job = **found;
        if (job.state == job_state::working) {
            if (split_stop_signal != 0)
                return false;
            ahead->changed.wait_for(hold, std::chrono::milliseconds(20));
            continue;
        }
        // One not begun yet is the walk's to make, at once.
        const bool same = job.state == job_state::done && !job.starts.read_failed &&
                          job.starts.first_tag == starts.first_tag && job.starts.keyframes == starts.keyframes;
        if (same)
            starts = std::move(job.starts);
        jobs.erase(found);
        ahead->changed.notify_all();
        return same;
    }
}

unsigned starts_in_flight(starts_ahead* ahead)
{
    if (ahead == nullptr)
        return 0;
    const std::lock_guard<std::mutex> hold(ahead->lock);
    return static_cast<unsigned>(std::count_if(ahead->jobs.begin(), ahead->jobs.end(),
                                               [](const auto& job) { return job->state == job_state::working; }));
}

start_budget* budget_of(starts_ahead* ahead)
{
    return ahead != nullptr ? &ahead->budget : nullptr;
}

void stop_ahead(starts_ahead* ahead)
{
    if (ahead == nullptr)
        return;
    {
        const std::lock_guard<std::mutex> hold(ahead->lock);
        ahead->quit = 1;
    }
    ahead->changed.notify_all();
    ahead->budget.freed.notify_all();
    if (ahead->scout.joinable())
        ahead->scout.join();
    for (std::thread& worker : ahead->workers)
        worker.join();
    delete ahead;
}
