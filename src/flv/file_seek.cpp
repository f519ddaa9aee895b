#include "flv/file_seek.h"

#include <cerrno>
#include <cstdio>
#include <limits>

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

bool seek_file(std::FILE* file, std::uint64_t offset)
{
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return false;
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool size_of_file(std::FILE* file, std::uint64_t& size)
{
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) != 0)
        return false;
    const __int64 end = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0)
        return false;
    const off_t end = ftello(file);
#endif
    if (end < 0)
        return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

std::size_t read_file_at(std::FILE* file, std::uint64_t offset, std::uint8_t* dst, std::size_t count, int& error)
{
#if defined(_WIN32)
    if (!seek_file(file, offset)) {
        error = errno != 0 ? errno : EINVAL;
        return 0;
    }
    const std::size_t got = std::fread(dst, 1, count, file);
    if (got < count && std::ferror(file))
        error = errno != 0 ? errno : EIO;
    return got;
#else
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        error = EINVAL;
        return 0;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(fileno(file), dst + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
#endif
}

bool truncate_file(std::FILE* file, std::uint64_t size)
{
    if (std::fflush(file) != 0)
        return false;
#if defined(_WIN32)
    if (size > static_cast<std::uint64_t>(std::numeric_limits<__int64>::max())) {
        errno = EINVAL;
        return false;
    }
    const errno_t error = _chsize_s(_fileno(file), static_cast<__int64>(size));
    if (error != 0)
        errno = error;
    return error == 0;
#else
    struct stat st;
    if (fstat(fileno(file), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) <= size)
        return true;
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}
