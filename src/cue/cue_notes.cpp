#include "cue/cue_notes.h"

#include <cctype>
#include <cmath>
#include <cstring>

namespace {

// In the order their warnings come.
enum note_kind { NO_MILLIS, MIN_SEC, COLON_DIGITS, SHORT_MILLIS, FRACTION, NOTE_NUMBER, LEADING_NUMBER, WORD, KINDS };

const char* const why_of[KINDS] = {
    "a time in colons is read only with all four fields, HH:MM:SS:mmm",
    "minutes and seconds are no form the reader knows",
    "a time in colons needs two digits in each of its first three fields",
    "its last field counts milliseconds, not a fraction of a second",
    "the fraction of decimal seconds is dropped",
    "a number in a note became a cut time",
    "only the number it begins with is read",
    "it is no time",
};

// A token of digits and colons, a fraction allowed in its last field, read
// as the time it seems to say: seconds, minutes and seconds, hours to
// seconds, or hours to milliseconds.
struct seeming_time {
    bool time_like = false;
    unsigned colons = 0;
    std::size_t last_digits = 0; // of the last field, before any fraction
    bool fraction = false;       // a fraction other than zero
    std::uint64_t ms = 0;
};

seeming_time seeming_time_of(const char* token)
{
    seeming_time t;
    double fields[4] = {};
    unsigned count = 0;
    const char* p = token;
    while (count < 4) {
        const char* start = p;
        while (std::isdigit(static_cast<unsigned char>(*p)))
            ++p;
        t.last_digits = static_cast<std::size_t>(p - start);
        double value = std::strtod(std::string(start, p).c_str(), nullptr);
        if (*p == '.') {
            const char* fraction = ++p;
            while (std::isdigit(static_cast<unsigned char>(*p)))
                ++p;
            const std::string digits(fraction, p);
            t.fraction = digits.find_first_not_of('0') != std::string::npos;
            value += std::strtod(("0." + digits).c_str(), nullptr);
            if (*p != '\0')
                return t;
        }
        if (t.last_digits == 0 && p == start)
            return t;
        fields[count++] = value;
        if (*p == '\0')
            break;
        if (*p != ':' || t.fraction)
            return t;
        ++p;
    }
    if (*p != '\0')
        return t;
    t.colons = count - 1;
    t.time_like = true;
    double seconds = 0;
    const unsigned whole = count == 4 ? 3 : count;
    for (unsigned i = 0; i < whole; ++i)
        seconds = seconds * 60 + fields[i];
    // The last of four fields seems a fraction where it has fewer than three digits.
    if (count == 4)
        seconds += t.last_digits < 3 ? fields[3] / std::pow(10.0, static_cast<double>(t.last_digits)) : fields[3] / 1000;
    t.ms = static_cast<std::uint64_t>(std::llround(seconds * 1000));
    return t;
}

std::string seconds_text(std::uint64_t ms)
{
    char text[40];
    if (ms % 1000 == 0)
        std::snprintf(text, sizeof text, "%llu s", static_cast<unsigned long long>(ms / 1000));
    else
        std::snprintf(text, sizeof text, "%llu.%03llu s", static_cast<unsigned long long>(ms / 1000),
                      static_cast<unsigned long long>(ms % 1000));
    return text;
}

// Which misreading a token is, or KINDS for none.
note_kind kind_of(const seeming_time& t, const char* token, bool kept, bool in_note)
{
    if (in_note)
        return kept ? NOTE_NUMBER : t.time_like ? KINDS : WORD;
    if (!t.time_like)
        return kept ? LEADING_NUMBER : WORD;
    if (t.colons == 1)
        return MIN_SEC;
    if (t.colons == 2)
        return NO_MILLIS;
    if (t.colons == 3)
        return std::strlen(token) >= 9 && token[2] == ':' && token[5] == ':' && token[8] == ':'
                   ? (t.last_digits < 3 ? SHORT_MILLIS : KINDS)
                   : COLON_DIGITS;
    return t.fraction ? FRACTION : KINDS;
}

}  // namespace

std::string colon_form_of(std::uint64_t ms)
{
    char text[40];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu:%03llu", static_cast<unsigned long long>(ms / 3600000),
                  static_cast<unsigned long long>(ms / 60000 % 60), static_cast<unsigned long long>(ms / 1000 % 60),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

void note_cue_token(cue_notes& notes, unsigned line, const char* token, bool kept, std::uint32_t value)
{
    if (line != notes.line)
        notes.in_note = false;
    notes.line = line;
    const seeming_time t = seeming_time_of(token);
    const note_kind kind = kind_of(t, token, kept, notes.in_note);
    if (!t.time_like)
        notes.in_note = true;
    if (kept) {
        if (value < notes.latest)
            notes.out_of_order.push_back(seconds_text(value) + " on line " + std::to_string(line) + " after " +
                                         seconds_text(notes.latest));
        notes.latest = value > notes.latest ? value : notes.latest;
    }
    if (kind == KINDS)
        return;
    std::string text = notes.name + ":" + std::to_string(line) + ": '" + token + "' ";
    if (kind == WORD)
        text += "is skipped";
    else
        text += kept ? "is read as " + seconds_text(value) : std::string("gives no time and is dropped");
    text += std::string(": ") + why_of[kind];
    if (kind != WORD && kind != NOTE_NUMBER && kind != LEADING_NUMBER && t.ms != value)
        text += "; for " + seconds_text(t.ms) + " write " + colon_form_of(t.ms);
    if (notes.by_kind.empty())
        notes.by_kind.resize(KINDS);
    notes.by_kind[kind].push_back(text);
}

std::vector<std::string> cue_warnings(const cue_notes& notes)
{
    // Up to this many of a kind are told one by one.
    constexpr std::size_t TOLD_EACH = 3;
    std::vector<std::string> warnings;
    for (const std::vector<std::string>& kind : notes.by_kind) {
        if (kind.size() > TOLD_EACH)
            warnings.push_back("warning: " + kind[0] + " (and " + std::to_string(kind.size() - 1) + " more like it)");
        else
            for (const std::string& text : kind)
                warnings.push_back("warning: " + text);
    }
    if (!notes.out_of_order.empty()) {
        std::string text = "warning: " + notes.name + ": cut times out of order, taken in the file's order: ";
        for (std::size_t i = 0; i < notes.out_of_order.size() && i < TOLD_EACH; ++i)
            text += (i > 0 ? ", " : "") + notes.out_of_order[i];
        if (notes.out_of_order.size() > TOLD_EACH)
            text += " and " + std::to_string(notes.out_of_order.size() - TOLD_EACH) + " more";
        warnings.push_back(text + "; a slide whose time is followed by an earlier one holds nothing");
    }
    return warnings;
}
