#include "slides/notes.h"

#include <cstdio>

std::string format_note(const char* format, va_list args)
{
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    return text;
}

void add_note(notes& to, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    to.push_back(format_note(format, args));
    va_end(args);
}
