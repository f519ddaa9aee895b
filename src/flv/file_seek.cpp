#include "flv/file_seek.h"

#include <cstdio>
#include <limits>

#if !defined(_WIN32)
#include <sys/types.h>
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
