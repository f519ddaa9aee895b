// Block-buffered byte streams for the recording and the slide files. Each
// stream owns one fixed buffer, so memory stays constant whatever the size of
// the recording or of its tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct in_stream {
    std::FILE* file = nullptr;
    std::string path;
    std::vector<std::uint8_t> buf;
    std::size_t pos = 0;          // next unread byte in buf
    std::size_t len = 0;          // bytes held in buf
    std::uint64_t buf_offset = 0; // file offset of buf[0]
    bool file_moved = false;      // the file's position is not buf_offset + len
    int error = 0;                // errno of a failed read, 0 if none
    // Another stream over the same file whose buffer this one reads from
    // where it holds the bytes asked for: the look-ahead reads what the
    // walk's buffer holds of a slide instead of reading it again.
    const in_stream* shared = nullptr;
};

// A slide file is written under a temporary name beside its own, part_path,
// and takes its own name only once it is whole.
struct out_stream {
    std::FILE* file = nullptr;
    std::string path;      // the name it gets when whole
    std::string part_path; // the name it is written under
    std::vector<std::uint8_t> buf;
    std::size_t len = 0;
    std::uint64_t flushed = 0; // bytes already handed to the file
    bool in_place = false;     // an existing file is being rewritten
    int error = 0;             // errno of a failed write or close, 0 if none
};

// Reads go in blocks of this size, which stay in the processor's cache
// between the read and the copy out.
constexpr std::size_t IN_BUFFER_SIZE = 256 * 1024;
constexpr std::size_t OUT_BUFFER_SIZE = 512 * 1024;

bool open_in(in_stream& in, const std::string& path, std::size_t buffer_size = IN_BUFFER_SIZE);
void close_in(in_stream& in);
std::uint64_t in_offset(const in_stream& in);
bool seek_in(in_stream& in, std::uint64_t offset);
// The file's size; the next read starts where it did before.
bool in_file_size(in_stream& in, std::uint64_t& size);
// Moves to offset, within the buffer where it holds it.
bool move_to(in_stream& in, std::uint64_t offset);
// Fills the buffer as far as it goes with what follows, keeping what it
// holds from keep_from on (an offset at or before the read position): the
// walk does so where each slide begins, and a slide that fits is then read
// once, for the look-ahead and the copy alike. Reads that refill the buffer
// later go in blocks again. Pointers into the buffer do not last past it.
bool fill_window(in_stream& in, std::uint64_t keep_from);
// read_at where the buffer does not hold the bytes: it reads on, or reads
// at the offset with one positioned read.
std::size_t read_at_slow(in_stream& in, std::uint64_t offset, std::uint8_t* dst, std::size_t count);
// The count bytes at offset, in place, when the buffer (or the shared
// stream's) holds them all; null otherwise. The pointer lasts until either
// stream next reads.
inline const std::uint8_t* view_buffered(in_stream& in, std::uint64_t offset, std::size_t count)
{
    if (const in_stream* other = in.shared;
        other != nullptr && offset >= other->buf_offset && offset + count <= other->buf_offset + other->len)
        return other->buf.data() + (offset - other->buf_offset);
    if (offset < in.buf_offset || offset + count > in.buf_offset + in.len)
        return nullptr;
    const auto at = static_cast<std::size_t>(offset - in.buf_offset);
    in.pos = at + count;
    return in.buf.data() + at;
}

// The bytes from offset on that the buffer (or the shared stream's) holds,
// in place, and how many: held is 0 where neither holds offset. The pointer
// lasts until either stream next reads.
inline const std::uint8_t* buffered_from(const in_stream& in, std::uint64_t offset, std::size_t& held)
{
    for (const in_stream* s : {in.shared, &in}) {
        if (s != nullptr && offset >= s->buf_offset && offset < s->buf_offset + s->len) {
            const auto at = static_cast<std::size_t>(offset - s->buf_offset);
            held = s->len - at;
            return s->buf.data() + at;
        }
    }
    held = 0;
    return nullptr;
}

// Reads count bytes at offset, from the buffer where it holds them; fewer at
// the end of the file or on an error.
inline std::size_t read_at(in_stream& in, std::uint64_t offset, std::uint8_t* dst, std::size_t count)
{
    // A look-ahead over small tags mostly finds them in the buffer.
    if (const std::uint8_t* bytes = view_buffered(in, offset, count)) {
        std::memcpy(dst, bytes, count);
        return count;
    }
    return read_at_slow(in, offset, dst, count);
}

// The count bytes at the read position, consumed, when the buffer holds them
// all; null otherwise, consuming nothing. Spares small reads a copy.
inline const std::uint8_t* take_buffered(in_stream& in, std::size_t count)
{
    if (in.len - in.pos < count)
        return nullptr;
    const std::uint8_t* bytes = in.buf.data() + in.pos;
    in.pos += count;
    return bytes;
}

// Each returns the number of bytes it moved: fewer than asked at the end of
// the recording, on a read error (in.error) or a write error (out.error).
std::size_t read_bytes(in_stream& in, std::uint8_t* dst, std::size_t count);
std::uint64_t skip_bytes(in_stream& in, std::uint64_t count);
std::uint64_t copy_bytes(in_stream& in, out_stream& out, std::uint64_t count);

// Copies count bytes and, when all of them came, writes the (up to) trailing
// bytes behind them too without consuming them; returns the count copied.
std::uint64_t copy_bytes_peeking(in_stream& in, out_stream& out, std::uint64_t count, std::size_t trailing);

bool is_open(const out_stream& out);

// How a move of wanted bytes ended once moved were read, and written to out
// unless out is null: failed on a read or write error, cut_off when the input
// ended first.
enum class move_result { done, cut_off, failed };
move_result result_of(const in_stream& in, const out_stream* out, std::uint64_t moved, std::uint64_t wanted);

// Makes up to count (at most a few bytes) readable without consuming them.
std::size_t peek_bytes(in_stream& in, const std::uint8_t** bytes, std::size_t count);

// The temporary name of a file being written.
constexpr const char* PART_SUFFIX = ".part";
bool open_out(out_stream& out, const std::string& path);
// Writes whole blocks only, so that every write to the file but its last
// starts at a multiple of the block size.
bool write_blocks(out_stream& out, const std::uint8_t* src, std::size_t count);
// Room for count bytes at the end of the buffer, which the caller fills and
// then counts with out.len += count; null when the block has less room left.
inline std::uint8_t* out_room(out_stream& out, std::size_t count)
{
    if (count >= out.buf.size() - out.len || out.error != 0)
        return nullptr;
    return out.buf.data() + out.len;
}
inline bool write_bytes(out_stream& out, const std::uint8_t* src, std::size_t count)
{
    // A cut-off tag leaves nothing to write, and no source buffer either.
    if (count == 0)
        return out.error == 0;
    // Most writes fit the block: the splitter's hot path.
    if (std::uint8_t* room = out_room(out, count)) {
        std::memcpy(room, src, count);
        out.len += count;
        return true;
    }
    return write_blocks(out, src, count);
}
// The offset the next write lands at.
std::uint64_t out_offset(const out_stream& out);
// Overwrites count bytes already written at offset; the next write still
// lands at the end.
bool patch_out(out_stream& out, std::uint64_t offset, const std::uint8_t* src, std::size_t count);
// Flushes, closes and moves the file to its own name; false (with out.error)
// if anything was lost, and then the temporary file is removed.
bool close_out(out_stream& out);
// Closes without flushing and deletes the temporary file: for a slide left
// unfinished.
void discard_out(out_stream& out);
