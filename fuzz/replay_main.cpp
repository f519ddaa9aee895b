// Replays fuzz inputs (files, or every file of a folder) through a fuzz
// target, so that any compiler can run the corpus as a regression test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

static void replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

int main(int argc, char** argv)
{
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                replay(entry.path()), ++count;
        } else {
            replay(arg), ++count;
        }
    }
    std::fprintf(stderr, "replayed %zu inputs\n", count);
    return count > 0 ? 0 : 1;
}
