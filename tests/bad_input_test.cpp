// Recordings that are not what they claim: the run never crashes, never
// writes a byte that is not in the recording, and says what it found.
#include "flv_builder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct bad_recording {
    const char* name;
    bytes recording;
    int status;
    std::string err_part;
    std::size_t files;      // slide files written
    const char* slide;      // one of them, or nullptr
    std::size_t slide_size; // its size; 0 where it depends on what the bytes happen to say
};

bytes with_data_offset(bytes recording, std::uint32_t offset)
{
    const bytes header = flv_header(offset);
    std::copy(header.begin(), header.end(), recording.begin());
    return recording;
}

std::vector<bad_recording> bad_recordings()
{
    const std::vector<test_tag> tags = {{9, 0, 0, tag_data(30, 1)}, {9, 40, 0, tag_data(30, 2)}};
    bytes huge_size = make_recording({{9, 0, 0, tag_data(20, 3)}});
    huge_size[13 + 1] = 0xFF, huge_size[13 + 2] = 0xFF, huge_size[13 + 3] = 0xFF; // DataSize 16777215
    const std::string text = "<html><body>this is no recording</body></html>\n";
    return {
        {"not an FLV at all", bytes(text.begin(), text.end()), 0, "no FLV signature", 0, nullptr, 0},
        {"shorter than the FLV header", {'F', 'L', 'V'}, 0, "inside the FLV header (3 of 9 bytes)", 0, nullptr, 0},
        {"empty file", {}, 0, "inside the FLV header (0 of 9 bytes)", 0, nullptr, 0},
        // The tag stream is read from inside the header, as DataOffset says.
        {"DataOffset below 9", with_data_offset(make_recording(tags), 0), 0, "", 2, "talk_0.flv", 0},
        {"DataOffset past the end", with_data_offset(make_recording(tags), 0x7FFFFFFF), 0, "", 0, nullptr, 0},
        {"DataSize far past the end", huge_size, 0, "inside the tag at byte offset 13", 1, "talk_0.flv",
         13 + 11 + 20 + 4}, // all the bytes behind the header, no more
    };
}

TEST(BadInput, RecordingsThatAreNotWhatTheyClaim)
{
    for (const bad_recording& c : bad_recordings()) {
        const fs::path dir = make_scratch_dir("bad_input");
        const fs::path rec = dir / "talk.flv", cue = dir / "talk.cue";
        write_file(rec, c.recording);
        write_text(cue, "1\n");
        const run_result r = run_slidecut({rec.string(), cue.string(), "-S"});
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_NE(r.out.find("Program complete."), std::string::npos) << c.name;
        EXPECT_NE(r.err.find(c.err_part), std::string::npos) << c.name << ": " << r.err;

        // Whatever was written is framing plus bytes of the recording.
        std::size_t written = 0, files = 0;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().rfind("talk_", 0) == 0)
                written += fs::file_size(entry.path()) - 13, ++files;
        EXPECT_LE(written, c.recording.size() + 9) << c.name;
        EXPECT_EQ(files, c.files) << c.name;
        if (c.slide != nullptr && c.slide_size != 0) {
            EXPECT_EQ(fs::file_size(dir / c.slide), c.slide_size) << c.name;
        }
        fs::remove_all(dir);
    }
}

TEST(BadInput, WrappedTimestampsStayInTheirSlideAndRebase)
{
    const fs::path dir = make_scratch_dir("wrap");
    write_file(dir / "talk.flv", make_recording({{9, 0xFFFFF0, 0, tag_data(10, 4)}, {9, 0x10, 1, tag_data(10, 5)}}));
    write_text(dir / "talk.cue", "1\n");
    // 0xFFFFF0 passes the cue point; 0x10 does not, so it stays in slide 1.
    ASSERT_EQ(run_slidecut({(dir / "talk.flv").string(), (dir / "talk.cue").string()}).status, 0);
    const parsed_flv slide = parse_flv(read_file(dir / "talk_1.flv"));
    ASSERT_EQ(slide.tags.size(), 2u);
    EXPECT_EQ(slide.tags[1].ts, 0x20u); // (0x10 - 0xFFFFF0) mod 2^24
    EXPECT_EQ(slide.tags[1].ext, 1);
    fs::remove_all(dir);
}

TEST(BadInput, FolderGivenAsRecording)
{
    const fs::path dir = make_scratch_dir("folder_recording");
    fs::create_directory(dir / "talk.flv");
    write_text(dir / "talk.cue", "1\n");
    const run_result r = run_slidecut({(dir / "talk.flv").string(), (dir / "talk.cue").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Is a directory"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("Program complete."), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "talk_0.flv"));
    fs::remove_all(dir);
}

}  // namespace
