#include "cue/cue_list.h"
#include "cue/cue_notes.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t CUE_BLOCK = 32;
constexpr std::size_t TOKEN_MAX = 12;

bool is_colon_form(const char* s)
{
    return std::strlen(s) >= 9 && s[2] == ':' && s[5] == ':' && s[8] == ':';
}

// HH:MM:SS:mmm; each field taken as its low 16 bits. Hours, minutes and
// seconds must scan as integers; a missing millisecond field counts as 0.
bool colon_form_value(const char* s, std::uint32_t* value)
{
    char fields[TOKEN_MAX + 1];
    std::strncpy(fields, s, TOKEN_MAX);
    fields[TOKEN_MAX] = '\0';
    fields[2] = fields[5] = fields[8] = '\t';

    // A token has at most 12 characters, so no field can overflow a long long.
    long long f[4] = {0, 0, 0, 0};
    const char* p = fields;
    int scanned = 0;
    for (; scanned < 4; ++scanned) {
        char* end = nullptr;
        f[scanned] = std::strtoll(p, &end, 10);
        if (end == p)
            break;
        p = end;
    }
    if (scanned < 3)
        return false;

    const std::uint32_t h = static_cast<std::uint16_t>(f[0]);
    const std::uint32_t m = static_cast<std::uint16_t>(f[1]);
    const std::uint32_t sec = static_cast<std::uint16_t>(f[2]);
    const std::uint32_t ms = static_cast<std::uint16_t>(f[3]);
    *value = (h * 3600u + m * 60u + sec) * 1000u + ms;
    return true;
}

// Decimal seconds; the fraction is dropped before scaling.
bool decimal_form_value(const char* s, std::uint32_t* value)
{
    char* end = nullptr;
    const float ts_f = std::strtof(s, &end);
    if (end == s || !std::isfinite(ts_f))
        return false;
    const double whole = std::trunc(static_cast<double>(ts_f));
    if (whole < -2147483648.0 || whole > 2147483647.0)
        return false;
    // A negative number keeps its unsigned 32-bit pattern; the product wraps.
    const auto seconds = static_cast<std::uint32_t>(static_cast<std::int32_t>(whole));
    *value = seconds * 1000u;
    return true;
}

}  // namespace

bool cue_token_value(const char* sLine, std::uint32_t* value)
{
    std::uint32_t v = 0;
    const bool scanned = is_colon_form(sLine) ? colon_form_value(sLine, &v)
                                              : decimal_form_value(sLine, &v);
    if (!scanned || v == 0)
        return false;
    *value = v;
    return true;
}

namespace {

// Tokens as "%12s" reads them (white space skipped, then up to 12
// characters that are not), with the line each begins on; a UTF-8 byte
// order mark, which Windows editors write, is skipped before the first.
struct token_reader {
    std::FILE* in;
    unsigned line = 1;
    bool started = false;
    int pending[3] = {};
    int held = 0; // of pending, last first
};

int next_char(token_reader& r)
{
    return r.held > 0 ? r.pending[--r.held] : std::fgetc(r.in);
}

void skip_byte_order_mark(token_reader& r)
{
    r.started = true;
    const int bytes[3] = {std::fgetc(r.in), std::fgetc(r.in), std::fgetc(r.in)};
    if (bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return;
    for (int i = 2; i >= 0; --i)
        if (bytes[i] != EOF)
            r.pending[r.held++] = bytes[i];
}

bool is_white(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool next_token(token_reader& r, char (&sLine)[TOKEN_MAX + 1], unsigned& line)
{
    if (!r.started)
        skip_byte_order_mark(r);
    int c = next_char(r);
    for (; is_white(c); c = next_char(r))
        r.line += c == '\n';
    if (c == EOF)
        return false;
    line = r.line;
    std::size_t length = 0;
    for (; c != EOF && !is_white(c); c = length < TOKEN_MAX ? next_char(r) : EOF)
        sLine[length++] = static_cast<char>(c);
    // A token ends at white space (taken, and counted) or after 12 characters.
    r.line += c == '\n';
    sLine[length] = '\0';
    return true;
}

}  // namespace

cue_reading read_cue_text(std::FILE* in, const std::string& name)
{
    cue_reading reading;
    cue_notes notes;
    notes.name = name;
    token_reader tokens{in};
    char sLine[TOKEN_MAX + 1];
    unsigned line = 0;
    while (next_token(tokens, sLine, line)) {
        std::uint32_t value = 0;
        const bool kept = cue_token_value(sLine, &value);
        note_cue_token(notes, line, sLine, kept, value);
        if (!kept)
            continue;
        // Grow in blocks of 32, always keeping room for CUE_END.
        if (reading.cues.size() % CUE_BLOCK == 0)
            reading.cues.reserve(reading.cues.size() + CUE_BLOCK + 1);
        reading.cues.push_back(value);
        reading.sources.push_back({line, sLine});
    }
    reading.cues.push_back(CUE_END);
    reading.warnings = cue_warnings(notes);
    return reading;
}

std::vector<std::uint32_t> read_cue_stream(std::FILE* in)
{
    return read_cue_text(in, "").cues;
}

cue_reading read_cue_file(const char* cue_path)
{
    std::FILE* in = std::fopen(cue_path, "r");
    if (in == nullptr) {
        cue_reading reading;
        reading.cues = {CUE_END};
        reading.fault = std::string("warning: cannot open cue file ") + cue_path + ": " + std::strerror(errno) +
                        "; the whole recording becomes slide 0";
        reading.warnings = {reading.fault};
        return reading;
    }
    cue_reading reading = read_cue_text(in, cue_path);
    if (std::ferror(in)) {
        const char* reason = std::strerror(errno);
        reading.fault = std::string("warning: cannot read cue file ") + cue_path + ": " + reason + "; using the " +
                        std::to_string(reading.cues.size() - 1) + " cue points read before";
        reading.warnings.insert(reading.warnings.begin(), reading.fault);
    }
    std::fclose(in);
    return reading;
}

std::vector<std::uint32_t> read_cues(const char* cue_path, std::string& warning)
{
    cue_reading reading = read_cue_file(cue_path);
    warning = reading.fault;
    return std::move(reading.cues);
}
