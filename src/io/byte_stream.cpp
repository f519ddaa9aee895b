#include "io/byte_stream.h"

#include "io/platform.h"

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstring>

// Every read and write goes through the stream's own block buffer only.
static std::FILE* open_unbuffered(const std::string& path, const char* mode, int& error)
{
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr) {
        error = errno;
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

bool open_in(in_stream& in, const std::string& path, std::size_t buffer_size)
{
    in.path = path;
    in.file = open_unbuffered(path, "rb", in.error);
    if (in.file == nullptr)
        return false;
    in.buf.resize(buffer_size);
    in.pos = in.len = 0;
    in.buf_offset = 0;
    in.file_moved = false;
    in.error = 0;
    return true;
}

void close_in(in_stream& in)
{
    if (in.file != nullptr)
        std::fclose(in.file);
    in.file = nullptr;
}

std::uint64_t in_offset(const in_stream& in)
{
    return in.buf_offset + in.pos;
}

bool seek_in(in_stream& in, std::uint64_t offset)
{
    if (!seek_file(in.file, offset)) {
        in.error = errno != 0 ? errno : EINVAL;
        return false;
    }
    in.buf_offset = offset;
    in.pos = in.len = 0;
    in.file_moved = false;
    return true;
}

bool in_file_size(in_stream& in, std::uint64_t& size)
{
    in.file_moved = true;
    if (!size_of_file(in.file, size)) {
        in.error = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

// Reads up to count more bytes into the buffer behind those it holds.
static bool read_more(in_stream& in, std::size_t count)
{
    if (in.error != 0 || in.file == nullptr)
        return false;
    // After a read elsewhere, the file reads on from behind the buffer.
    if (in.file_moved) {
        if (!seek_file(in.file, in.buf_offset + in.len)) {
            in.error = errno != 0 ? errno : EINVAL;
            return false;
        }
        in.file_moved = false;
    }
    const std::size_t got = std::fread(in.buf.data() + in.len, 1, count, in.file);
    if (got == 0 && std::ferror(in.file))
        in.error = errno != 0 ? errno : EIO;
    in.len += got;
    return got > 0;
}

// Moves the bytes from keep on to the front of the buffer.
static void keep_from(in_stream& in, std::size_t keep)
{
    const std::size_t kept = in.len - keep;
    if (kept > 0 && keep > 0)
        std::memmove(in.buf.data(), in.buf.data() + keep, kept);
    in.buf_offset += keep;
    in.pos -= keep;
    in.len = kept;
}

// Keeps the unread bytes, moves them to the front and reads a block more
// behind them.
static bool refill(in_stream& in)
{
    if (in.error != 0 || in.file == nullptr)
        return false;
    keep_from(in, in.pos);
    return read_more(in, std::min(in.buf.size() - in.len, IN_BUFFER_SIZE));
}

bool fill_window(in_stream& in, std::uint64_t keep_from_offset)
{
    const std::size_t keep = keep_from_offset >= in.buf_offset && keep_from_offset <= in_offset(in)
                                 ? static_cast<std::size_t>(keep_from_offset - in.buf_offset)
                                 : in.pos;
    // Moving a buffer that still holds much of what follows would cost
    // more than it spares: it is only topped up.
    if (in.len - keep <= 2 * IN_BUFFER_SIZE)
        keep_from(in, keep);
    while (in.len < in.buf.size() && read_more(in, in.buf.size() - in.len)) {
    }
    return in.error == 0;
}

std::size_t read_bytes(in_stream& in, std::uint8_t* dst, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        if (in.pos == in.len && !refill(in))
            break;
        const std::size_t chunk = std::min(count - done, in.len - in.pos);
        std::memcpy(dst + done, in.buf.data() + in.pos, chunk);
        in.pos += chunk;
        done += chunk;
    }
    return done;
}

// Moves count bytes on from the recording, block by block, handing each
// block to out unless out is null.
static std::uint64_t pass_bytes(in_stream& in, out_stream* out, std::uint64_t count)
{
    std::uint64_t done = 0;
    while (done < count) {
        if (in.pos == in.len && !refill(in))
            break;
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - done, in.len - in.pos));
        if (out != nullptr && !write_bytes(*out, in.buf.data() + in.pos, chunk))
            break;
        in.pos += chunk;
        done += chunk;
    }
    return done;
}

std::uint64_t skip_bytes(in_stream& in, std::uint64_t count)
{
    return pass_bytes(in, nullptr, count);
}

bool move_to(in_stream& in, std::uint64_t offset)
{
    if (offset < in.buf_offset || offset > in.buf_offset + in.len)
        return seek_in(in, offset);
    in.pos = static_cast<std::size_t>(offset - in.buf_offset);
    return true;
}

std::size_t read_at_slow(in_stream& in, std::uint64_t offset, std::uint8_t* dst, std::size_t count)
{
    // Close behind the buffer: read on, as a sequential read does.
    constexpr std::size_t JUMP_READ = 1024;
    const std::uint64_t end = in.buf_offset + in.len;
    if (offset >= in.buf_offset && offset <= end + JUMP_READ) {
        in.pos = static_cast<std::size_t>(std::min(offset, end) - in.buf_offset);
        if (offset > end && skip_bytes(in, offset - end) < offset - end)
            return 0;
        return read_bytes(in, dst, count);
    }
    // Further on: a small read there, since a look-ahead over large tags
    // needs only their headers.
    const std::size_t want = std::min(in.buf.size(), std::max(count, JUMP_READ));
    in.len = read_file_at(in.file, offset, in.buf.data(), want, in.error);
    in.buf_offset = offset;
    in.pos = 0;
    in.file_moved = true;
    return in.error != 0 ? 0 : read_bytes(in, dst, count);
}

