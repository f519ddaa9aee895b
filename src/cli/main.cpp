#include "flv/splitter.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::printf("invalid command line\n");
        std::fflush(stdout);
        std::fprintf(stderr, "usage: slidecut RECORDING.flv CUEFILE [-s]\n");
        return EXIT_BAD_COMMAND_LINE;
    }
    // The switch counts only as the third and last argument.
    std::uint32_t separate_audio = 0;
    if (argc == 4 && std::strstr(argv[3], "-s") != nullptr)
        separate_audio |= 1;
    return split_flv(argv[1], argv[2], separate_audio != 0);
}
