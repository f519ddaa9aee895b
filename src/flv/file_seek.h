// The one platform seam: absolute seeks beyond 2 GiB.
#pragma once

#include <cstdint>
#include <cstdio>

bool seek_file(std::FILE* file, std::uint64_t offset);
