// Arbitrary bytes as a cue file: the reader must end every list with CUE_END
// and never keep a zero.
#include "cue/cue_list.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* cue = std::tmpfile();
    if (cue == nullptr)
        return 0;
    std::fwrite(data, 1, size, cue);
    std::rewind(cue);
    const std::vector<std::uint32_t> cues = read_cue_stream(cue);
    std::fclose(cue);

    // A token has at least one character and one separator, but the last.
    if (cues.empty() || cues.back() != CUE_END || cues.size() > size / 2 + 2)
        std::abort();
    for (std::size_t i = 0; i + 1 < cues.size(); ++i)
        if (cues[i] == 0)
            std::abort();
    return 0;
}
