// Warnings the slide files find, as text: the walk passes each on with the
// slide it is about. The core never prints.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

using notes = std::vector<std::string>;

// printf-like, checked against the C library's printf where it is the GNU one.
#if defined(__GNUC__) && !defined(_WIN32)
#define SLIDECUT_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define SLIDECUT_PRINTF(f, a)
#endif

std::string format_note(const char* format, va_list args);
SLIDECUT_PRINTF(2, 3) void add_note(notes& to, const char* format, ...);
