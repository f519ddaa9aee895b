// Writes a recording with every kind of tag the cutter treats apart: script
// data, H.264 and AAC sequence headers, audio and video frames, a
// TimestampExtended above 0, and a last tag cut off by the end of the file.
// With "six_hours", six hours of sparse MP3 audio instead; with "minute", a
// minute of larger frames (about 5 MB) for runs that are stopped midway.
// Usage: make_test_recording OUTPUT.flv [six_hours|minute]
#include "flv_builder.h"

#include <string>

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[2]) == "six_hours") {
        write_file(argv[1], make_recording(six_hour_tags()));
        return 0;
    }
    const bool minute = argc == 3 && std::string(argv[2]) == "minute";
    if (argc != 2 && !minute)
        return 2;
    const std::uint32_t until = minute ? 60000 : 10000;
    const std::uint32_t frame_size = minute ? 3000 : 200;
    std::vector<test_tag> tags = {
        {18, 0, 0, tag_data(60, 1, 2)},
        {9, 0, 0, {0x17, 0x00, 0, 0, 0, 1, 0x64, 0, 0x1F, 0xFF}},
        {8, 0, 0, {0xAF, 0x00, 0x12, 0x10}},
    };
    for (std::uint32_t t = 0; t < until; t += 20) {
        if (t % 40 == 0)
            tags.push_back({9, t, static_cast<std::uint8_t>(t >= 9000 && !minute ? 1 : 0), tag_data(frame_size + t % 97, t, minute && t % 2000 == 0 ? 0x17 : 0x27)});
        tags.push_back({8, t + 3, 0, tag_data(40 + t % 13, t + 1, 0xAF)});
    }
    bytes recording = make_recording(tags);
    recording.resize(recording.size() - 30);
    write_file(argv[1], recording);
    return 0;
}
