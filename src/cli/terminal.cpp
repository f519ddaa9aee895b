#include "cli/terminal.h"

#include <algorithm>

namespace {

// The progress line is drawn again at most this often.
constexpr auto REDRAW = std::chrono::milliseconds(200);

std::string size_text(std::uint64_t bytes)
{
    char text[32];
    if (bytes >= (std::uint64_t{1} << 30))
        std::snprintf(text, sizeof text, "%.1f GiB", bytes / double(std::uint64_t{1} << 30));
    else
        std::snprintf(text, sizeof text, "%llu MiB", static_cast<unsigned long long>(bytes >> 20));
    return text;
}

std::string duration_text(double seconds)
{
    char text[32];
    const auto whole = static_cast<long long>(seconds + 0.5);
    if (whole >= 60)
        std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld s", whole);
    return text;
}

// A time in the recording: h:mm:ss.mmm.
std::string time_text(std::uint32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u:%02u.%03u", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

std::string length_text(std::uint32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", ms / 1000.0);
    return text;
}

void draw(terminal_view& view)
{
    const split_progress& p = view.last;
    view.shown = std::chrono::steady_clock::now();
    const double elapsed = std::chrono::duration<double>(view.shown - view.started).count();
    const double rate = elapsed > 0 ? p.bytes_read / elapsed : 0;
    std::string line = "slide " + std::to_string(view.slide) + " of " + std::to_string(p.cue_points + 1) + ", " +
                       size_text(p.bytes_read) + " of " + size_text(p.file_size);
    if (p.file_size > 0)
        line += " (" + std::to_string(p.bytes_read * 100 / p.file_size) + " %)";
    if (rate > 0)
        line += ", " + size_text(static_cast<std::uint64_t>(rate)) + "/s, " +
                duration_text((p.file_size - std::min(p.bytes_read, p.file_size)) / rate) + " left";
    if (p.starts_in_flight > 0)
        line += ", " + std::to_string(p.starts_in_flight) + " new starts in flight";
    // Spaces over what a longer line before left on the screen.
    const std::size_t length = line.size();
    line.resize(std::max(length, view.line_length), ' ');
    std::fprintf(view.out, "\r%s", line.c_str());
    std::fflush(view.out);
    view.line_length = length;
}

}  // namespace

void start_view(terminal_view& view, std::FILE* out)
{
    view.out = out;
    view.started = std::chrono::steady_clock::now();
}

void view_event(terminal_view& view, const split_event& event)
{
    if (view.out == nullptr)
        return;
    view.slide = event.slide;
    if (event.kind == split_event_kind::slide_done)
        view.slides.emplace_back(event.slide, *event.done);
    if (event.kind == split_event_kind::progress)
        view.last = *event.progress;
    // Drawn again at once where a line of the run's own went over it.
    const bool over = event.kind == split_event_kind::slide_begun || event.kind == split_event_kind::warning;
    if (event.kind != split_event_kind::slide_done && view.last.file_size > 0 &&
        (over || std::chrono::steady_clock::now() - view.shown >= REDRAW))
        draw(view);
}

void clear_progress(terminal_view& view)
{
    if (view.out == nullptr || view.line_length == 0)
        return;
    std::fprintf(view.out, "\r%*s\r", static_cast<int>(view.line_length), "");
    std::fflush(view.out);
    view.line_length = 0;
}

void print_summary(terminal_view& view)
{
    clear_progress(view);
    if (view.out == nullptr || view.slides.empty())
        return;
    std::fprintf(view.out, "%5s  %-24s %-13s %-12s %-12s %-10s %s\n", "slide", "cut time (line)", "read as", "start",
                 "end", "length", "files");
    for (const auto& [number, slide] : view.slides) {
        const std::string given = slide.has_cue ? slide.cue_token + " (" + std::to_string(slide.cue_line) + ")" : "-";
        const std::string read = slide.has_cue ? time_text(slide.cue_ms) : "-";
        std::string files;
        for (const std::string& path : slide.files) {
            const std::size_t slash = path.find_last_of("/\\");
            files += (files.empty() ? "" : ", ") + (slash == std::string::npos ? path : path.substr(slash + 1));
        }
        std::fprintf(view.out, "%5d  %-24s %-13s %-12s %-12s %-10s %s\n", number, given.c_str(), read.c_str(),
                     time_text(slide.first_ts).c_str(), time_text(slide.last_ts).c_str(),
                     length_text(slide.last_ts - slide.first_ts).c_str(), files.c_str());
    }
    std::fflush(view.out);
}
