// The floor for writing slides over the previous run's: the recording's bytes
// into as many files of the given sizes, each written in whole 1 MiB blocks
// at aligned offsets (only a file's last block is short), truncating what is
// there; with --in-place, moving each file to a temporary name, writing over
// what is there and cutting it to its size, then moving it back, as slidecut
// does; with --replace, writing each file anew under a temporary name and
// moving it over the old one. When the files hold more than the recording,
// reading starts over.
// Usage: block_copy [--in-place|--replace] RECORDING OUT_PREFIX SIZE...
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
    const bool replace = argc > 1 && std::strcmp(argv[1], "--replace") == 0;
    if (in_place || replace)
        --argc, ++argv;
    if (argc < 4) {
        std::fprintf(stderr, "usage: block_copy [--in-place|--replace] RECORDING OUT_PREFIX SIZE...\n");
        return 2;
    }
    const int in = ::open(argv[1], O_RDONLY);
    if (in < 0)
        return std::perror(argv[1]), 1;
    std::vector<char> block(1 << 20);
    for (int i = 3; i < argc; ++i) {
        const std::string path = std::string(argv[2]) + std::to_string(i - 3);
        const std::string part = path + ".part";
        if (in_place)
            std::rename(path.c_str(), part.c_str());
        const std::string& written = in_place || replace ? part : path;
        const int out = ::open(written.c_str(), O_WRONLY | O_CREAT | (in_place ? 0 : O_TRUNC), 0644);
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
        if ((in_place || replace) && std::rename(part.c_str(), path.c_str()) != 0)
            return std::perror(path.c_str()), 1;
    }
    return 0;
}
