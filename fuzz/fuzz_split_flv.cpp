// Arbitrary bytes as a recording, cut in a scratch folder. The first byte
// picks the mode (bit 0) and the number of cue points (bits 1-2); each cue
// point takes the next 3 bytes as milliseconds; the rest is the recording.
// After every input the slide files must hold no byte that the recording
// and the slide framing do not account for.
#include "split/splitter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using bytes = std::vector<std::uint8_t>;

const fs::path& scratch()
{
    static const fs::path dir = [] {
        const fs::path d = fs::temp_directory_path() / ("slidecut-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

bytes read_all(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint32_t be(const bytes& b, std::size_t pos, int n)
{
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | b[pos + static_cast<std::size_t>(i)];
    return v;
}

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// The onMetaData tag every .flv slide starts with, and the filesize it
// states: the bytes of the tag (0 where there is none) and the number.
std::size_t metadata_bytes(const bytes& slide, double& filesize)
{
    if (slide.size() < 13 + 11 || slide[13] != 18)
        return 0;
    const std::size_t size = 11 + be(slide, 13 + 1, 3) + 4;
    static const char key[] = "\x00\x08" "filesize" "\x00";
    const auto end = slide.begin() + static_cast<long>(std::min(slide.size(), 13 + size));
    const auto at = std::search(slide.begin() + 13, end, key, key + sizeof key - 1);
    if (end - at >= static_cast<long>(sizeof key - 1 + 8)) {
        std::uint64_t bits = 0;
        for (auto p = at + static_cast<long>(sizeof key - 1); p != at + static_cast<long>(sizeof key - 1 + 8); ++p)
            bits = bits << 8 | *p;
        std::memcpy(&filesize, &bits, sizeof filesize);
    }
    return size;
}

// Bytes a .flv slide may repeat, from pos on: the sequence headers carried
// at its head, at timestamp 0: the leading tags at 0 that are video tags,
// AAC sequence headers or extended audio SequenceStart and
// MultichannelConfig packets (the slide's own first tag may be among them).
// Without the codec library nothing else is new.
std::size_t repeated_bytes(const bytes& slide, std::size_t pos)
{
    std::size_t carried = 0;
    while (pos + 13 <= slide.size()) {
        const std::uint8_t type = slide[pos];
        const std::size_t size = be(slide, pos + 1, 3);
        const std::uint8_t b0 = slide[pos + 11], b1 = slide[pos + 12];
        const bool video = type == 9;
        const bool extended_audio_config = (b0 >> 4) == 9 && ((b0 & 15) == 0 || (b0 & 15) == 4);
        const bool audio = type == 8 && (((b0 >> 4) == 10 && b1 == 0) || extended_audio_config);
        if (!(video || audio) || be(slide, pos + 4, 3) != 0 || pos + 11 + size + 4 > slide.size())
            break;
        carried += 11 + size + 4;
        pos += 11 + size + 4;
    }
    return carried;
}

// Bytes an audio slide file adds to the payload it holds: its file header
// (FLAC's "fLaC" and STREAMINFO), or Ogg Opus's pages and its two header
// packets (the OpusHead copied from the recording, and OpusTags).
std::size_t audio_framing(const fs::path& path, const bytes& file)
{
    if (path.extension() == ".flac")
        return std::min<std::size_t>(file.size(), 4 + 4 + 34);
    if (path.extension() != ".opus")
        return 0;
    std::size_t framing = 0, packets = 0;
    for (std::size_t pos = 0; pos + 27 <= file.size();) {
        const std::size_t segments = file[pos + 26];
        std::size_t body = 0;
        for (std::size_t i = 0; i < segments && pos + 27 + i < file.size(); ++i) {
            body += file[pos + 27 + i];
            // The first two packets are the headers.
            if (packets < 2)
                framing += file[pos + 27 + i];
            if (file[pos + 27 + i] < 255)
                ++packets;
        }
        framing += 27 + segments;
        pos += 27 + segments + body;
    }
    return framing;
}

// With the codec library, slides cut between keyframes start with frames
// encoded again and a sequence header of their own, and the recording's goes
// in again where copying resumes: bytes of video tags whose data the
// recording does not hold, or that are sequence headers, from pos on.
std::size_t new_video_bytes(const bytes& slide, std::size_t pos, const bytes& recording)
{
    std::size_t made = 0;
#ifdef SLIDECUT_FUZZ_REENCODE
    for (; pos + 13 <= slide.size(); pos += 11 + be(slide, pos + 1, 3) + 4) {
        const std::size_t size = be(slide, pos + 1, 3);
        if (slide[pos] != 9 || pos + 11 + size > slide.size())
            continue;
        const auto data = slide.begin() + static_cast<long>(pos + 11);
        const std::uint8_t b0 = data[0], b1 = size > 1 ? data[1] : 1;
        const bool header = (b0 & 0x80) != 0 ? (b0 & 15) == 0 : b1 == 0;
        if (header || std::search(recording.begin(), recording.end(), data, data + static_cast<long>(size)) ==
                          recording.end())
            made += 11 + size + 4;
    }
#else
    (void)slide, (void)pos, (void)recording;
#endif
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool separate = data[0] & 1;
    const std::size_t cue_count = (data[0] >> 1) & 3;
    std::size_t pos = 1;
    std::string cues;
    for (std::size_t i = 0; i < cue_count && pos + 3 <= size; ++i, pos += 3) {
        const std::uint32_t ms = (std::uint32_t{data[pos]} << 16) | (std::uint32_t{data[pos + 1]} << 8) | data[pos + 2];
        char line[32];
        std::snprintf(line, sizeof line, "%02u:%02u:%02u:%03u\n", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                      ms % 1000);
        cues += line;
    }
    const bytes recording(data + pos, data + size);

    const fs::path& dir = scratch();
    const fs::path rec = dir / "rec.flv", cue = dir / "rec.cue";
    std::ofstream(rec, std::ios::binary).write(reinterpret_cast<const char*>(recording.data()),
                                               static_cast<std::streamsize>(recording.size()));
    std::ofstream(cue, std::ios::binary) << cues;

    const split_result result = split_flv(rec.string().c_str(), cue.string().c_str(), separate, nullptr, nullptr);
    // A file without the FLV signature whose header points at no whole tag
    // is refused before anything is written; any other runs to its end.
    const bool signature = recording.size() >= 3 && std::memcmp(recording.data(), "FLV", 3) == 0;
    const bool refused = result.failure == split_failure::not_flv;
    check(!refused || !signature, "a recording with the FLV signature is refused");
    check(refused || result.failure == split_failure::none, "a readable recording in a writable folder fails the run");

    // The first 9 bytes may be read twice, as header and, with a DataOffset
    // below 9, as the start of the tag stream.
    std::size_t total = 0, allowed = recording.size() + 9;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("rec_", 0) != 0)
            continue;
        check(!refused, "a refused recording left a slide file");
        const bytes slide = read_all(entry.path());
        total += slide.size();
        allowed += audio_framing(entry.path(), slide);
        if (entry.path().extension() != ".flv")
            continue;
        check(slide.size() >= 13 && recording.size() >= 9, ".flv slide shorter than its header");
        check(std::equal(slide.begin(), slide.begin() + 5, recording.begin()) && be(slide, 5, 4) == 9,
              ".flv slide header is not the recording's with DataOffset 9");
        check(be(slide, 9, 4) == 0, ".flv slide does not start with PreviousTagSize 0");
        check(slide.size() < 13 + 11 || be(slide, 13 + 4, 3) == 0, "first tag of a .flv slide is not at timestamp 0");
        double filesize = -1;
        const std::size_t metadata = metadata_bytes(slide, filesize);
        check(metadata > 0, ".flv slide does not start with its onMetaData");
        check(filesize == static_cast<double>(slide.size()), "the onMetaData's filesize is not the slide's size");
        allowed += 13 + metadata + repeated_bytes(slide, 13 + metadata) + new_video_bytes(slide, 13 + metadata, recording);
    }
    check(total <= allowed, "slide files hold bytes the recording does not account for");

    for (const auto& entry : fs::directory_iterator(dir))
        fs::remove(entry.path());
    return 0;
}
