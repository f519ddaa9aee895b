// What a cue file's tokens may not have meant, told token by token and
// gathered into warnings: the cut times themselves come from the reader's
// rules alone.
#pragma once

#include "cue/cue_list.h"

#include <cstdint>
#include <string>
#include <vector>

struct cue_notes {
    std::string name;  // the cue file, as the command line gave it
    bool in_note = false; // the line so far holds a word: the rest of it is a note
    unsigned line = 0;
    std::vector<std::vector<std::string>> by_kind; // the notes of each kind, in file order
    std::vector<std::string> out_of_order;
    std::uint32_t latest = 0; // the latest cut time so far
};

// One token, with the value the reader gave it (kept: a cue point).
void note_cue_token(cue_notes& notes, unsigned line, const char* token, bool kept, std::uint32_t value);
// The warnings, one line a kind where there are many.
std::vector<std::string> cue_warnings(const cue_notes& notes);
