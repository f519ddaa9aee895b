// The one platform seam: absolute seeks, sizes and reads beyond 2 GiB, and
// cutting a rewritten file to length.
#pragma once

#include <cstdint>
#include <cstdio>

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
