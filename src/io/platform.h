// The one platform seam: absolute seeks, sizes and reads beyond 2 GiB,
// cutting a rewritten file to length, replacing one file by another,
// telling whether two paths name the same file, loading a shared library,
// how many processors the process may run on, keeping freed memory, and
// whether a stream is a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

bool seek_file(std::FILE* file, std::uint64_t offset);
// Leaves the file positioned at its end.
bool size_of_file(std::FILE* file, std::uint64_t& size);
// Reads up to count bytes at offset, in one system call where the platform
// has one; the file's position afterwards is unspecified. Fewer at the end
// of the file; on an error, error is set.
std::size_t read_file_at(std::FILE* file, std::uint64_t offset, std::uint8_t* dst, std::size_t count, int& error);
// Cuts a regular file to size bytes (flushed first); other files are left
// alone. False with errno set on a failure.
bool truncate_file(std::FILE* file, std::uint64_t size);

// Moves the file at from to the name to, replacing what is there in one
// step. False with errno set on a failure.
bool replace_file(const std::string& from, const std::string& to);

// What stands under a name, links not followed: nothing, a regular file that
// no other name shares (rewriting it changes nothing but that name's
// content), a folder, or anything else.
enum class file_kind { none, lone_regular, directory, other };
file_kind kind_of_file(const std::string& path);

// What a file is, whatever it is called: two paths, links included, name the
// same file when their ids are equal. known is false where the file cannot
// be looked at (missing, say).
struct file_id {
    bool known = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};
file_id id_of_path(const std::string& path);
file_id id_of_file(std::FILE* file);
bool same_file(const file_id& a, const file_id& b);

// The processors this process may run on (its affinity, which taskset or a
// container may narrow), at least 1.
unsigned usable_cpu_count();

// A shared library by its file name, and a function of it by name; null
// (with the loader's reason in why) where it cannot be loaded. On Windows
// only the program's own folder and the system's are searched.
void* load_library(const char* name, std::string& why);
void* library_function(void* library, const char* name);

// Large blocks freed stay with the process for the next to take, instead of
// going back to the system and coming again as fresh pages the kernel must
// clear: each new start decodes and encodes into some 50 pictures' worth of
// new buffers. Where the C library has no such setting, nothing changes.
void keep_freed_memory();

// Whether the stream writes to a terminal (a Windows console too).
bool is_terminal(std::FILE* file);
