// The one platform seam: absolute seeks and sizes beyond 2 GiB.
#pragma once

#include <cstdint>
#include <cstdio>

bool seek_file(std::FILE* file, std::uint64_t offset);
// Leaves the file positioned at its end.
bool size_of_file(std::FILE* file, std::uint64_t& size);
