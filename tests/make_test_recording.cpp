// Writes a recording with every kind of tag the cutter treats apart: script
// data, H.264 and AAC sequence headers, audio and video frames, a
// TimestampExtended above 0, and a last tag cut off by the end of the file.
// With "six_hours", six hours of sparse MP3 audio instead.
// Usage: make_test_recording OUTPUT.flv [six_hours]
#include "flv_builder.h"

#include <string>

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[2]) == "six_hours") {
        write_file(argv[1], make_recording(six_hour_tags()));
        return 0;
    }
    if (argc != 2)
        return 2;
    std::vector<test_tag> tags = {
        {18, 0, 0, tag_data(60, 1, 2)},
        {9, 0, 0, {0x17, 0x00, 0, 0, 0, 1, 0x64, 0, 0x1F, 0xFF}},
        {8, 0, 0, {0xAF, 0x00, 0x12, 0x10}},
    };
    for (std::uint32_t t = 0; t < 10000; t += 20) {
        if (t % 40 == 0)
            tags.push_back({9, t, static_cast<std::uint8_t>(t >= 9000 ? 1 : 0), tag_data(200 + t % 97, t, 0x27)});
        tags.push_back({8, t + 3, 0, tag_data(40 + t % 13, t + 1, 0xAF)});
    }
    bytes recording = make_recording(tags);
    recording.resize(recording.size() - 30);
    write_file(argv[1], recording);
    return 0;
}
