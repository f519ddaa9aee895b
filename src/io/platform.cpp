#include "io/platform.h"

#include <cerrno>
#include <cstdio>
#include <limits>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sched.h>
#endif
#include <thread>
#if defined(__GLIBC__)
#include <malloc.h>
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

bool same_file(const file_id& a, const file_id& b)
{
    return a.known && b.known && a.device == b.device && a.inode == b.inode;
}

#if defined(_WIN32)

bool replace_file(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

static file_id id_of_handle(HANDLE handle)
{
    file_id id;
    BY_HANDLE_FILE_INFORMATION info;
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
        id.known = true;
        id.device = info.dwVolumeSerialNumber;
        id.inode = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
    }
    return id;
}

file_kind kind_of_file(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return file_kind::none;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return file_kind::directory;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return file_kind::other;
    HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    const bool lone = handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info) &&
                      info.nNumberOfLinks == 1;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return lone ? file_kind::lone_regular : file_kind::other;
}

file_id id_of_path(const std::string& path)
{
    HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const file_id id = id_of_handle(handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return id;
}

file_id id_of_file(std::FILE* file)
{
    return id_of_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

#else

bool replace_file(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

file_kind kind_of_file(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return file_kind::none;
    if (S_ISDIR(st.st_mode))
        return file_kind::directory;
    return S_ISREG(st.st_mode) && st.st_nlink == 1 ? file_kind::lone_regular : file_kind::other;
}

static file_id id_of_stat(const struct stat& st)
{
    file_id id;
    id.known = true;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    return id;
}

file_id id_of_path(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? id_of_stat(st) : file_id{};
}

file_id id_of_file(std::FILE* file)
{
    struct stat st;
    return fstat(fileno(file), &st) == 0 ? id_of_stat(st) : file_id{};
}

#endif

unsigned usable_cpu_count()
{
#if defined(_WIN32)
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0 && process != 0) {
        unsigned count = 0;
        for (; process != 0; process &= process - 1)
            ++count;
        return count;
    }
#elif defined(__linux__)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? count : 1;
}

#if defined(_WIN32)
void* load_library(const char* name, std::string& why)
{
    HMODULE library = LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == nullptr)
        why = "Windows error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* library_function(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
#else
void* load_library(const char* name, std::string& why)
{
    void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        why = reason != nullptr ? reason : "no reason given";
    }
    return library;
}

void* library_function(void* library, const char* name)
{
    return dlsym(library, name);
}
#endif

void keep_freed_memory()
{
#if defined(__GLIBC__)
    // Blocks up to 256 MiB come from the heap, and the heap keeps up to
    // 1 GiB free at its top; the starts' memory budget bounds what they use.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
}

bool is_terminal(std::FILE* file)
{
#if defined(_WIN32)
    return _isatty(_fileno(file)) != 0;
#else
    return isatty(fileno(file)) != 0;
#endif
}
