// Writes a recording of many small tags, the worst case for per-tag cost:
// alternating audio and video tags of 64 data bytes, 2 ms apart.
// Usage: make_small_tags OUTPUT.flv TAG_COUNT
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_small_tags OUTPUT.flv TAG_COUNT\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const unsigned long count = std::strtoul(argv[2], nullptr, 10);
    const unsigned char header[13] = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
    std::fwrite(header, 1, sizeof header, out);

    constexpr std::uint32_t data_size = 64;
    std::vector<unsigned char> tag(11 + data_size + 4);
    for (unsigned long i = 0; i < count; ++i) {
        const bool audio = i % 2 == 0;
        const std::uint32_t ts = static_cast<std::uint32_t>(i * 2);
        tag[0] = audio ? 8 : 9;
        tag[1] = 0, tag[2] = 0, tag[3] = data_size;
        tag[4] = static_cast<unsigned char>(ts >> 16);
        tag[5] = static_cast<unsigned char>(ts >> 8);
        tag[6] = static_cast<unsigned char>(ts);
        tag[7] = static_cast<unsigned char>(ts >> 24);
        tag[11] = audio ? 0x2F : 0x22; // MP3 audio, H.263 inter frame
        for (std::uint32_t b = 1; b < data_size; ++b)
            tag[11 + b] = static_cast<unsigned char>(i + b);
        const std::uint32_t prev = 11 + data_size;
        tag[75] = 0, tag[76] = 0, tag[77] = 0, tag[78] = static_cast<unsigned char>(prev);
        std::fwrite(tag.data(), 1, tag.size(), out);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
