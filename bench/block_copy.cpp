// The floor for writing slides over the previous run's: the recording's bytes
// into as many files of the given sizes, each written in whole 1 MiB blocks
// at aligned offsets (only a file's last block is short), truncating what is
// there; with --in-place, writing over what is there and cutting each file to
// its size afterwards, as slidecut does. When the files hold more than the
// recording, reading starts over.
// Usage: block_copy [--in-place] RECORDING OUT_PREFIX SIZE...
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    const bool in_place = argc > 1 && std::strcmp(argv[1], "--in-place") == 0;
    if (in_place)
        --argc, ++argv;
    if (argc < 4) {
        std::fprintf(stderr, "usage: block_copy [--in-place] RECORDING OUT_PREFIX SIZE...\n");
        return 2;
    }
    const int in = ::open(argv[1], O_RDONLY);
    if (in < 0)
        return std::perror(argv[1]), 1;
    std::vector<char> block(1 << 20);
    for (int i = 3; i < argc; ++i) {
        const std::string path = std::string(argv[2]) + std::to_string(i - 3);
        const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | (in_place ? 0 : O_TRUNC), 0644);
        if (out < 0)
            return std::perror(path.c_str()), 1;
        const long long size = std::atoll(argv[i]);
        for (long long left = size; left > 0;) {
            std::size_t filled = 0;
            const std::size_t want = left < static_cast<long long>(block.size()) ? static_cast<std::size_t>(left) : block.size();
            while (filled < want) {
                const ssize_t got = ::read(in, block.data() + filled, want - filled);
                if (got < 0)
                    return std::perror(argv[1]), 1;
                if (got == 0 && ::lseek(in, 0, SEEK_SET) != 0)
                    return std::perror(argv[1]), 1;
                filled += static_cast<std::size_t>(got);
            }
            if (::write(out, block.data(), filled) != static_cast<ssize_t>(filled))
                return std::perror(path.c_str()), 1;
            left -= static_cast<long long>(filled);
        }
        if (in_place && ::ftruncate(out, size) != 0)
            return std::perror(path.c_str()), 1;
        ::close(out);
    }
    return 0;
}
