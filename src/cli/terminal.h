// What a person at a terminal sees beside the run's own lines on standard
// error: one progress line rewritten in place while the run goes, cleared
// before each warning and at the end, and a table of the slides made.
#pragma once

#include "split/splitter.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

struct terminal_view {
    std::FILE* out = nullptr; // null: no terminal, nothing but warnings
    std::chrono::steady_clock::time_point started, shown;
    std::size_t line_length = 0; // of the progress line on screen, 0 where none
    split_progress last;
    std::int32_t slide = 0;
    std::vector<std::pair<std::int32_t, split_slide>> slides;
};

void start_view(terminal_view& view, std::FILE* out);
// Takes a progress or slide_done event; others need clear_progress first.
void view_event(terminal_view& view, const split_event& event);
void clear_progress(terminal_view& view);
void print_summary(terminal_view& view);
