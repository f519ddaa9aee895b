#include "flv/foreign_file.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr std::size_t TS_PACKET = 188;

// An ISO base media file (MP4, QuickTime, 3GP) begins with a box: a 32-bit
// size, then its type; files begin with ftyp, older QuickTime ones with
// moov, mdat, free, skip or wide.
bool is_iso_media(const std::uint8_t* head, std::size_t size)
{
    if (size < 8)
        return false;
    for (const char* type : {"ftyp", "moov", "mdat", "free", "skip", "wide"})
        if (std::memcmp(head + 4, type, 4) == 0)
            return true;
    return false;
}

// Text: printable bytes, white space and UTF-8 (a byte order mark too).
bool is_text(const std::uint8_t* head, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = head[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v')
            return false;
        if (c == 0x7F)
            return false;
    }
    return size > 0;
}

}  // namespace

foreign_kind foreign_kind_of(const std::uint8_t* head, std::size_t size)
{
    if (is_iso_media(head, size))
        return foreign_kind::mp4;
    if (size >= 4 && head[0] == 0x1A && head[1] == 0x45 && head[2] == 0xDF && head[3] == 0xA3)
        return foreign_kind::matroska;
    // Sync bytes at the start of three packets in a row.
    if (size > 2 * TS_PACKET && head[0] == 0x47 && head[TS_PACKET] == 0x47 && head[2 * TS_PACKET] == 0x47)
        return foreign_kind::mpeg_ts;
    return is_text(head, size) ? foreign_kind::text : foreign_kind::unknown;
}
