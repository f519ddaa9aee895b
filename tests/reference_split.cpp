// The cutting rule at its plainest, byte by byte through stdio with a seek per
// tag and no codec configuration carried: the yardstick that slidecut's output
// must equal for recordings without sequence headers. Reads cue times in
// milliseconds, one a line. Well-formed recordings only.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

static std::uint32_t be(const unsigned char* b, int n)
{
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[i];
    return v;
}

static void copy(std::FILE* in, std::FILE* out, std::uint32_t n)
{
    while (n-- > 0)
        std::fputc(std::fgetc(in), out);
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: reference_split RECORDING CUE_MS_FILE OUT_BASE [-s]\n");
        return 2;
    }
    const bool separate = argc > 4;
    std::vector<std::uint32_t> cues;
    std::FILE* cue = std::fopen(argv[2], "r");
    unsigned long ms = 0;
    while (cue != nullptr && std::fscanf(cue, "%lu", &ms) == 1)
        cues.push_back(static_cast<std::uint32_t>(ms));
    cues.push_back(0xFFFFFFFF);

    std::FILE* in = std::fopen(argv[1], "rb");
    unsigned char flv[9], tag[11], pts[4];
    if (in == nullptr || std::fread(flv, 1, 9, in) != 9)
        return 1;
    std::fseek(in, static_cast<long>(be(flv + 5, 4)), SEEK_SET);
    std::FILE* out[2] = {nullptr, nullptr}; // .mp3, .flv
    std::size_t slide = 0;
    std::uint32_t base = 0;
    while (std::fread(pts, 1, 4, in) == 4 && std::fread(tag, 1, 11, in) == 11) {
        const std::uint32_t t = be(tag + 4, 3), size = be(tag + 1, 3);
        if (t > cues[slide]) {
            for (std::FILE*& f : out)
                if (f != nullptr)
                    std::fclose(f), f = nullptr;
            while (t > cues[slide]) // a tag past several cues begins the last slide
                ++slide;
        }
        const std::string name = std::string(argv[3]) + "_" + std::to_string(slide);
        if (separate && tag[0] == 8) {
            if (out[0] == nullptr)
                out[0] = std::fopen((name + ".mp3").c_str(), "wb");
            std::fseek(in, 1, SEEK_CUR);
            copy(in, out[0], size - 1);
        } else if (separate && tag[0] != 9) {
            std::fseek(in, size, SEEK_CUR);
        } else {
            if (out[1] == nullptr) {
                out[1] = std::fopen((name + ".flv").c_str(), "wb");
                base = t;
                std::fwrite(flv, 1, 9, out[1]);
                std::fwrite("\0\0\0\0", 1, 4, out[1]);
            }
            const std::uint32_t ts = t - base;
            tag[4] = static_cast<unsigned char>(ts >> 16);
            tag[5] = static_cast<unsigned char>(ts >> 8);
            tag[6] = static_cast<unsigned char>(ts);
            std::fwrite(tag, 1, 11, out[1]);
            copy(in, out[1], size + 4);
            std::fseek(in, -4, SEEK_CUR);
        }
    }
    for (std::FILE* f : out)
        if (f != nullptr)
            std::fclose(f);
    std::fclose(in);
    return 0;
}