std::uint64_t copy_bytes(in_stream& in, out_stream& out, std::uint64_t count)
{
    return pass_bytes(in, &out, count);
}

std::uint64_t copy_bytes_peeking(in_stream& in, out_stream& out, std::uint64_t count, std::size_t trailing)
{
    // Most tags lie whole in the buffer: one write for data and trailer.
    if (in.len - in.pos >= count + trailing) {
        write_bytes(out, in.buf.data() + in.pos, static_cast<std::size_t>(count) + trailing);
        in.pos += static_cast<std::size_t>(count);
        return count;
    }
    const std::uint64_t copied = copy_bytes(in, out, count);
    if (copied == count) {
        const std::uint8_t* behind = nullptr;
        const std::size_t got = peek_bytes(in, &behind, trailing);
        write_bytes(out, behind, got);
    }
    return copied;
}

move_result result_of(const in_stream& in, const out_stream* out, std::uint64_t moved, std::uint64_t wanted)
{
    if (in.error != 0 || (out != nullptr && out->error != 0))
        return move_result::failed;
    return moved == wanted ? move_result::done : move_result::cut_off;
}

std::size_t peek_bytes(in_stream& in, const std::uint8_t** bytes, std::size_t count)
{
    if (in.len - in.pos < count)
        refill(in);
    *bytes = in.buf.data() + in.pos;
    return std::min(count, in.len - in.pos);
}

bool open_out(out_stream& out, const std::string& path)
{
    out.path = path;
    out.part_path = path + PART_SUFFIX;
    out.len = 0;
    out.flushed = 0;
    out.error = 0;
    const file_kind earlier = kind_of_file(path);
    if (earlier == file_kind::directory) {
        out.error = EISDIR;
        return false;
    }
    // A slide left by an earlier run is moved to the temporary name and
    // rewritten in place, cut to its new length on closing: freeing its
    // blocks and allocating them again costs several times the copy. A
    // name shared with another file is never written through.
    if (earlier == file_kind::lone_regular)
        replace_file(path, out.part_path);
    out.in_place = kind_of_file(out.part_path) == file_kind::lone_regular;
    if (out.in_place)
        out.file = open_unbuffered(out.part_path, "r+b", out.error);
    if (out.file == nullptr) {
        out.in_place = false;
        out.error = 0;
        std::remove(out.part_path.c_str());
        out.file = open_unbuffered(out.part_path, "wb", out.error);
    }
    if (out.file == nullptr)
        return false;
    out.buf.resize(OUT_BUFFER_SIZE);
    return true;
}

static bool write_through(out_stream& out, const std::uint8_t* src, std::size_t count)
{
    if (std::fwrite(src, 1, count, out.file) != count) {
        out.error = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

static bool flush_out(out_stream& out)
{
    if (out.len == 0)
        return true;
    const bool ok = write_through(out, out.buf.data(), out.len);
    out.flushed += out.len;
    out.len = 0;
    return ok;
}

bool write_blocks(out_stream& out, const std::uint8_t* src, std::size_t count)
{
    if (out.error != 0)
        return false;
    // Disks write whole blocks at aligned offsets fastest.
    const std::size_t block = out.buf.size();
    while (count > 0) {
        if (out.len == 0 && count >= block) {
            const std::size_t whole = count - count % block;
            if (!write_through(out, src, whole))
                return false;
            out.flushed += whole;
            src += whole;
            count -= whole;
            continue;
        }
        const std::size_t taken = std::min(count, block - out.len);
        std::memcpy(out.buf.data() + out.len, src, taken);
        out.len += taken;
        src += taken;
        count -= taken;
        if (out.len == block && !flush_out(out))
            return false;
    }
    return true;
}

std::uint64_t out_offset(const out_stream& out)
{
    return out.flushed + out.len;
}

bool patch_out(out_stream& out, std::uint64_t offset, const std::uint8_t* src, std::size_t count)
{
    if (out.error != 0)
        return false;
    // Only bytes already written can be patched.
    if (offset + count > out_offset(out))
        return false;
    if (offset >= out.flushed) {
        std::memcpy(out.buf.data() + (offset - out.flushed), src, count);
        return true;
    }
    if (!flush_out(out))
        return false;
    if (!seek_file(out.file, offset) || !write_through(out, src, count) || !seek_file(out.file, out.flushed)) {
        if (out.error == 0)
            out.error = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool close_out(out_stream& out)
{
    if (out.file == nullptr)
        return true;
    bool ok = out.error == 0 && flush_out(out);
    if (ok && out.in_place && !truncate_file(out.file, out.flushed)) {
        out.error = errno != 0 ? errno : EIO;
        ok = false;
    }
    if (std::fclose(out.file) != 0 && ok) {
        out.error = errno != 0 ? errno : EIO;
        ok = false;
    }
    out.file = nullptr;
    if (ok && !replace_file(out.part_path, out.path)) {
        out.error = errno != 0 ? errno : EIO;
        ok = false;
    }
    if (!ok)
        std::remove(out.part_path.c_str());
    return ok;
}

void discard_out(out_stream& out)
{
    if (out.file == nullptr)
        return;
    std::fclose(out.file);
    out.file = nullptr;
    out.len = 0;
    std::remove(out.part_path.c_str());
}

bool is_open(const out_stream& out)
{
    return out.file != nullptr;
}
