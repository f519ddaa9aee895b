#include "cue/cue_list.h"

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

std::vector<std::uint32_t> read_cue_stream(std::FILE* in)
{
    std::vector<std::uint32_t> cues;
    char sLine[TOKEN_MAX + 1];
    while (std::fscanf(in, "%12s", sLine) == 1) {
        std::uint32_t value = 0;
        if (!cue_token_value(sLine, &value))
            continue;
        // Grow in blocks of 32, always keeping room for CUE_END.
        if (cues.size() % CUE_BLOCK == 0)
            cues.reserve(cues.size() + CUE_BLOCK + 1);
        cues.push_back(value);
    }
    cues.push_back(CUE_END);
    return cues;
}

std::vector<std::uint32_t> read_cues(const char* cue_path, std::string& warning)
{
    std::FILE* in = std::fopen(cue_path, "r");
    if (in == nullptr) {
        const char* reason = std::strerror(errno);
        warning = std::string("warning: cannot open cue file ") + cue_path + ": " + reason +
                  "; the whole recording becomes slide 0";
        return {CUE_END};
    }
    std::vector<std::uint32_t> cues = read_cue_stream(in);
    if (std::ferror(in)) {
        const char* reason = std::strerror(errno);
        warning = std::string("warning: cannot read cue file ") + cue_path + ": " + reason + "; using the " +
                  std::to_string(cues.size() - 1) + " cue points read before";
    }
    std::fclose(in);
    return cues;
}
